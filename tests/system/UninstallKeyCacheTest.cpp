// The uninstall key cache against a scan read in full, while entries come,
// go and change between scans.
#include "inventory/UninstallScan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// What a scan reported for this test's own entries, one line each.
class CTextSink : public IUninstallRecordSink
{
public:
    explicit CTextSink(const std::wstring& prefix) : m_prefix(prefix) {}
    void OnRecord(const UninstallRecord& record) override
    {
        std::wstring name = record.strKeyName.GetText();
        if (name.compare(0, m_prefix.size(), m_prefix) != 0)
            return;
        auto text = [](const CWideString& s) { return std::wstring(s.GetText() ? s.GetText() : L""); };
        m_lines.push_back(name + L"|" + text(record.strDisplayName) + L"|" +
                          text(record.strUninstallString) + L"|" +
                          (record.bDisplayIcon ? L"icon:" + text(record.strDisplayIcon) : L"-"));
    }
    std::vector<std::wstring> m_lines;

private:
    std::wstring m_prefix;
};

std::vector<std::wstring> Scan(CUninstallKeyCache* pCache, const std::wstring& prefix,
                               bool bShowUpdates)
{
    CTextSink sink(prefix);
    if (pCache != NULL)
        pCache->Scan(HKEY_CURRENT_USER, false, bShowUpdates, sink);
    else
        ScanUninstallEntries(HKEY_CURRENT_USER, false, bShowUpdates, sink);
    return sink.m_lines;
}

class UninstallKeyCacheTest : public ::testing::Test
{
protected:
    UninstallKeyCacheTest()
    {
        wchar_t prefix[32];
        wsprintfW(prefix, L"VxKeyCache%lu-", GetCurrentProcessId());
        m_prefix = prefix;
    }
    ~UninstallKeyCacheTest() override
    {
        for (int i = 0; i < m_nKeys; ++i)
            testsupport::DeleteTree(HKEY_CURRENT_USER, Path(i).c_str());
    }

    std::wstring Name(int i) const { return m_prefix + std::to_wstring(i); }
    std::wstring Path(int i) const { return kUninstall + Name(i); }

    void Set(int i, const wchar_t* value, const std::wstring& text)
    {
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, Path(i).c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(value, text.c_str()));
        m_nKeys = std::max(m_nKeys, i + 1);
    }

    std::wstring m_prefix;
    int m_nKeys = 0;
};

}  // namespace

// Every change a scan must see, made both to keys the cache has just read
// and to keys whose times it already trusts.
TEST_F(UninstallKeyCacheTest, ACachedScanMatchesAScanReadInFull)
{
    std::mt19937 random(11);
    CUninstallKeyCache cache;
    const wchar_t* const values[] = {L"DisplayName", L"UninstallString", L"QuietUninstallString",
                                     L"DisplayIcon", L"ParentKeyName"};
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        if (round == 20)
            Sleep(3500);
        const int nChanges = 1 + static_cast<int>(random() % 5);
        for (int i = 0; i < nChanges; ++i) {
            const int nKey = static_cast<int>(random() % 24);
            if (random() % 5 == 0) {
                testsupport::DeleteTree(HKEY_CURRENT_USER, Path(nKey).c_str());
                continue;
            }
            const wchar_t* value = values[random() % 5];
            Set(nKey, value, std::wstring(value) + L" " + std::to_wstring(random() % 1000));
            ASSERT_FALSE(HasFatalFailure());
        }
        const bool bShowUpdates = random() % 3 != 0;
        EXPECT_EQ(Scan(NULL, m_prefix, bShowUpdates), Scan(&cache, m_prefix, bShowUpdates));
    }
}

TEST_F(UninstallKeyCacheTest, ContainsWhatTheScanMetWhateverTheCase)
{
    Set(1, L"UninstallString", L"x.exe");
    ASSERT_FALSE(HasFatalFailure());
    CUninstallKeyCache cache;
    Scan(&cache, m_prefix, true);
    std::wstring upper = Name(1);
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    bool bSure = false;
    EXPECT_TRUE(cache.Contains(upper.c_str(), &bSure));
    EXPECT_TRUE(cache.Contains(Name(1).c_str(), &bSure));
    EXPECT_FALSE(cache.Contains(Name(2).c_str(), &bSure));
    EXPECT_TRUE(bSure);
    EXPECT_FALSE(cache.Contains((Name(1) + L"\x00e9").c_str(), &bSure));
    EXPECT_FALSE(bSure) << "a name beyond ASCII may match in ways the cache does not know";
}
