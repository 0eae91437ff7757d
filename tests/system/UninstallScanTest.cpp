// Real entries under the Uninstall keys of the test prefix, named so that
// they cannot meet Wine's own, deleted afterwards.
#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"
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

const REGSAM kView32 = KEY_WOW64_32KEY;
const REGSAM kView64 = KEY_WOW64_64KEY;
const std::wstring kPrefix = L"VxScanTest-";

struct Value
{
    const wchar_t* pszName;
    DWORD type;
    std::wstring text;
    int cb;  // bytes of text written; -1: all of it and a terminator
};

class UninstallScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!IsNative64BitWindows())
            GTEST_SKIP() << "the test prefix must be 64-bit (WoW64)";
    }

    static std::wstring Path(const std::wstring& name) { return testsupport::kUninstallKey + name; }

    void Write(HKEY root, REGSAM view, const std::wstring& name, const std::vector<Value>& values)
    {
        m_names.insert(name);
        for (const Value& v : values) {
            const DWORD cb = v.cb < 0 ? static_cast<DWORD>((v.text.size() + 1) * 2) : v.cb;
            ASSERT_EQ(ERROR_SUCCESS, m_written.Set(root, Path(name), view, v.pszName, v.type, v.text.c_str(), cb));
        }
    }

    // This test's own rows, sorted, "name|display|command|icon" ("-" for no
    // icon); without a cache, read in full.
    std::vector<std::wstring> Scan(HKEY root, bool b64BitView, bool bShowUpdates,
                                   CUninstallKeyCache* pCache = NULL)
    {
        CUninstallKeyCache fresh;
        std::vector<const UninstallEntry*> entries;
        (pCache != NULL ? *pCache : fresh).Scan(root, b64BitView, bShowUpdates, entries);
        std::vector<std::wstring> lines;
        for (const UninstallEntry* e : entries) {
            EXPECT_EQ(b64BitView, e->b64BitView);
            if (m_names.count(Text(e->strKeyName)) != 0)
                lines.push_back(Text(e->strKeyName) + L"|" + Text(e->strDisplayName) + L"|" +
                                Text(e->strUninstallString) + L"|" +
                                (e->bDisplayIcon ? Text(e->strDisplayIcon) : L"-"));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

private:
    testsupport::CWrittenKeys m_written;
    std::set<std::wstring> m_names;
};

}  // namespace

TEST_F(UninstallScanTest, ValuesReadByTheRules)
{
    // display NULL: the key name; command NULL: no row.
    struct Case
    {
        std::wstring name;
        std::vector<Value> values;
        const wchar_t* pszDisplay;
        const wchar_t* pszCommand;
        const wchar_t* pszIcon;
    };
    const std::wstring s511(511, L'n'), s512(512, L'l');
    const std::wstring icon259(259, L'i'), icon260(260, L'i');
    const Value u = {L"UninstallString", REG_SZ, L"u.exe", -1};
    const Value quiet = {L"QuietUninstallString", REG_SZ, L"q.exe", -1}, other = {L"Comments", REG_SZ, L"", -1};
    const std::wstring guid = L"{9A3B5C7D-0e1f-4A2b-8C3d-5E6f7A8b9C0d}", msiexec = L"msiexec.exe /x " + guid;
    const Case cases[] = {
        {kPrefix + L"DwordName", {u, {L"DisplayName", REG_DWORD, L"AA", 4}}, NULL, L"u.exe", NULL},
        {kPrefix + L"MultiName", {u, {L"DisplayName", REG_MULTI_SZ, L"One\0Two\0"s, -1}}, L"One", L"u.exe", NULL},
        {kPrefix + L"511Name", {u, {L"DisplayName", REG_SZ, s511, -1}}, s511.c_str(), L"u.exe", NULL},
        {kPrefix + L"512Name", {u, {L"DisplayName", REG_SZ, s512, -1}}, NULL, L"u.exe", NULL},
        {kPrefix + L"512NoNul", {u, {L"DisplayName", REG_SZ, s512, 1024}}, NULL, L"u.exe", NULL},
        {kPrefix + L"OddNoNul", {{L"DisplayName", REG_SZ, L"Odd!", 7}, {L"UninstallString", REG_SZ, L"cmd", 6}},
         L"Odd", L"cmd", NULL},
        // One buffer serves all queries: an empty value must not show the last one's text.
        {kPrefix + L"EmptyName", {{L"UninstallString", REG_SZ, s511, -1}, {L"DisplayName", REG_SZ, L"", 0}},
         L"", s511.c_str(), NULL},
        {kPrefix + L"Expand", {{L"UninstallString", REG_EXPAND_SZ, L"%WINDIR%\\u.exe", -1}}, NULL,
         L"%WINDIR%\\u.exe", NULL},
        {kPrefix + L"EmptyCmd", {{L"UninstallString", REG_SZ, L"", -1}, quiet}, NULL, NULL, NULL},
        {kPrefix + L"DwordCmd", {{L"UninstallString", REG_DWORD, L"AA", 4}, quiet}, NULL, L"q.exe", NULL},
        {kPrefix + L"512Cmd", {{L"UninstallString", REG_SZ, s512, -1}, quiet}, NULL, L"q.exe", NULL},
        {guid, {other}, NULL, msiexec.c_str(), NULL},
        {L"{1A3B5C7D-0E1F-4A2B-8C3D-5E6F7A8B9C0D}", {{L"UninstallString", REG_SZ, L"", -1}}, NULL, NULL, NULL},
        {L"2A3B5C7D-0E1F-4A2B-8C3D-5E6F7A8B9C0D", {other}, NULL, NULL, NULL},
        // DisplayIcon: at most 520 bytes, up to the first NUL, an odd byte dropped.
        {kPrefix + L"Icon259", {u, {L"DisplayIcon", REG_SZ, icon259, -1}}, NULL, L"u.exe", icon259.c_str()},
        {kPrefix + L"Icon260", {u, {L"DisplayIcon", REG_SZ, icon260, -1}}, NULL, L"u.exe", NULL},
        {kPrefix + L"IconOdd", {u, {L"DisplayIcon", REG_EXPAND_SZ, L"abc", 5}}, NULL, L"u.exe", L"ab"},
        {kPrefix + L"IconNul", {u, {L"DisplayIcon", REG_MULTI_SZ, L"a\0b\0"s, -1}}, NULL, L"u.exe", L"a"},
        {kPrefix + L"IconDword", {u, {L"DisplayIcon", REG_DWORD, L"AA", 4}}, NULL, L"u.exe", NULL},
    };
    std::vector<std::wstring> expected;
    for (const Case& c : cases) {
        Write(HKEY_LOCAL_MACHINE, kView32, c.name, c.values);
        if (c.pszCommand != NULL)
            expected.push_back(c.name + L"|" + (c.pszDisplay != NULL ? c.pszDisplay : c.name) + L"|" +
                               c.pszCommand + L"|" + (c.pszIcon != NULL ? c.pszIcon : L"-"));
    }
    // Updates: a ParentKeyName of any type and size, even empty.
    Write(HKEY_LOCAL_MACHINE, kView32, kPrefix + L"UpdateEmpty", {u, {L"ParentKeyName", REG_SZ, L"", 0}});
    Write(HKEY_LOCAL_MACHINE, kView32, kPrefix + L"UpdateHuge",
          {u, {L"ParentKeyName", REG_BINARY, std::wstring(3000, L'p'), -1}});
    ASSERT_FALSE(HasFatalFailure());

    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Scan(HKEY_LOCAL_MACHINE, false, false));
    expected.push_back(kPrefix + L"UpdateEmpty|" + kPrefix + L"UpdateEmpty|u.exe|-");
    expected.push_back(kPrefix + L"UpdateHuge|" + kPrefix + L"UpdateHuge|u.exe|-");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Scan(HKEY_LOCAL_MACHINE, false, true));
}

TEST_F(UninstallScanTest, ViewsAndTheSharedUserKey)
{
    const Value b32 = {L"UninstallString", REG_SZ, L"b32", -1}, b64 = {L"UninstallString", REG_SZ, L"b64", -1};
    Write(HKEY_LOCAL_MACHINE, kView32, kPrefix + L"Both", {b32});
    Write(HKEY_LOCAL_MACHINE, kView64, kPrefix + L"Both", {b64});
    Write(HKEY_CURRENT_USER, kView32, kPrefix + L"User", {b32});

    // Two keys in HKLM, listed once per view; one key in HKCU that both views
    // reach, so the window must skip the second scan. Windows 2000 knows no
    // view flags: both scans read the 32-bit view, one key.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    const std::wstring both = kPrefix + L"Both|" + kPrefix + L"Both|";
    EXPECT_EQ(std::vector<std::wstring>{both + L"b32|-"}, Scan(HKEY_LOCAL_MACHINE, false, true));
    EXPECT_EQ(std::vector<std::wstring>{both + (bWindows2000 ? L"b32|-" : L"b64|-")},
              Scan(HKEY_LOCAL_MACHINE, true, true));
    EXPECT_EQ(1u, Scan(HKEY_CURRENT_USER, true, true).size());
    EXPECT_EQ(bWindows2000, ViewsShareUninstallKey(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(ViewsShareUninstallKey(HKEY_CURRENT_USER));
}

// Entries come, go and change between scans, some before the cache trusts
// their keys' times and some after: a cached scan reports what a full one does.
TEST_F(UninstallScanTest, ACachedScanMatchesAScanReadInFull)
{
    std::mt19937 random(11);
    CUninstallKeyCache cache;
    const wchar_t* const values[] = {L"DisplayName", L"UninstallString", L"QuietUninstallString",
                                     L"DisplayIcon", L"ParentKeyName"};
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        if (round == 12)
            Sleep(3500);
        for (int i = 0, n = 1 + random() % 4; i < n; ++i) {
            const std::wstring name = kPrefix + L"Cached" + std::to_wstring(random() % 10);
            if (random() % 5 == 0) {
                testsupport::DeleteTree(HKEY_CURRENT_USER, Path(name).c_str());
                continue;
            }
            const wchar_t* value = values[random() % 5];
            Write(HKEY_CURRENT_USER, 0, name, {{value, REG_SZ, value + std::to_wstring(random() % 100), -1}});
            ASSERT_FALSE(HasFatalFailure());
        }
        const bool bShowUpdates = random() % 3 != 0;
        EXPECT_EQ(Scan(HKEY_CURRENT_USER, false, bShowUpdates),
                  Scan(HKEY_CURRENT_USER, false, bShowUpdates, &cache));
    }

    // Contains ignores case, and is sure of it only for ASCII names.
    for (int i = 0; i < 10; ++i) {
        testsupport::CRegKey key;
        const bool bThere =
            key.Open(HKEY_CURRENT_USER, Path(kPrefix + L"Cached" + std::to_wstring(i)).c_str(), KEY_READ) == 0;
        EXPECT_EQ(bThere ? kSubkeyPresent : kSubkeyAbsent,
                  cache.Contains((kPrefix + L"CACHED" + std::to_wstring(i)).c_str())) << i;
    }
    EXPECT_EQ(kSubkeyUnsure, cache.Contains((kPrefix + L"Cached1\x00e9").c_str()))
        << "a name beyond ASCII may match in ways the cache does not know";
}
