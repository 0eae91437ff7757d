#include "support/TestSupport.h"
#include "uninstall/KernelHandle.h"
#include "uninstall/UninstallWorker.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <tuple>

using testsupport::ExeDir;
using testsupport::TempPath;

namespace {

bool Eventually(const std::function<bool()>& condition)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < 15000; Sleep(50)) {
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
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND),
              RunCommandAndWait(Command(ExeDir() + L"\\no_such_program.exe", L"/S"), 0, NULL));
    // Commands that start nothing give an error at once.
    for (const wchar_t* command : {L"C:\\vx-missing\\nothing.exe /x", L"\"C:\\vx missing\\unterminated.exe /x", L"\"\"",
                                   L"C:\\windows", L"C:\\windows\\win.ini", L"%SystemRoot%\\notepad.exe"})
        EXPECT_NE(0u, RunCommandAndWait(CWideString(command), 0, NULL)) << command;
    // An empty string holds no buffer: nothing can start, and nothing may crash.
    EXPECT_NE(0u, RunCommandAndWait(CWideString(), 0, NULL));
}

// Uninstallers that start a copy of themselves and exit: the wait lasts until
// the last of them has ended, and the result is still the first one's code.
// A stop event ends the wait at once, before or after the first process has
// gone, and the uninstaller keeps running to its end.
TEST_F(RunCommandTest, WaitsForWhatTheChildStartedUnlessStopped)
{
    // What the child starts first; when the stop event is set, -1 for no event; the result.
    const std::tuple<const wchar_t*, int, DWORD> cases[] = {
        {L"spawn ", -1, 5}, {L"relaunch-from-temp vx_child_relaunched.exe ", -1, 5}, {L"", 0, STILL_ACTIVE},
        {L"", 300, STILL_ACTIVE}, {L"relaunch-from-temp vx_child_stopped.exe ", 1000, STILL_ACTIVE}};
    for (const auto& [pszStart, nStopMs, code] : cases) {
        SCOPED_TRACE(testing::Message() << pszStart << nStopMs);
        DeleteFileW(m_strMarker.c_str());
        CKernelHandle hStop(CreateEventW(NULL, TRUE, FALSE, NULL));
        ASSERT_TRUE(hStop != NULL);
        std::thread signal([&hStop, nMs = nStopMs] {
            if (nMs >= 0) {
                Sleep(nMs);
                SetEvent(hStop);
            }
        });
        const std::wstring steps = L"code 5 " + std::wstring(pszStart) + L"sleep 2000" + m_strMarkerStep + L" exit 9";
        EXPECT_EQ(code, RunCommandAndWait(ChildCommand(steps), 0, nStopMs >= 0 ? hStop.Get() : NULL));
        signal.join();
        EXPECT_EQ(nStopMs < 0, MarkerExists());
        EXPECT_TRUE(MarkerAppears());
    }
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_relaunched.exe")));
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_stopped.exe")));
}

// A message-only window on the test thread stands in for the program list.
// The worker posts its message once the uninstaller and what it started have
// ended, with or without a stop event, whether the program starts or not.
TEST_F(RunCommandTest, WorkerPostsDoneOnceTheUninstallerEnded)
{
    HWND hwnd = CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(hwnd != NULL);
    CKernelHandle hStop(CreateEventW(NULL, TRUE, FALSE, NULL));
    for (HANDLE hEvent : {hStop.Get(), HANDLE(NULL)}) {
        DeleteFileW(m_strMarker.c_str());
        // The command is gone once the worker has started: it works on its own copy.
        HANDLE hThread = StartUninstallWorker(
            hwnd, hEvent,
            hEvent != NULL ? ChildCommand(L"relaunch-from-temp vx_child_worker.exe sleep 800" + m_strMarkerStep)
                           : Command(ExeDir() + L"\\no_such_program.exe", L"/S"));
        EXPECT_TRUE(hThread != NULL);
        MSG msg;
        EXPECT_TRUE(Eventually([&] {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_POSTMESSAGE);
            return PeekMessageW(&msg, hwnd, WM_UNINSTALL_DONE, WM_UNINSTALL_DONE, PM_REMOVE) != FALSE;
        }));
        // The thread handle is the caller's, still valid after the worker ended.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
        EXPECT_TRUE(CloseHandle(hThread));
        EXPECT_EQ(hEvent != NULL, MarkerExists());
    }
    // The worker closed only its own copy of the event.
    EXPECT_TRUE(hStop.Close());
    DestroyWindow(hwnd);
    EXPECT_TRUE(DeleteSoon(TempPath(L"vx_child_worker.exe")));
}

}  // namespace
