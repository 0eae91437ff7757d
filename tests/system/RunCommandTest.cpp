#include "support/TestSupport.h"
#include "uninstall/KernelHandle.h"
#include "uninstall/UninstallWorker.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

using testsupport::ExeDir;
using testsupport::TempPath;

namespace {

const DWORD kSettleMs = 15000;

bool Eventually(const std::function<bool()>& condition)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kSettleMs; Sleep(50)) {
        if (condition())
            return true;
    }
    return false;
}

// A program that has just exited may hold its file a moment longer.
bool DeleteSoon(const std::wstring& path)
{
    return Eventually([&] { return DeleteFileW(path.c_str()) != FALSE; });
}

CWideString Command(const std::wstring& program, const std::wstring& steps)
{
    return CWideString((L"\"" + program + L"\" " + steps).c_str());
}

// vx_child.exe runs the steps it is given (see its source).
CWideString ChildCommand(const std::wstring& steps)
{
    return Command(ExeDir() + L"\\vx_child.exe", steps);
}

// A test that leaves a child running waits for its marker, so that no child
// outlives its test.
class RunCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteFileW(m_strMarker.c_str()); }
    void TearDown() override { DeleteFileW(m_strMarker.c_str()); }

    bool MarkerExists() const { return GetFileAttributesW(m_strMarker.c_str()) != INVALID_FILE_ATTRIBUTES; }
    bool MarkerAppears() const { return Eventually([this] { return MarkerExists(); }); }

    const std::wstring m_strMarker = TempPath(L"vx_run_marker.txt");
    const std::wstring m_strMarkerStep = L" marker \"" + m_strMarker + L"\"";
};

TEST_F(RunCommandTest, StartsCommandLineAsStoredOrGivesTheErrorCode)
{
    EXPECT_EQ(42u, RunCommandAndWait(ChildCommand(L"exit 42"), 0, NULL));
    EXPECT_EQ(DWORD(SW_HIDE), RunCommandAndWait(ChildCommand(L"show-window"), RUN_HIDDEN, NULL));
    EXPECT_EQ(DWORD(SW_SHOWDEFAULT), RunCommandAndWait(ChildCommand(L"show-window"), 0, NULL));

    // Lengths around the string's 512-character capacity step.
    for (int length : {511, 512}) {
        std::wstring steps = L"cmdline-length pad ";
        steps.append(length - ChildCommand(steps).GetLength(), L'x');
        EXPECT_EQ(DWORD(length), RunCommandAndWait(ChildCommand(steps), 0, NULL));
    }

    const std::wstring dir = TempPath(L"vx dir with space");
    const std::wstring program = dir + L"\\vx child.exe";
    CreateDirectoryW(dir.c_str(), NULL);
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\vx_child.exe").c_str(), program.c_str(), FALSE));
    EXPECT_EQ(7u, RunCommandAndWait(Command(program, L"exit 7"), 0, NULL));
    EXPECT_TRUE(DeleteSoon(program));
    EXPECT_TRUE(RemoveDirectoryW(dir.c_str()));

    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND),
              RunCommandAndWait(Command(ExeDir() + L"\\no_such_program.exe", L"/S"), 0, NULL));
    // An empty string holds no buffer: nothing can start, and nothing may crash.
    EXPECT_NE(0u, RunCommandAndWait(CWideString(), 0, NULL));
}

TEST_F(RunCommandTest, NoWaitReturnsWhileChildRuns)
{
    EXPECT_EQ(0u, RunCommandAndWait(ChildCommand(L"sleep 2000" + m_strMarkerStep + L" exit 5"), RUN_NO_WAIT, NULL));
    EXPECT_FALSE(MarkerExists());
    EXPECT_TRUE(MarkerAppears());
}

// Uninstallers that start a copy of themselves and exit: the wait lasts until
// the last of them has ended, and the result is still the first one's code.
TEST_F(RunCommandTest, WaitsForProcessesTheChildStarted)
{
    for (const wchar_t* start : {L"spawn", L"relaunch-from-temp vx_child_relaunched.exe"}) {
        DeleteFileW(m_strMarker.c_str());
        const std::wstring steps = L"code 5 " + std::wstring(start) + L" sleep 1000" + m_strMarkerStep + L" exit 9";
        EXPECT_EQ(5u, RunCommandAndWait(ChildCommand(steps), 0, NULL)) << start;
        EXPECT_TRUE(MarkerExists()) << start;
    }
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_relaunched.exe")));
}

// The extra handle ends the wait at once, before or after the first process
// has gone, and the uninstaller keeps running to its end.
TEST_F(RunCommandTest, ExtraHandleEndsWaitWithoutStoppingChild)
{
    const std::pair<const wchar_t*, DWORD> cases[] = {
        {L"", 0}, {L"", 300}, {L"relaunch-from-temp vx_child_stopped.exe ", 1000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        DeleteFileW(m_strMarker.c_str());
        CKernelHandle hStop(CreateEventW(NULL, TRUE, FALSE, NULL));
        ASSERT_TRUE(hStop != NULL);
        std::thread signal([&] {
            Sleep(c.second);
            SetEvent(hStop);
        });
        const std::wstring steps = std::wstring(c.first) + L"sleep 2000" + m_strMarkerStep;
        EXPECT_EQ(DWORD(STILL_ACTIVE), RunCommandAndWait(ChildCommand(steps), 0, hStop));
        signal.join();
        EXPECT_FALSE(MarkerExists());
        EXPECT_TRUE(MarkerAppears());
    }
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_stopped.exe")));
}

// A message-only window on the test thread stands in for the program list.
class UninstallWorkerTest : public RunCommandTest
{
protected:
    void SetUp() override
    {
        RunCommandTest::SetUp();
        m_hwnd = CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        ASSERT_TRUE(m_hwnd != NULL);
        ASSERT_TRUE(m_hStop != NULL);
    }
    void TearDown() override
    {
        DestroyWindow(m_hwnd);
        RunCommandTest::TearDown();
    }

    // The done message arrives and the worker ends; its thread handle is the
    // caller's, still valid after the worker ended.
    void ExpectDoneAndEnded(HANDLE hThread)
    {
        ASSERT_TRUE(hThread != NULL);
        MSG msg = {};
        EXPECT_TRUE(Eventually([&] {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_POSTMESSAGE);
            return PeekMessageW(&msg, m_hwnd, WM_UNINSTALL_DONE, WM_UNINSTALL_DONE, PM_REMOVE) != FALSE;
        }));
        EXPECT_EQ(0u, msg.wParam);
        EXPECT_EQ(0, msg.lParam);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
        DWORD code = 1;
        EXPECT_TRUE(GetExitCodeThread(hThread, &code));
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(CloseHandle(hThread));
    }

    HWND m_hwnd = NULL;
    CKernelHandle m_hStop{CreateEventW(NULL, TRUE, FALSE, NULL)};
};

TEST_F(UninstallWorkerTest, PostsDoneAfterUninstallerEnded)
{
    // The command is gone once the worker has started: it works on its own copy.
    HANDLE hThread = StartUninstallWorker(
        m_hwnd, m_hStop, ChildCommand(L"relaunch-from-temp vx_child_worker.exe sleep 800" + m_strMarkerStep));
    ExpectDoneAndEnded(hThread);
    EXPECT_TRUE(MarkerExists());
    // The worker closed only its own copy of the event.
    EXPECT_TRUE(m_hStop.Close());
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_worker.exe")));
}

TEST_F(UninstallWorkerTest, MissingProgramWithoutStopEventStillPostsDone)
{
    ExpectDoneAndEnded(StartUninstallWorker(m_hwnd, NULL, Command(ExeDir() + L"\\no_such_program.exe", L"/S")));
}

}  // namespace
