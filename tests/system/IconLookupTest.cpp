#include "icons/IconLookup.h"
#include "inventory/ProductCode.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

using testsupport::ExeDir;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCache[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const REGSAM k32 = KEY_WOW64_32KEY;
const REGSAM k64 = KEY_WOW64_64KEY;

// vx_three_icons.exe holds three icons; each has a 16x16 image of one colour
// and a 32x32 image of another, so a wrong index or a large icon shows.
const std::string kRed = "16x16 ff0000";
const std::string kGreen = "16x16 00ff00";
const std::string kBlue = "16x16 0000ff";
const std::string kNone = "none";

// Size and colour of a solid icon, "mixed" when its pixels differ.
std::string Describe(HICON hIcon)
{
    ICONINFO info;
    if (hIcon == NULL || !GetIconInfo(hIcon, &info))
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

std::string Lookup(HKEY hRoot, const std::wstring& name)
{
    HICON hIcon = LoadEntryIcon(hRoot, CWideString(name.c_str()));
    std::string description = Describe(hIcon);
    if (hIcon != NULL)
        DestroyIcon(hIcon);
    return description;
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

const std::wstring kNul(1, L'\0');

// Writes registry values under unique key names and removes them again.
class IconLookupTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const auto& key : m_written)
            testsupport::DeleteTree(key.first, key.second.first.c_str(), key.second.second);
    }

    std::wstring NewKeyName()
    {
        wchar_t name[64];
        wsprintfW(name, L"VxIconTest-%lu-%d", GetCurrentProcessId(), ++m_nKeys);
        return name;
    }

    std::wstring NewProductCode()
    {
        wchar_t code[64];
        wsprintfW(code, L"{%08lX-1cf0-4e2a-9b3d-%012X}", GetCurrentProcessId(), ++m_nKeys);
        return code;
    }

    // Byte-exact: cb defaults to the whole data, which carries no terminator
    // unless the caller appends one.
    void Write(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* value,
               DWORD type, const std::wstring& data, DWORD cb = DWORD(-1))
    {
        m_written.push_back({hRoot, {path, view}});
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(hRoot, path.c_str(), view));
        if (cb == DWORD(-1))
            cb = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        ASSERT_EQ(ERROR_SUCCESS, key.SetRaw(value, type, data.c_str(), cb));
    }

    void DisplayIcon(HKEY hRoot, const std::wstring& name, REGSAM view, const std::wstring& text,
                     DWORD type = REG_SZ)
    {
        Write(hRoot, kUninstall + name, view, L"DisplayIcon", type, text + kNul);
    }

    void ProductIcon(const std::wstring& code, REGSAM view, const std::wstring& text)
    {
        CWideString packed = PackProductCode(CWideString(code.c_str()));
        Write(HKEY_LOCAL_MACHINE, kProducts + std::wstring(packed.GetText()), view,
              L"ProductIcon", REG_SZ, text + kNul);
    }

    // What a value of the 64-bit view gives: nothing where the program reads
    // the 32-bit view for either (Windows 2000).
    std::string Via64(const std::string& expected) const { return m_bReads64 ? expected : kNone; }

    const bool m_bReads64 = !testsupport::PrefixReportsWindows2000();

    void SlowInfoCache(HKEY hRoot, const std::wstring& name, REGSAM view,
                       const std::wstring& record, DWORD cbTrim = 0, DWORD type = REG_BINARY)
    {
        Write(hRoot, kArpCache + name, view, L"SlowInfoCache", type, record,
              static_cast<DWORD>(record.size() * sizeof(wchar_t) - cbTrim));
    }

private:
    std::vector<std::pair<HKEY, std::pair<std::wstring, REGSAM>>> m_written;
    int m_nKeys = 0;
};

}  // namespace

TEST_F(IconLookupTest, IndexPicksTheSameSmallIconAsExtractingThemAll)
{
    const std::wstring file = IconFile();
    ASSERT_EQ(3u, ExtractIconExW(file.c_str(), -1, NULL, NULL, 0));
    HICON all[3] = {};
    ASSERT_EQ(3u, ExtractIconExW(file.c_str(), 0, NULL, all, 3));
    std::string slow[3];
    for (int i = 0; i < 3; ++i) {
        slow[i] = Describe(all[i]);
        DestroyIcon(all[i]);
    }
    ASSERT_EQ(kRed, slow[0]);

    const std::pair<const wchar_t*, std::string> cases[] = {
        {L"", slow[0]},    {L",", slow[0]},   {L",1", slow[1]},  {L",2", slow[2]},
        {L",3", kNone},    {L",99", kNone},   {L",-1", kNone},   {L", 1", kGreen},
        {L",1,2", kNone},  {L",2147483649", kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::wstring name = NewKeyName();
        DisplayIcon(HKEY_LOCAL_MACHINE, name, k32, IconFile(c.first));
        EXPECT_EQ(c.second, Lookup(HKEY_LOCAL_MACHINE, name));
    }
}

TEST_F(IconLookupTest, EverySourceIsReadInEitherView)
{
    for (REGSAM view : {k32, k64}) {
        SCOPED_TRACE(view == k32 ? "32-bit view" : "64-bit view");
        auto seen = [&](const std::string& expected) { return view == k32 ? expected : Via64(expected); };
        const std::wstring code = NewProductCode();
        // The installer's product data and HKCU's keys are one key in both views.
        ProductIcon(code, view, IconFile(L",1"));
        EXPECT_EQ(kGreen, Lookup(HKEY_LOCAL_MACHINE, code));

        for (HKEY hRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            const std::wstring display = NewKeyName();
            DisplayIcon(hRoot, display, view, IconFile(L",2"));
            EXPECT_EQ(hRoot == HKEY_CURRENT_USER ? kBlue : seen(kBlue), Lookup(hRoot, display));

            const std::wstring cached = NewKeyName();
            SlowInfoCache(hRoot, cached, view, Record(kNul));
            EXPECT_EQ(hRoot == HKEY_CURRENT_USER ? kRed : seen(kRed), Lookup(hRoot, cached));
        }
    }
    EXPECT_EQ(kNone, Lookup(HKEY_LOCAL_MACHINE, NewKeyName()));
}

TEST_F(IconLookupTest, EarlierSourcesAndThe32BitViewComeFirst)
{
    const std::wstring name = NewKeyName();
    DisplayIcon(HKEY_LOCAL_MACHINE, name, k32, IconFile(L",1"));
    DisplayIcon(HKEY_LOCAL_MACHINE, name, k64, IconFile(L",2"));
    SlowInfoCache(HKEY_LOCAL_MACHINE, name, k32, Record(kNul));
    EXPECT_EQ(kGreen, Lookup(HKEY_LOCAL_MACHINE, name));

    // ProductIcon comes from HKLM even for an entry of HKCU, and first.
    const std::wstring code = NewProductCode();
    ProductIcon(code, k32, IconFile(L",2"));
    DisplayIcon(HKEY_CURRENT_USER, code, k32, IconFile(L",1"));
    EXPECT_EQ(kBlue, Lookup(HKEY_CURRENT_USER, code));

    // A name of almost the right shape is no product code.
    std::wstring almost = NewProductCode();
    almost[5] = L'G';
    ProductIcon(almost, k32, IconFile(L",2"));
    DisplayIcon(HKEY_LOCAL_MACHINE, almost, k64, IconFile(L",1"));
    EXPECT_EQ(Via64(kGreen), Lookup(HKEY_LOCAL_MACHINE, almost));
}

TEST_F(IconLookupTest, UnusableValuesFallThroughToLaterAttempts)
{
    const std::wstring quoted = NewKeyName();
    DisplayIcon(HKEY_LOCAL_MACHINE, quoted, k32, Quoted(L",1"));
    DisplayIcon(HKEY_LOCAL_MACHINE, quoted, k64, IconFile(L",2"));
    EXPECT_EQ(Via64(kBlue), Lookup(HKEY_LOCAL_MACHINE, quoted));

    // The record carries no index: the quoted location's does not carry over.
    const std::wstring toCache = NewKeyName();
    DisplayIcon(HKEY_LOCAL_MACHINE, toCache, k32, Quoted(L",1"));
    SlowInfoCache(HKEY_LOCAL_MACHINE, toCache, k64, Record(kNul));
    EXPECT_EQ(Via64(kRed), Lookup(HKEY_LOCAL_MACHINE, toCache));

    const std::wstring dword = NewKeyName();
    Write(HKEY_LOCAL_MACHINE, kUninstall + dword, k32, L"DisplayIcon", REG_DWORD, L"\x0001", 4);
    DisplayIcon(HKEY_LOCAL_MACHINE, dword, k64, IconFile(L",1"));
    EXPECT_EQ(Via64(kGreen), Lookup(HKEY_LOCAL_MACHINE, dword));

    // 259 characters and a terminator fill the 520 bytes; one more is not read.
    for (int nLength : {259, 260}) {
        SCOPED_TRACE(nLength);
        const std::wstring name = NewKeyName();
        std::wstring location = IconFile(L",");
        location += std::wstring(nLength - location.size() - 1, L'0') + L"1";
        DisplayIcon(HKEY_LOCAL_MACHINE, name, k32, location);
        DisplayIcon(HKEY_LOCAL_MACHINE, name, k64, IconFile(L",2"));
        EXPECT_EQ(nLength == 259 ? kGreen : Via64(kBlue), Lookup(HKEY_LOCAL_MACHINE, name));
    }
}

TEST_F(IconLookupTest, AWellFormedPathToNoFileEndsTheLookup)
{
    const std::wstring code = NewProductCode();
    ProductIcon(code, k32, ExeDir() + L"\\no-such-file.exe,0");
    DisplayIcon(HKEY_LOCAL_MACHINE, code, k32, IconFile(L",1"));
    EXPECT_EQ(kNone, Lookup(HKEY_LOCAL_MACHINE, code));

    // Never expanded: the reference is an ordinary name.
    const std::wstring expand = NewKeyName();
    DisplayIcon(HKEY_LOCAL_MACHINE, expand, k32, L"%SystemRoot%\\notepad.exe,0", REG_EXPAND_SZ);
    SlowInfoCache(HKEY_LOCAL_MACHINE, expand, k32, Record(kNul));
    EXPECT_EQ(kNone, Lookup(HKEY_LOCAL_MACHINE, expand));

    const std::wstring directory = NewKeyName();
    DisplayIcon(HKEY_CURRENT_USER, directory, k32, ExeDir());
    SlowInfoCache(HKEY_CURRENT_USER, directory, k32, Record(kNul));
    EXPECT_EQ(kNone, Lookup(HKEY_CURRENT_USER, directory));
}

TEST_F(IconLookupTest, TextEndsAtTheDataReturnedOrItsFirstNul)
{
    const std::wstring text = IconFile(L",1");
    const std::wstring multi = text + kNul + IconFile(L",2") + kNul + kNul;
    const DWORD cbText = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const std::pair<DWORD, DWORD> forms[] = {
        {REG_SZ, cbText}, {REG_EXPAND_SZ, cbText + 1}, {REG_MULTI_SZ, DWORD(-1)}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.first);
        const std::wstring name = NewKeyName();
        Write(HKEY_LOCAL_MACHINE, kUninstall + name, k32, L"DisplayIcon", form.first,
              form.first == REG_MULTI_SZ ? multi : text + L"\xFFFF", form.second);
        EXPECT_EQ(kGreen, Lookup(HKEY_LOCAL_MACHINE, name));
    }

    // Records: up to 552 bytes, with or without a terminator, odd length,
    // text after the terminator; a header cut short; the wrong type.
    const DWORD cbPadTo553 = 553 - static_cast<DWORD>(Record(L"").size() * sizeof(wchar_t));
    const std::wstring padded = Record(std::wstring((cbPadTo553 + 1) / 2, L'\0'));
    const struct
    {
        std::wstring record;
        DWORD cbTrim;
        DWORD type;
        std::string expected;
    } records[] = {
        {padded, 1 + cbPadTo553 % 2, REG_BINARY, kRed},
        {padded, cbPadTo553 % 2, REG_BINARY, kNone},
        {Record(L""), 0, REG_BINARY, kRed},
        {Record(L"\xFF00"), 1, REG_BINARY, kRed},
        {Record(kNul + L"x"), 0, REG_BINARY, kRed},
        {Record(L"").substr(0, 14), 1, REG_BINARY, kNone},
        {Record(kNul), 0, REG_SZ, kNone},
    };
    for (const auto& r : records) {
        SCOPED_TRACE(r.record.size() * 2 - r.cbTrim);
        const std::wstring name = NewKeyName();
        SlowInfoCache(HKEY_CURRENT_USER, name, k32, r.record, r.cbTrim, r.type);
        EXPECT_EQ(r.expected, Lookup(HKEY_CURRENT_USER, name));
    }
}

// Wine's handle counters are stubs, so this watches handle values instead: a
// freed slot is handed out again before a fresh one. Repeated lookups that
// walk every source and extract an icon must not keep taking fresh kernel
// handles (keys, files) nor fresh user handles (icons).
TEST_F(IconLookupTest, RepeatedLookupsLeakNoHandles)
{
    const std::wstring code = NewProductCode();
    ProductIcon(code, k32, Quoted(L""));
    DisplayIcon(HKEY_LOCAL_MACHINE, code, k32, Quoted(L",1"));
    DisplayIcon(HKEY_LOCAL_MACHINE, code, k64, Quoted(L",2"));
    // The icon comes from the last view read.
    SlowInfoCache(HKEY_LOCAL_MACHINE, code, m_bReads64 ? k64 : k32, Record(kNul));
    ASSERT_EQ(kRed, Lookup(HKEY_LOCAL_MACHINE, code));

    auto probeKernelHandle = [] {
        HANDLE hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
        CloseHandle(hEvent);
        return reinterpret_cast<UINT_PTR>(hEvent);
    };
    const UINT_PTR before = probeKernelHandle();
    std::set<WORD> iconSlots;
    for (int i = 0; i < 100; ++i) {
        HICON hIcon = LoadEntryIcon(HKEY_LOCAL_MACHINE, CWideString(code.c_str()));
        ASSERT_TRUE(hIcon != NULL);
        iconSlots.insert(LOWORD(reinterpret_cast<UINT_PTR>(hIcon)));
        DestroyIcon(hIcon);
    }
    EXPECT_LE(probeKernelHandle(), before + 4 * sizeof(HANDLE)) << "kernel handles leaked";
    EXPECT_LE(iconSlots.size(), 4u) << "icons leaked";
}
