// Uninstallers that misbehave, started through the real window: Remove on a
// row whose command runs vx_child.exe with the steps of each case.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CRegKey;
using testsupport::CRemoteProgram;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const int kRemove = 1001, kClose = 1003;
const wchar_t kTarget[] = L"VxMis Target";
// Written after the program has read the list: only a refresh shows it, and
// nothing but the end of the uninstaller refreshes in these tests.
const wchar_t kProbe[] = L"VxMis Probe";

std::wstring ChildPath()
{
    return testsupport::ExeDir() + L"\\vx_child.exe";
}

std::wstring TempFile(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir, n) + name;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The running processes whose program file has that name.
std::vector<DWORD> ProcessesNamed(const wchar_t* name)
{
    std::vector<DWORD> ids;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Process32FirstW(hSnapshot, &entry); bMore;
         bMore = Process32NextW(hSnapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, name) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(hSnapshot);
    return ids;
}

BOOL CALLBACK CountVisible(HWND hWnd, LPARAM lParam)
{
    std::pair<DWORD, int>* pCount = reinterpret_cast<std::pair<DWORD, int>*>(lParam);
    DWORD nProcessId = 0;
    GetWindowThreadProcessId(hWnd, &nProcessId);
    if (nProcessId == pCount->first && IsWindowVisible(hWnd))
        ++pCount->second;
    return TRUE;
}

class MisbehavingUninstallerTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const std::wstring& path : m_written)
            testsupport::DeleteTree(HKEY_CURRENT_USER, path.c_str());
        for (const std::wstring& file : m_files)
            DeleteFileW(file.c_str());
    }

    void WriteEntry(const std::wstring& name, const std::wstring& display, const std::wstring& command)
    {
        std::wstring path = kUninstall + name;
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"DisplayName", display.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"UninstallString", command.c_str()));
        m_written.push_back(path);
    }

    // A marker file that the child creates; gone before the test starts.
    std::wstring Marker(const wchar_t* name)
    {
        std::wstring path = TempFile(name);
        DeleteFileW(path.c_str());
        m_files.push_back(path);
        return path;
    }

    static std::wstring MarkerStep(const std::wstring& path) { return L" marker \"" + path + L"\""; }

    // Starts the program with the target entry listed and the probe not yet,
    // then presses Remove on the target's row.
    void StartAndRemove(const std::wstring& command)
    {
        WriteEntry(L"VxMis-Target", kTarget, command);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(m_program.Start(testsupport::ExeDir() + L"\\..\\Vantix.exe"));
        WriteEntry(L"VxMis-Probe", kProbe, L"probe.exe");
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(-1, m_program.FindRow(kProbe));
        int nRow = m_program.FindRow(kTarget);
        ASSERT_NE(-1, nRow);
        ASSERT_TRUE(m_program.SelectRow(nRow));
        ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(m_program.Control(kRemove)) != FALSE; }));
        PostMessageW(m_program.Control(kRemove), BM_CLICK, 0, 0);
    }

    bool Refreshed() const { return m_program.FindRow(kProbe) != -1; }
    bool WaitRefreshed(DWORD timeoutMs = 20000) const
    {
        return CRemoteProgram::WaitFor([this] { return Refreshed(); }, timeoutMs);
    }

    // Alive, answering, showing nothing but its window, and idle again:
    // selecting a row makes Remove available.
    void ExpectIdleAndQuiet()
    {
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_program.Process(), 0));
        DWORD_PTR result;
        EXPECT_NE(0, SendMessageTimeoutW(m_program.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result));
        std::pair<DWORD, int> count(GetProcessId(m_program.Process()), 0);
        EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&count));
        EXPECT_EQ(1, count.second) << "no message box, no other window";
        int nRow = m_program.FindRow(kTarget);
        ASSERT_NE(-1, nRow) << "the registry still has the entry";
        ASSERT_TRUE(m_program.SelectRow(nRow));
        EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(m_program.Control(kRemove)) != FALSE; }));
    }

    CRemoteProgram m_program;
    std::vector<std::wstring> m_written;
    std::vector<std::wstring> m_files;
};

}  // namespace

TEST_F(MisbehavingUninstallerTest, ErrorExitCodeStillRefreshes)
{
    const std::wstring ran = Marker(L"vx_mis_error.txt");
    StartAndRemove(L"\"" + ChildPath() + L"\"" + MarkerStep(ran) + L" exit 1603");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(WaitRefreshed());
    EXPECT_TRUE(FileExists(ran));
    ExpectIdleAndQuiet();
}

// Commands that cannot start: no program, an unterminated quote, nothing, a
// directory, a document, an environment reference (run as stored, it names
// no file).
class UnstartableUninstallerTest : public MisbehavingUninstallerTest,
                                   public ::testing::WithParamInterface<const wchar_t*>
{
};

TEST_P(UnstartableUninstallerTest, RefreshesAtOnceWithoutAMessage)
{
    StartAndRemove(GetParam());
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(WaitRefreshed(5000));
    ExpectIdleAndQuiet();
}

INSTANTIATE_TEST_SUITE_P(Commands, UnstartableUninstallerTest,
                         ::testing::Values(L"C:\\vx-missing\\nothing.exe /x",
                                           L"\"C:\\vx missing\\unterminated.exe /x", L"\"\"",
                                           L"C:\\windows", L"C:\\windows\\win.ini",
                                           L"%SystemRoot%\\notepad.exe"));

// Uninstallers often hand over to a copy of themselves and exit: the wait
// covers every process that the uninstaller started. Meanwhile the window is
// busy but answers at once, and no refresh comes early.
TEST_F(MisbehavingUninstallerTest, GrandchildThatOutlivesItsParentIsWaitedFor)
{
    const std::wstring parentRan = Marker(L"vx_mis_parent.txt");
    const std::wstring grandchildEnded = Marker(L"vx_mis_grandchild.txt");
    StartAndRemove(L"\"" + ChildPath() + L"\"" + MarkerStep(parentRan) + L" spawn sleep 3000" +
                   MarkerStep(grandchildEnded));
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(parentRan); }));

    DWORD_PTR result;
    EXPECT_NE(0, SendMessageTimeoutW(m_program.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result));
    ASSERT_TRUE(m_program.SelectRow(m_program.FindRow(kTarget)));
    Sleep(300);
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(kRemove)));
    EXPECT_FALSE(Refreshed());

    EXPECT_TRUE(WaitRefreshed());
    EXPECT_TRUE(FileExists(grandchildEnded)) << "refreshed while the grandchild still ran";
    ExpectIdleAndQuiet();
}

// The uninstaller relaunches itself under another name and the copy never
// ends: closing the window still ends the program within the bound, and the
// copy keeps running.
TEST_F(MisbehavingUninstallerTest, ClosingWhileAHandedOverUninstallerNeverEnds)
{
    const wchar_t kCopy[] = L"vx_mis_forever.exe";
    const std::wstring started = Marker(L"vx_mis_forever.txt");
    StartAndRemove(L"\"" + ChildPath() + L"\" relaunch-from-temp " + kCopy + MarkerStep(started) +
                   L" sleep 600000");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(started); }));
    std::vector<DWORD> copies = ProcessesNamed(kCopy);
    ASSERT_EQ(1u, copies.size());
    HANDLE hCopy = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, copies[0]);
    ASSERT_NE(static_cast<HANDLE>(NULL), hCopy);

    const DWORD dwStart = GetTickCount();
    PostMessageW(m_program.Control(kClose), BM_CLICK, 0, 0);
    EXPECT_TRUE(m_program.WaitForExit(12000));
    EXPECT_LT(GetTickCount() - dwStart, 10000u) << "the shutdown wait is bounded";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hCopy, 500)) << "the uninstaller is never stopped";

    TerminateProcess(hCopy, 0);
    WaitForSingleObject(hCopy, 5000);
    CloseHandle(hCopy);
    Marker(kCopy);
}

// The longest command the list keeps (511 characters) reaches the child
// whole: its last argument names the marker that it creates.
TEST_F(MisbehavingUninstallerTest, LongestListedCommandRunsWhole)
{
    const std::wstring ran = Marker(L"vx_mis_long_command.txt");
    const std::wstring head = L"\"" + ChildPath() + L"\" pad ";
    const std::wstring tail = MarkerStep(ran);
    ASSERT_LT(head.size() + tail.size(), 500u);
    const std::wstring command = head + std::wstring(511 - head.size() - tail.size(), L'x') + tail;
    ASSERT_EQ(511u, command.size());

    StartAndRemove(command);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(command, m_program.RowText(m_program.FindRow(kTarget), 1));
    EXPECT_TRUE(WaitRefreshed());
    EXPECT_TRUE(FileExists(ran));
    ExpectIdleAndQuiet();
}
