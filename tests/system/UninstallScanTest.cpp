#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

// Real entries under the Uninstall keys of the test prefix, named so that
// they cannot meet Wine's own, deleted afterwards.

using namespace std::string_literals;

namespace {

const REGSAM kView32 = KEY_WOW64_32KEY;
const REGSAM kView64 = KEY_WOW64_64KEY;
const std::wstring kPrefix = L"VxScanTest-";

struct Value
{
    const wchar_t* pszName;
    DWORD type;
    std::vector<BYTE> data;
};

// The first cb bytes of text; by default all of it and a terminator.
Value Val(const wchar_t* pszName, DWORD type, const std::wstring& text, int cb = -1)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    size_t n = cb < 0 ? (text.size() + 1) * sizeof(wchar_t) : static_cast<size_t>(cb);
    return Value{pszName, type, std::vector<BYTE>(p, p + n)};
}

struct Row
{
    std::wstring strKeyName, strDisplayName, strCommand;
    // DisplayIcon, read for the icon lookup; bIconEither: unterminated text
    // that fills the whole buffer, which a platform may refuse.
    bool bIcon = false;
    std::wstring strIcon;
    bool bIconEither = false;
};

std::wstring Text(const CWideString& str)
{
    return str.GetText() != NULL ? str.GetText() : L"";
}

class UninstallScanTest : public ::testing::Test, private IUninstallRecordSink
{
protected:
    void SetUp() override
    {
        if (!IsNative64BitWindows())
            GTEST_SKIP() << "the test prefix must be 64-bit (WoW64)";
    }

    void TearDown() override
    {
        for (const auto& written : m_written)
            testsupport::DeleteTree(written.first.first, Path(written.second).c_str(),
                                    written.first.second);
    }

    static std::wstring Path(const std::wstring& strName)
    {
        return kUninstallKeyPath + L"\\"s + strName;
    }

    void WriteEntry(HKEY root, REGSAM view, const std::wstring& strName,
                    const std::vector<Value>& values)
    {
        m_written.push_back({{root, view}, strName});
        m_names.insert(strName);
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(root, Path(strName).c_str(), view));
        for (const Value& value : values)
            ASSERT_EQ(ERROR_SUCCESS, key.SetRaw(value.pszName, value.type, value.data.data(),
                                                static_cast<DWORD>(value.data.size())));
    }

    // The records of this test's own entries, in the order they came.
    std::vector<Row> Scan(HKEY root, bool b64BitView, bool bShowUpdates)
    {
        m_rows.clear();
        ScanUninstallEntries(root, b64BitView, bShowUpdates, *this);
        return m_rows;
    }

    static std::vector<Row> RowsOf(const std::vector<Row>& rows, const std::wstring& strName)
    {
        std::vector<Row> found;
        for (const Row& row : rows) {
            if (row.strKeyName == strName)
                found.push_back(row);
        }
        return found;
    }

private:
    void OnRecord(const UninstallRecord& record) override
    {
        if (m_names.count(Text(record.strKeyName)) != 0)
            m_rows.push_back({Text(record.strKeyName), Text(record.strDisplayName),
                              Text(record.strUninstallString), record.bDisplayIcon,
                              Text(record.strDisplayIcon)});
    }

    std::vector<std::pair<std::pair<HKEY, REGSAM>, std::wstring>> m_written;
    std::set<std::wstring> m_names;
    std::vector<Row> m_rows;
};

void ExpectRow(const Row& expected, const Row& actual)
{
    EXPECT_EQ(expected.strKeyName, actual.strKeyName);
    EXPECT_EQ(expected.strDisplayName, actual.strDisplayName);
    EXPECT_EQ(expected.strCommand, actual.strCommand);
    if (expected.bIconEither && !actual.bIcon)
        return;
    EXPECT_EQ(expected.bIcon, actual.bIcon);
    if (expected.bIcon && actual.bIcon) {
        EXPECT_EQ(expected.strIcon, actual.strIcon);
    }
}

}  // namespace

TEST_F(UninstallScanTest, NamedRules)
{
    // Display null: the key name; command null: no row.
    struct Case
    {
        std::wstring strName;
        std::vector<Value> values;
        const wchar_t* pszDisplay;
        const wchar_t* pszCommand;
    };
    const std::wstring s511(511, L'n');
    const std::wstring s512(512, L'l');
    const Value u = Val(L"UninstallString", REG_SZ, L"u.exe");
    const Value quiet = Val(L"QuietUninstallString", REG_SZ, L"q.exe");
    const Case cases[] = {
        {kPrefix + L"DwordName", {u, Val(L"DisplayName", REG_DWORD, L"AA", 4)}, NULL, L"u.exe"},
        {kPrefix + L"MultiName", {u, Val(L"DisplayName", REG_MULTI_SZ, L"One\0Two\0"s)}, L"One", L"u.exe"},
        {kPrefix + L"511Name", {u, Val(L"DisplayName", REG_SZ, s511)}, s511.c_str(), L"u.exe"},
        {kPrefix + L"512Name", {u, Val(L"DisplayName", REG_SZ, s512)}, NULL, L"u.exe"},
        {kPrefix + L"512NoNul", {u, Val(L"DisplayName", REG_SZ, s512, 1024)}, NULL, L"u.exe"},
        {kPrefix + L"OddNoNul", {Val(L"DisplayName", REG_SZ, L"Odd!", 7), Val(L"UninstallString", REG_SZ, L"cmd", 6)},
         L"Odd", L"cmd"},
        // One buffer serves all queries: an empty value must not show the last one's text.
        {kPrefix + L"EmptyName", {Val(L"UninstallString", REG_SZ, s511), Val(L"DisplayName", REG_SZ, L"", 0)},
         L"", s511.c_str()},
        {kPrefix + L"Expand", {Val(L"UninstallString", REG_EXPAND_SZ, L"%WINDIR%\\u.exe")}, NULL, L"%WINDIR%\\u.exe"},
        {kPrefix + L"EmptyCmd", {Val(L"UninstallString", REG_SZ, L""), quiet}, NULL, NULL},
        {kPrefix + L"DwordCmd", {Val(L"UninstallString", REG_DWORD, L"AA", 4), quiet}, NULL, L"q.exe"},
        {kPrefix + L"512Cmd", {Val(L"UninstallString", REG_SZ, s512), quiet}, NULL, L"q.exe"},
        {kPrefix + L"NoCmd", {Val(L"DisplayName", REG_SZ, L"Name")}, NULL, NULL},
        {L"{9A3B5C7D-0e1f-4A2b-8C3d-5E6f7A8b9C0d}", {}, NULL, L"msiexec.exe /x {9A3B5C7D-0e1f-4A2b-8C3d-5E6f7A8b9C0d}"},
        {L"{1A3B5C7D-0E1F-4A2B-8C3D-5E6F7A8B9C0D}", {Val(L"UninstallString", REG_SZ, L"")}, NULL, NULL},
        {L"2A3B5C7D-0E1F-4A2B-8C3D-5E6F7A8B9C0D", {}, NULL, NULL},
        {L"{3A3B5C7D-0E1F-4A2B-8C3D-5E6F7A8B9C0G}", {}, NULL, NULL},
        {kPrefix + L"UpdateEmpty", {u, Val(L"ParentKeyName", REG_SZ, L"", 0)}, NULL, NULL},
        {kPrefix + L"UpdateHuge", {u, Val(L"ParentKeyName", REG_BINARY, std::wstring(3000, L'p'))}, NULL, NULL},
    };
    for (const Case& c : cases)
        WriteEntry(HKEY_LOCAL_MACHINE, kView32, c.strName, c.values);

    const std::vector<Row> rows = Scan(HKEY_LOCAL_MACHINE, false, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strName.c_str());
        std::vector<Row> found = RowsOf(rows, c.strName);
        ASSERT_EQ(c.pszCommand != NULL ? 1u : 0u, found.size());
        if (c.pszCommand != NULL)
            ExpectRow({c.strName, c.pszDisplay != NULL ? c.pszDisplay : c.strName, c.pszCommand,
                       false, L"", false},
                      found[0]);
    }
    const std::vector<Row> withUpdates = Scan(HKEY_LOCAL_MACHINE, false, true);
    EXPECT_EQ(1u, RowsOf(withUpdates, kPrefix + L"UpdateEmpty").size());
    EXPECT_EQ(1u, RowsOf(withUpdates, kPrefix + L"UpdateHuge").size());
}

TEST_F(UninstallScanTest, ViewsAndTheSharedUserKey)
{
    const std::wstring both = kPrefix + L"Both", user = kPrefix + L"User";
    WriteEntry(HKEY_LOCAL_MACHINE, kView32, both, {Val(L"UninstallString", REG_SZ, L"b32")});
    WriteEntry(HKEY_LOCAL_MACHINE, kView64, both, {Val(L"UninstallString", REG_SZ, L"b64")});
    WriteEntry(HKEY_CURRENT_USER, kView32, user, {Val(L"UninstallString", REG_SZ, L"user")});

    // Two keys in HKLM, listed once per view; one key in HKCU that both
    // views reach, so the window must skip the second scan. Windows 2000
    // knows no view flags: both scans read the 32-bit view, one key.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    std::vector<Row> rows32 = Scan(HKEY_LOCAL_MACHINE, false, true);
    std::vector<Row> rows64 = Scan(HKEY_LOCAL_MACHINE, true, true);
    ASSERT_EQ(1u, rows32.size());
    ASSERT_EQ(1u, rows64.size());
    EXPECT_EQ(L"b32", rows32[0].strCommand);
    EXPECT_EQ(bWindows2000 ? L"b32" : L"b64", rows64[0].strCommand);
    EXPECT_EQ(1u, Scan(HKEY_CURRENT_USER, true, true).size());
    EXPECT_EQ(bWindows2000, ViewsShareUninstallKey(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(ViewsShareUninstallKey(HKEY_CURRENT_USER));
}

namespace {

struct FuzzEntry
{
    std::wstring strName;
    bool bProductCode;
    Value values[5];  // ParentKeyName, DisplayName, UninstallString, QuietUninstallString, DisplayIcon
    bool abPresent[5];
};

class CFuzzSource
{
public:
    explicit CFuzzSource(unsigned seed) : m_rng(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    // Never NUL; 0xD83D and 0xD801 are first halves of pairs.
    wchar_t Unit()
    {
        static const wchar_t s_others[] = {0xE9, 0x3A9, 0x4E2D, L'%', L'\\', 0xD83D, 0xD801};
        return Pick(4) != 0 ? static_cast<wchar_t>(0x20 + Pick(0x5F)) : s_others[Pick(7)];
    }

    // Up to 255 units, no backslash, unique by index (names ignore case).
    std::wstring Name(int index, bool& bProductCode)
    {
        int shape = Pick(8);
        bProductCode = shape < 2;
        if (shape < 3) {
            std::wstring guid = L"{";
            for (int group : {8, 4, 4, 4, 12}) {
                for (int i = 0; i < group; ++i)
                    guid += L"0123456789abcdefABCDEF"[Pick(22)];
                guid += group == 12 ? L'}' : L'-';
            }
            return shape == 2 ? guid.substr(1, 36) : guid;
        }
        std::wstring name = kPrefix + std::to_wstring(index) + L"-";
        const size_t length = name.size() + Pick(256 - static_cast<int>(name.size()));
        for (wchar_t ch = Unit(); name.size() + 2 <= length; ch = Unit()) {
            if (ch == L'\\')
                continue;
            name += ch;
            if (ch >= 0xD800 && ch <= 0xDBFF)
                name += static_cast<wchar_t>(0xDC00 + Pick(0x400));
        }
        return name;
    }

    // Sizes from empty to beyond the buffer, odd ones too, with or without
    // a terminator and with NULs inside.
    Value Data(const wchar_t* pszName)
    {
        static const DWORD s_types[] = {REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE};
        static const int s_sizes[][2] = {{0, 1}, {1, 64}, {512, 15}, {1016, 15}, {1031, 1500}};
        const int* size = s_sizes[Pick(5)];
        const int cb = size[0] + Pick(size[1]);
        std::wstring text;
        while (static_cast<int>(text.size()) * 2 <= cb)
            text += Unit();
        if (Pick(3) == 0)
            text[Pick(static_cast<int>(text.size()))] = 0;
        if (Pick(2) == 0 && cb >= 2)
            text[cb / 2 - 1] = 0;
        return Val(pszName, s_types[Pick(7)], text, cb);
    }

private:
    std::mt19937 m_rng;
};

// The rules read off the written data: the text ends at the first NUL within
// the data and needs room for a terminator in the 1024-byte buffer.
bool ExpectedText(const FuzzEntry& entry, int nValue, std::wstring& text)
{
    const Value& value = entry.values[nValue];
    if (!entry.abPresent[nValue] || value.data.size() > 1024 ||
        (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ))
        return false;
    text.clear();
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        wchar_t ch = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
        if (ch == 0)
            return true;
        text += ch;
    }
    return text.size() < 512;
}

// A location value: up to 520 bytes, the text up to the first NUL within the
// data, all of it when it has none.
void ExpectedIcon(const FuzzEntry& entry, Row& row)
{
    const Value& value = entry.values[4];
    if (!entry.abPresent[4] || value.data.size() > 520 ||
        (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ))
        return;
    row.bIcon = true;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        wchar_t ch = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
        if (ch == 0)
            return;
        row.strIcon += ch;
    }
    row.bIconEither = value.data.size() == 520;
}

bool ExpectedRow(const FuzzEntry& entry, bool bShowUpdates, Row& row)
{
    row.strKeyName = entry.strName;
    if (!bShowUpdates && entry.abPresent[0])
        return false;
    if (!ExpectedText(entry, 2, row.strCommand) && !ExpectedText(entry, 3, row.strCommand))
        row.strCommand = entry.bProductCode ? L"msiexec.exe /x " + entry.strName : L"";
    if (!ExpectedText(entry, 1, row.strDisplayName))
        row.strDisplayName = entry.strName;
    ExpectedIcon(entry, row);
    return !row.strCommand.empty();
}

std::vector<std::wstring> EnumeratedNames(HKEY root, REGSAM view)
{
    std::vector<std::wstring> names;
    testsupport::CRegKey key;
    if (key.Open(root, kUninstallKeyPath, KEY_READ | view) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0, cch = 256;
         RegEnumKeyExW(key.Get(), i, name, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         ++i, cch = 256)
        names.push_back(std::wstring(name, cch));
    return names;
}

}  // namespace

TEST_F(UninstallScanTest, RandomEntriesReadAsWritten)
{
    CFuzzSource source(20240611);
    // Where a scan finds each entry: HKLM per view; HKCU in both views.
    std::map<std::wstring, FuzzEntry> spaces[3];
    for (int index = 0; index < 300; ++index) {
        FuzzEntry entry;
        entry.strName = source.Name(index, entry.bProductCode);
        int where = source.Pick(5);  // HKLM 32, HKLM 64, HKCU, HKLM both
        for (int space : {where % 3, where == 3 ? 1 : -1}) {
            if (space < 0)
                continue;
            int n = 0;
            std::vector<Value> written;
            for (const wchar_t* pszName : {L"ParentKeyName", L"DisplayName", L"UninstallString",
                                           L"QuietUninstallString", L"DisplayIcon"}) {
                entry.values[n] = source.Data(pszName);
                entry.abPresent[n] = source.Pick(10) < 7;
                if (entry.abPresent[n])
                    written.push_back(entry.values[n]);
                ++n;
            }
            WriteEntry(space == 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                       space == 1 ? kView64 : kView32, entry.strName, written);
            ASSERT_FALSE(HasFatalFailure());
            spaces[space][entry.strName] = entry;
        }
    }

    // Windows 2000 knows no view flags: a 64-bit scan reads the 32-bit view.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    for (int scan = 0; scan < 8; ++scan) {
        const HKEY root = scan & 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const bool b64BitView = (scan & 1) != 0, bShowUpdates = (scan & 4) != 0;
        const bool bReads64 = b64BitView && !bWindows2000;
        const std::map<std::wstring, FuzzEntry>& entries = spaces[scan & 2 ? 2 : bReads64 ? 1 : 0];
        SCOPED_TRACE(testing::Message() << "scan " << scan);
        std::vector<Row> expected;
        for (const std::wstring& name : EnumeratedNames(root, bReads64 ? kView64 : kView32)) {
            Row row;
            auto found = entries.find(name);
            if (found != entries.end() && ExpectedRow(found->second, bShowUpdates, row))
                expected.push_back(row);
        }
        std::vector<Row> actual = Scan(root, b64BitView, bShowUpdates);
        ASSERT_EQ(expected.size(), actual.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ExpectRow(expected[i], actual[i]);
    }
}
