// The installed programs over real entries in the test prefix's registry,
// named so that they cannot meet Wine's own, deleted afterwards.
#include "inventory/InstalledPrograms.h"
#include "inventory/ProductCode.h"
#include "inventory/RegistryViews.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace std::string_literals;
using testsupport::Text;

namespace {

const HKEY kHklm = HKEY_LOCAL_MACHINE, kHkcu = HKEY_CURRENT_USER;
const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;
const std::wstring kNul(1, L'\0'), kExe = L"C:\\vx\\app.exe";

// One value written for an entry: its data less cbTrim bytes.
struct Put
{
    const wchar_t* pszValue;
    REGSAM view;
    DWORD type;
    std::wstring data;
    DWORD cbTrim;
};

Put Sz(const wchar_t* pszValue, const std::wstring& text, DWORD type = REG_SZ, REGSAM view = k32)
{
    return {pszValue, view, type, text + kNul, 0};
}

Put Display(REGSAM view, const std::wstring& text, DWORD type = REG_SZ)
{
    return Sz(L"DisplayIcon", text, type, view);
}

// An ARP cache record: 28 bytes the lookup must not interpret, kExe, the tail.
Put Cached(REGSAM view, const std::wstring& tail = kNul, DWORD cbTrim = 0, DWORD type = REG_BINARY)
{
    return {L"SlowInfoCache", view, type, std::wstring(14, wchar_t(0xABAB)) + kExe + tail, cbTrim};
}

enum Kind { kKey, kCode, kAlmostCode };

std::wstring Name(Kind kind, int n)
{
    wchar_t name[64];
    wsprintfW(name, kind != kKey ? L"{%08lX-1cf0-4e2a-9b3d-%012X}" : L"VxModelTest-%lu-%d", GetCurrentProcessId(), n);
    name[5] = kind == kAlmostCode ? L'G' : name[5];
    return name;
}

class InstalledProgramsTest : public ::testing::Test
{
protected:
    // ProductIcon goes to the installer's products, whatever the root.
    void Write(HKEY hRoot, const std::wstring& name, const Put& put)
    {
        const std::wstring value = put.pszValue;
        const std::wstring path = value == L"ProductIcon"     ? testsupport::kProductsKey + Text(PackProductCode(name.c_str()))
                                  : value == L"SlowInfoCache" ? testsupport::kArpCacheKey + name
                                                              : testsupport::kUninstallKey + name;
        m_names.insert(name);
        ASSERT_EQ(ERROR_SUCCESS, m_written.Set(value == L"ProductIcon" ? kHklm : hRoot, path, put.view, put.pszValue,
                                               put.type, put.data.c_str(),
                                               static_cast<DWORD>(put.data.size() * 2 - put.cbTrim)));
    }

    // This test's own programs as "view name|display|command|icon" ("-": none).
    std::vector<std::wstring> Listed(const std::vector<CInstalledPrograms::Program>& programs)
    {
        std::vector<std::wstring> rows;
        for (const CInstalledPrograms::Program& program : programs) {
            const UninstallEntry& e = *program.pEntry;
            if (m_names.count(Text(e.strKeyName)) != 0)
                rows.push_back((e.b64BitView ? L"64 " : L"32 ") + Text(e.strKeyName) + L"|" + Text(e.strDisplayName) +
                               L"|" + Text(e.strUninstallString) + L"|" +
                               (program.pIcon != NULL
                                    ? Text(program.pIcon->strPath) + L"," + std::to_wstring(program.pIcon->nIndex)
                                    : L"-"));
        }
        return rows;
    }

    testsupport::CWrittenKeys m_written;
    std::set<std::wstring> m_names;
};

}  // namespace

// An entry with a command is listed once per view in HKLM, once in HKCU (one
// key in both views, as the products are). Its icon is the first location
// that parses among ProductIcon (for a product code), DisplayIcon and the ARP
// cache record, each in the 32-bit view first, whatever the entry's view; a
// path to no file ends the lookup.
TEST_F(InstalledProgramsTest, ValuesAreReadByTheRulesInEachView)
{
    const std::wstring s511(511, L'n'), s512(512, L'l'), icon259(259, L'i'), icon260(260, L'i');
    const std::wstring a = kExe + L",1", b = L"C:\\vx\\b.dll,2", quoted = L"\"" + kExe + L"\",1";
    const std::wstring pad(276 - 14 - kExe.size(), L'\0');  // to 552 bytes
    const DWORD cbCutHeader = static_cast<DWORD>(2 * kExe.size() + 1);
    const Put quiet = Sz(L"QuietUninstallString", L"q.exe"), other = Sz(L"Comments", L"");
    const Put x = Sz(L"UninstallString", L"x.exe"), x64 = Sz(L"UninstallString", L"x.exe", REG_SZ, k64);
    const std::wstring kListed = L"*|x.exe";  // "*" for the key name
    const struct
    {
        HKEY hRoot;
        Kind kind;
        std::vector<Put> puts;
        std::wstring entry;  // "display|command", empty when not listed
        std::wstring icon;
        bool bVia64 = false;  // the icon is seen only where the program reads the 64-bit view
    } cases[] = {
        {kHkcu, kKey, {x, Sz(L"DisplayName", L"One\0Two\0"s, REG_MULTI_SZ)}, L"One|x.exe", L"-"},
        {kHkcu, kKey, {x, Sz(L"DisplayName", s511)}, s511 + L"|x.exe", L"-"},
        {kHkcu, kKey, {x, Sz(L"DisplayName", s512)}, kListed, L"-"},
        {kHkcu, kKey, {{L"DisplayName", k32, REG_SZ, L"Odd!", 1}, {L"UninstallString", k32, REG_SZ, L"cmd", 0}},
         L"Odd|cmd", L"-"},
        // One buffer serves all queries: an empty value must not show the last one's text.
        {kHkcu, kKey, {Sz(L"UninstallString", s511), {L"DisplayName", k32, REG_SZ, L"", 0}}, L"|" + s511, L"-"},
        {kHkcu, kKey, {Sz(L"UninstallString", L"%WINDIR%\\u.exe", REG_EXPAND_SZ)}, L"*|%WINDIR%\\u.exe", L"-"},
        {kHkcu, kKey, {Sz(L"UninstallString", L""), quiet}, L"", L""},
        {kHkcu, kKey, {{L"UninstallString", k32, REG_DWORD, L"AA", 0}, quiet}, L"*|q.exe", L"-"},
        {kHkcu, kCode, {other}, L"*|msiexec.exe /x *", L"-"},
        {kHkcu, kCode, {Sz(L"UninstallString", L"")}, L"", L""},
        {kHkcu, kAlmostCode, {other}, L"", L""},
        // DisplayIcon: at most 520 bytes, up to the first NUL, an odd byte dropped.
        {kHkcu, kKey, {x, Display(k32, icon259)}, kListed, icon259 + L",0"},
        {kHkcu, kKey, {x, Display(k32, icon260)}, kListed, L"-"},
        {kHkcu, kKey, {x, {L"DisplayIcon", k32, REG_EXPAND_SZ, L"abc", 1}}, kListed, L"ab,0"},
        {kHkcu, kKey, {x, Display(k32, L"a\0b\0"s, REG_MULTI_SZ)}, kListed, L"a,0"},
        {kHkcu, kKey, {x, {L"DisplayIcon", k32, REG_DWORD, L"AA", 0}}, kListed, L"-"},
        // Updates, listed only when asked for: a ParentKeyName of any type and size.
        {kHklm, kKey, {x, Sz(L"ParentKeyName", std::wstring(3000, L'p'), REG_BINARY)}, kListed, L"-"},
        // Where the icon comes from.
        {kHklm, kKey, {x, x64, Display(k32, a), Display(k64, b), Cached(k32)}, kListed, a},
        {kHkcu, kCode, {x, Sz(L"ProductIcon", b), Display(k32, a)}, kListed, b},
        {kHklm, kAlmostCode, {x, Sz(L"ProductIcon", b), Display(k64, a)}, kListed, a, true},
        {kHklm, kKey, {x, x64, Display(k32, quoted), Display(k64, b)}, kListed, b, true},
        // The record carries no index: the quoted location's does not carry over.
        {kHklm, kKey, {x, Display(k32, quoted), Cached(k64)}, kListed, kExe + L",0", true},
        {kHklm, kKey, {x, Display(k64, L"\x0001", REG_DWORD), Cached(k32)}, kListed, kExe + L",0"},
        {kHklm, kCode, {x, x64, Sz(L"ProductIcon", L"C:\\vx\\none.exe"), Display(k32, a)}, kListed,
         L"C:\\vx\\none.exe,0"},
        {kHklm, kKey, {x, Display(k32, L"%SystemRoot%\\a.exe,1", REG_EXPAND_SZ), Cached(k32)}, kListed,
         L"%SystemRoot%\\a.exe,1"},
        // Records: up to 552 bytes, odd length without a terminator; a header cut short; the wrong type.
        {kHkcu, kKey, {x, Cached(k32, pad, 0)}, kListed, kExe + L",0"},
        {kHkcu, kKey, {x, Cached(k32, pad + kNul, 1)}, kListed, L"-"},
        {kHkcu, kKey, {x, Cached(k32, L"\xFF00", 1)}, kListed, kExe + L",0"},
        {kHkcu, kKey, {x, Cached(k32, L"", cbCutHeader)}, kListed, L"-"},
        {kHkcu, kKey, {x, Cached(k32, kNul, 0, REG_SZ)}, kListed, L"-"},
    };
    // Windows 2000 knows no views: the program reads the 32-bit one for either.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_EQ(bWindows2000, IsWindows2000());
    EXPECT_TRUE(IsNative64BitWindows());
    std::vector<std::wstring> expected[2];  // without updates, with them
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring name = Name(c.kind, n++);
        bool b64 = false, bUpdate = false;
        for (const Put& put : c.puts) {
            Write(c.hRoot, name, put);
            b64 = b64 || (put.view == k64 && std::wstring(put.pszValue) == L"UninstallString");
            bUpdate = bUpdate || std::wstring(put.pszValue) == L"ParentKeyName";
        }
        std::wstring row = c.entry + L"|" + (c.bVia64 && bWindows2000 ? L"-" : c.icon);
        for (size_t nStar; (nStar = row.find(L'*')) != std::wstring::npos;)
            row.replace(nStar, 1, name);
        for (int nUpdates = bUpdate; nUpdates < 2 && !c.entry.empty(); ++nUpdates) {
            expected[nUpdates].push_back(L"32 " + name + L"|" + row);
            if (b64 && !bWindows2000)
                expected[nUpdates].push_back(L"64 " + name + L"|" + row);
        }
    }
    ASSERT_FALSE(HasFatalFailure());

    CInstalledPrograms programs;
    for (bool bShowUpdates : {false, true}) {
        std::vector<std::wstring> listed = Listed(programs.Refresh(bShowUpdates));
        std::sort(listed.begin(), listed.end());
        std::sort(expected[bShowUpdates].begin(), expected[bShowUpdates].end());
        EXPECT_EQ(expected[bShowUpdates], listed) << "updates " << bShowUpdates;
    }
}

// Entries come, go and change between refreshes, some before the caches trust
// their keys' times and some after: a refresh that reads only what changed
// lists what a first refresh does, in the same order.
TEST_F(InstalledProgramsTest, ARefreshFromTheCachesListsWhatAFirstRefreshDoes)
{
    std::mt19937 random(11);
    CInstalledPrograms cached;
    const wchar_t* const values[] = {L"DisplayName", L"UninstallString", L"QuietUninstallString", L"DisplayIcon",
                                     L"ParentKeyName", L"ProductIcon"};
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        if (round == 12)
            Sleep(3500);
        for (int i = 0, nWrites = 1 + random() % 4; i < nWrites; ++i) {
            const std::wstring name = Name(random() % 2 ? kKey : kCode, 100 + random() % 6);
            const HKEY hRoot = random() % 3 ? kHklm : kHkcu;
            const REGSAM view = random() % 2 ? k32 : k64;
            const int nValue = random() % 8, nText = random() % 100;
            if (nValue == 5 && !IsProductCode(name.c_str()))
                continue;
            if (nValue == 7)
                testsupport::DeleteTree(hRoot, (testsupport::kUninstallKey + name).c_str(), view);
            else if (nValue == 6)
                Write(hRoot, name, Cached(view, std::to_wstring(nText) + kNul));
            else
                Write(hRoot, name, Sz(values[nValue], L"C:\\vx\\" + std::wstring(values[nValue]) + L"," + std::to_wstring(nText),
                                      REG_SZ, view));
            ASSERT_FALSE(HasFatalFailure());
        }
        const bool bShowUpdates = random() % 3 != 0;
        CInstalledPrograms fresh;
        EXPECT_EQ(Listed(fresh.Refresh(bShowUpdates)), Listed(cached.Refresh(bShowUpdates)));
    }

    // Whether a scan met a key: regardless of case, sure only for ASCII names.
    CUninstallKeyCache keys;
    std::vector<const UninstallEntry*> entries;
    keys.Scan(kHkcu, false, true, entries);
    for (int i = 100; i < 106; ++i) {
        testsupport::CRegKey key;
        std::wstring name = Name(kKey, i);
        const bool bThere = key.Open(kHkcu, (testsupport::kUninstallKey + name).c_str(), KEY_READ) == ERROR_SUCCESS;
        CharUpperW(&name[0]);
        EXPECT_EQ(bThere ? kSubkeyPresent : kSubkeyAbsent, keys.Contains(name.c_str())) << i;
    }
    EXPECT_EQ(kSubkeyUnsure, keys.Contains(L"VxModelTest-\x00e9")) << "a name beyond ASCII may match in ways not known";
}
