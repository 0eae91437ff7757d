// Remove through the real window of another process, with real uninstallers
// and real messages. Nothing here refreshes by hand: the end of an
// uninstaller alone must bring the list up to date.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CRemoteProgram;
using testsupport::ExeDir;

namespace {

const int kList = 1000, kRemove = 1001, kClose = 1003;

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL CALLBACK CountVisible(HWND hwnd, LPARAM lParam)
{
    std::pair<DWORD, int>* pCount = reinterpret_cast<std::pair<DWORD, int>*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hwnd, &dwProcessId);
    pCount->second += dwProcessId == pCount->first && IsWindowVisible(hwnd);
    return TRUE;
}

class RemoveTest : public ::testing::Test
{
protected:
    ~RemoveTest() override
    {
        for (const std::wstring& file : m_files)
            DeleteFileW(file.c_str());
    }

    bool RemoveAvailable() const { return IsWindowEnabled(m_program.Control(kRemove)) != FALSE; }

    void Remove(const std::wstring& name)
    {
        const int nRow = m_program.FindRow(name);
        ASSERT_NE(-1, nRow) << name;
        ASSERT_TRUE(m_program.SelectRow(nRow));
        ASSERT_TRUE(CRemoteProgram::WaitFor([this] { return RemoveAvailable(); }));
        PostMessageW(m_program.Control(kRemove), BM_CLICK, 0, 0);
    }

    // An entry without a DisplayName: its row shows the key's name.
    void WriteEntry(const std::wstring& name, const std::wstring& command)
    {
        const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str()));
        m_written.Add(HKEY_CURRENT_USER, path);
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"UninstallString", command.c_str()));
    }

    // A file in the temporary folder, gone now and after the test.
    std::wstring TempFile(const wchar_t* name)
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        m_files.push_back(dir + std::wstring(name));
        DeleteFileW(m_files.back().c_str());
        return m_files.back();
    }

    // A row that only a refresh after this moment can show.
    void WriteProbe()
    {
        m_probe = L"VxRemove Probe " + std::to_wstring(++m_nProbes);
        WriteEntry(m_probe, L"probe.exe");
    }
    bool Refreshed() const { return m_program.FindRow(m_probe) != -1; }
    bool WaitRefreshed(DWORD timeoutMs = 20000) const
    {
        return CRemoteProgram::WaitFor([this] { return Refreshed(); }, timeoutMs);
    }

    // After the refresh that ended an uninstaller: answering, showing no
    // other window (no message box), nothing selected, Remove unavailable.
    void ExpectIdleAndQuiet()
    {
        DWORD_PTR result;
        EXPECT_NE(0, SendMessageTimeoutW(m_program.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result));
        std::pair<DWORD, int> count(GetProcessId(m_program.Process()), 0);
        EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&count));
        EXPECT_EQ(1, count.second) << "no window but its own";
        EXPECT_EQ(-1, m_program.SelectedRow());
        EXPECT_FALSE(RemoveAvailable());
    }

    CRemoteProgram m_program;
    testsupport::CWrittenKeys m_written;
    std::vector<std::wstring> m_files;
    std::wstring m_probe;
    int m_nProbes = 0;
};

}  // namespace

TEST_F(RemoveTest, EachSampleGoesByItsRealUninstaller)
{
    const std::wstring samples = ExeDir() + L"\\..\\samples\\";
    const wchar_t* const kSamples[][3] = {
        // install command, the row's name, an installed file
        {L"\"nsis-machine.exe\" /S", L"Vantix Sample (per-machine)",
         L"%ProgramFiles(x86)%\\Vantix Sample\\SampleApp.exe"},
        {L"\"nsis-user.exe\" /S", L"Vantix Sample (per-user)", L"%LOCALAPPDATA%\\Vantix Sample User\\SampleApp.exe"},
        {L"msiexec.exe /i \"sample.msi\" /qn", L"Vantix Sample (installer package)",
         L"%ProgramFiles(x86)%\\Vantix Sample MSI\\SampleApp.exe"},
    };
    // The NSIS installers are 32-bit programs; the package goes through
    // Wine's own installer, which runs either way.
    const size_t nFirst = testsupport::CanStart32BitPrograms() ? 0 : 2;
    std::vector<std::wstring> files;
    for (size_t i = nFirst; i < 3; ++i) {
        const auto& sample = kSamples[i];
        std::wstring install = sample[0];
        install.insert(install.find(L'"') + 1, samples);
        ASSERT_EQ(0u, testsupport::RunAndWait(install)) << install;
        wchar_t file[MAX_PATH] = {};
        ExpandEnvironmentStringsW(sample[2], file, MAX_PATH);
        files.push_back(file);
        ASSERT_TRUE(FileExists(file)) << file;
    }
    ASSERT_TRUE(m_program.Start(ExeDir() + L"\\..\\Vantix.exe"));
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring name = kSamples[nFirst + i][1];
        SCOPED_TRACE(name);
        EXPECT_GT(m_program.RowImage(m_program.FindRow(name)), 0) << "its own icon";
        Remove(name);
        EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return m_program.FindRow(name) == -1; }, 120000));
        EXPECT_FALSE(FileExists(files[i]));
        EXPECT_EQ(-1, m_program.SelectedRow());
        EXPECT_FALSE(RemoveAvailable());
    }
}

TEST_F(RemoveTest, MisbehavingUninstallersLeaveTheWindowWorking)
{
    const std::wstring child = L"\"" + ExeDir() + L"\\vx_child.exe\"";
    auto marker = [](const std::wstring& path) { return L" marker \"" + path + L"\""; };
    const std::wstring parentRan = TempFile(L"vx_remove_parent"), grandchildEnded = TempFile(L"vx_remove_grandchild");
    const std::wstring closingStarted = TempFile(L"vx_remove_closing"), closingEnded = TempFile(L"vx_remove_closed");
    WriteEntry(L"VxRemove Handover", child + marker(parentRan) + L" spawn sleep 4000" + marker(grandchildEnded));
    WriteEntry(L"VxRemove Closing", child + L" relaunch-from-temp vx_remove_copy.exe" + marker(closingStarted) +
                                        L" sleep 8000" + marker(closingEnded));
    TempFile(L"vx_remove_copy.exe");
    // Name, command, and the marker that shows it ran, if it can.
    std::vector<std::vector<std::wstring>> cases;
    const std::wstring errorRan = TempFile(L"vx_remove_error"), longestRan = TempFile(L"vx_remove_longest");
    cases.push_back({L"VxRemove Error", child + marker(errorRan) + L" exit 1603", errorRan});
    // The longest command that the list keeps reaches the uninstaller whole.
    const std::wstring head = child + L" pad ", tail = marker(longestRan);
    const std::wstring longest = head + std::wstring(511 - head.size() - tail.size(), L'x') + tail;
    cases.push_back({L"VxRemove Longest", longest, longestRan});
    for (const wchar_t* command : {L"C:\\vx-missing\\nothing.exe /x", L"\"C:\\vx missing\\unterminated.exe /x",
                                   L"\"\"", L"C:\\windows", L"C:\\windows\\win.ini", L"%SystemRoot%\\notepad.exe"})
        cases.push_back({L"VxRemove Unstartable " + std::to_wstring(cases.size()), command, L""});
    for (const auto& c : cases)
        WriteEntry(c[0], c[1]);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(m_program.Start(ExeDir() + L"\\..\\Vantix.exe"));

    // Handed over to a process that outlives it: the wait covers that one
    // too. Meanwhile the window answers, Remove stays unavailable, and F5
    // refreshes without ending the wait.
    WriteProbe();
    Remove(L"VxRemove Handover");
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(parentRan); }));
    ASSERT_TRUE(m_program.SelectRow(m_program.FindRow(L"VxRemove Error")));
    Sleep(300);
    EXPECT_FALSE(RemoveAvailable());
    EXPECT_FALSE(Refreshed());
    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(WaitRefreshed());
    WriteProbe();
    EXPECT_FALSE(FileExists(grandchildEnded));
    EXPECT_TRUE(WaitRefreshed());
    EXPECT_TRUE(FileExists(grandchildEnded)) << "refreshed while the grandchild still ran";
    ExpectIdleAndQuiet();

    // An error exit code, and commands that start nothing (at once, then).
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(c[1], m_program.RowText(m_program.FindRow(c[0]), 1));
        WriteProbe();
        Remove(c[0]);
        EXPECT_TRUE(WaitRefreshed(c[2].empty() ? 5000 : 20000));
        EXPECT_TRUE(c[2].empty() || FileExists(c[2]));
        ExpectIdleAndQuiet();
    }

    // Closing while an uninstaller runs ends the program at once; the
    // uninstaller runs on to its end.
    Remove(L"VxRemove Closing");
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(closingStarted); }));
    PostMessageW(m_program.Control(kClose), BM_CLICK, 0, 0);
    EXPECT_TRUE(m_program.WaitForExit(5000));
    EXPECT_FALSE(FileExists(closingEnded));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(closingEnded); }));
}
