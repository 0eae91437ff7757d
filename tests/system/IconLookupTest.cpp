#include "icons/IconLookup.h"
#include "inventory/ProductCode.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::ExeDir;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCache[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const REGSAM k32 = KEY_WOW64_32KEY;
const REGSAM k64 = KEY_WOW64_64KEY;
const std::wstring kNul(1, L'\0');

// vx_three_icons.exe holds three icons, red, green and blue; each has a 16x16
// image of that colour and a 32x32 image of another, so a wrong index or a
// large icon shows.
const std::string kRed = "16x16 ff0000";
const std::string kGreen = "16x16 00ff00";
const std::string kBlue = "16x16 0000ff";
const std::string kNone = "none";

// Size and colour of the entry's icon when solid.
std::string Lookup(HKEY hRoot, const std::wstring& name)
{
    HICON hIcon = LoadEntryIcon(hRoot, CWideString(name.c_str()));
    ICONINFO info;
    const bool bInfo = hIcon != NULL && GetIconInfo(hIcon, &info);
    if (hIcon != NULL)
        DestroyIcon(hIcon);
    if (!bInfo)
        return kNone;
    BITMAP bitmap;
    const std::vector<DWORD> pixels = testsupport::BitmapPixels(info.hbmColor, bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    if (pixels.empty())
        return "unreadable";
    for (DWORD pixel : pixels) {
        if ((pixel & 0xFFFFFF) != (pixels[0] & 0xFFFFFF))
            return "mixed";
    }
    char text[32];
    wsprintfA(text, "%dx%d %06x", bitmap.bmWidth, bitmap.bmHeight, pixels[0] & 0xFFFFFF);
    return text;
}

std::wstring IconFile(const wchar_t* suffix = L"")
{
    return ExeDir() + L"\\vx_three_icons.exe" + suffix;
}

std::wstring Quoted(const wchar_t* suffix)
{
    return L"\"" + IconFile() + L"\"" + suffix;
}

// A SlowInfoCache record: a 28-byte header the lookup must not interpret,
// then the icon file's path and the given tail.
std::wstring Record(const std::wstring& tail)
{
    return std::wstring(14, wchar_t(0xABAB)) + IconFile() + tail;
}

// One value written for an entry: data less cbTrim bytes.
struct Put
{
    const wchar_t* pszValue;
    REGSAM view;
    std::wstring data;
    DWORD type;
    DWORD cbTrim;
};

Put Display(REGSAM view, const std::wstring& text, DWORD type = REG_SZ)
{
    return {L"DisplayIcon", view, text + kNul, type, 0};
}

Put Cached(REGSAM view, const std::wstring& record = Record(kNul), DWORD cbTrim = 0, DWORD type = REG_BINARY)
{
    return {L"SlowInfoCache", view, record, type, cbTrim};
}

Put Product(REGSAM view, const std::wstring& text)
{
    return {L"ProductIcon", view, text + kNul, REG_SZ, 0};
}

class IconLookupTest : public ::testing::Test
{
protected:
    // A new key name, or product code.
    std::wstring NewName(bool bProductCode = false)
    {
        wchar_t name[64];
        wsprintfW(name, bProductCode ? L"{%08lX-1cf0-4e2a-9b3d-%012X}" : L"VxIconTest-%lu-%d",
                  GetCurrentProcessId(), ++m_nKeys);
        return name;
    }

    void Write(HKEY hRoot, const std::wstring& name, const Put& put)
    {
        std::wstring path = (put.pszValue == std::wstring(L"SlowInfoCache") ? kArpCache : kUninstall) + name;
        if (put.pszValue == std::wstring(L"ProductIcon")) {
            hRoot = HKEY_LOCAL_MACHINE;
            path = kProducts + testsupport::Text(PackProductCode(CWideString(name.c_str())));
        }
        m_written.Add(hRoot, path, put.view);
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(hRoot, path.c_str(), put.view));
        ASSERT_EQ(ERROR_SUCCESS, key.SetRaw(put.pszValue, put.type, put.data.c_str(),
                                            static_cast<DWORD>(put.data.size() * 2 - put.cbTrim)));
    }

    // Windows 2000 knows no views: the program reads the 32-bit one for either.
    const bool m_bReads64 = !testsupport::PrefixReportsWindows2000();
    testsupport::CWrittenKeys m_written;
    int m_nKeys = 0;
};

}  // namespace

// ProductIcon (from HKLM, for an entry of either root), DisplayIcon, then the
// SlowInfoCache record, each in the 32-bit view before the 64-bit one; a value
// that gives no path passes to the next, a well-formed path to no file ends
// the lookup. HKCU's keys and the products are one key in both views.
TEST_F(IconLookupTest, TheFirstUsableValueGivesTheIcon)
{
    enum Name
    {
        kKey,
        kCode,
        kAlmostCode,
    };
    const HKEY kHklm = HKEY_LOCAL_MACHINE, kHkcu = HKEY_CURRENT_USER;
    const DWORD cbPadTo553 = 553 - static_cast<DWORD>(Record(L"").size() * sizeof(wchar_t));
    const std::wstring padded = Record(std::wstring((cbPadTo553 + 1) / 2, L'\0'));
    const struct
    {
        HKEY hRoot;
        Name name;
        std::vector<Put> puts;
        std::string expected;
        bool bVia64;  // seen only where the program reads the 64-bit view
    } cases[] = {
        // The index picks the icon; none for an index it does not have.
        {kHklm, kKey, {Display(k32, IconFile())}, kRed, false},
        {kHklm, kKey, {Display(k32, IconFile(L",1"))}, kGreen, false},
        {kHklm, kKey, {Display(k32, IconFile(L",3"))}, kNone, false},
        {kHklm, kKey, {Display(k32, IconFile(L",-1"))}, kNone, false},
        {kHklm, kKey, {}, kNone, false},
        {kHklm, kKey, {Display(k64, IconFile(L",2"))}, kBlue, true},
        {kHklm, kKey, {Cached(k32)}, kRed, false},
        {kHklm, kKey, {Cached(k64)}, kRed, true},
        {kHklm, kKey, {Display(k32, IconFile(L",1")), Display(k64, IconFile(L",2")), Cached(k32)}, kGreen, false},
        {kHkcu, kCode, {Product(k32, IconFile(L",2")), Display(k32, IconFile(L",1"))}, kBlue, false},
        {kHklm, kAlmostCode, {Product(k32, IconFile(L",2")), Display(k64, IconFile(L",1"))}, kGreen, true},
        {kHklm, kKey, {Display(k32, Quoted(L",1")), Display(k64, IconFile(L",2"))}, kBlue, true},
        // The record carries no index: the quoted location's does not carry over.
        {kHklm, kKey, {Display(k32, Quoted(L",1")), Cached(k64)}, kRed, true},
        {kHklm, kKey, {Display(k32, L"\x0001", REG_DWORD), Display(k64, IconFile(L",1"))}, kGreen, true},
        {kHklm, kCode, {Product(k32, ExeDir() + L"\\no-such-file.exe,0"), Display(k32, IconFile(L",1"))}, kNone,
         false},
        {kHklm, kKey, {Display(k32, L"%SystemRoot%\\notepad.exe,0", REG_EXPAND_SZ), Cached(k32)}, kNone, false},
        {kHkcu, kKey, {Display(k32, ExeDir()), Cached(k32)}, kNone, false},
        // Records: up to 552 bytes, with or without a terminator, odd length;
        // a header cut short; the wrong type.
        {kHkcu, kKey, {Cached(k32, padded, 1 + cbPadTo553 % 2)}, kRed, false},
        {kHkcu, kKey, {Cached(k32, padded, cbPadTo553 % 2)}, kNone, false},
        {kHkcu, kKey, {Cached(k32, Record(L""))}, kRed, false},
        {kHkcu, kKey, {Cached(k32, Record(L"\xFF00"), 1)}, kRed, false},
        {kHkcu, kKey, {Cached(k32, Record(L"").substr(0, 14), 1)}, kNone, false},
        {kHkcu, kKey, {Cached(k32, Record(kNul), 0, REG_SZ)}, kNone, false},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        std::wstring name = NewName(cases[i].name != kKey);
        if (cases[i].name == kAlmostCode)
            name[5] = L'G';
        for (const Put& put : cases[i].puts)
            Write(cases[i].hRoot, name, put);
        EXPECT_EQ(cases[i].bVia64 && !m_bReads64 ? kNone : cases[i].expected, Lookup(cases[i].hRoot, name))
            << "case " << i;
    }
}
