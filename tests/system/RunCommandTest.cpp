#include "base/KernelHandle.h"
#include "support/TestSupport.h"
#include "uninstall/UninstallWorker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>

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

std::wstring ChildCommand(const std::wstring& steps)
{
    return L"\"" + ExeDir() + L"\\vx_child.exe\" " + steps;
}

DWORD RunStored(const std::wstring& command, bool b64BitView = false)
{
    return RunCommandAndWait(CWideString(command.c_str()), b64BitView, NULL, NULL);
}

// A test that leaves a child running waits for its marker, so that no child
// outlives its test.
class RunCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteFileW(m_strMarker.c_str()); }
    void TearDown() override { DeleteFileW(m_strMarker.c_str()); }

    bool MarkerExists() const { return GetFileAttributesW(m_strMarker.c_str()) != INVALID_FILE_ATTRIBUTES; }
    bool RanOnce(DWORD dwResult)
    {
        const bool bRan = dwResult == ERROR_SUCCESS && MarkerExists();
        DeleteFileW(m_strMarker.c_str());
        return bRan;
    }

    const std::wstring m_strMarker = TempPath(L"vx_run_marker.txt");
    const std::wstring m_strMarkerStep = L" marker \"" + m_strMarker + L"\"";
};

// The program's own exit code is its business; a command that cannot start
// gives the reason. A bare program name is the system's program, never one
// in this program's folder or the current folder, whatever PATH says.
TEST_F(RunCommandTest, StartsTheProgramTheCommandNamesOrGivesTheError)
{
    EXPECT_TRUE(RanOnce(RunStored(ChildCommand(m_strMarkerStep + L" exit 42"))));
    for (const wchar_t* command : {L"C:\\vx-missing\\nothing.exe /x", L"\"C:\\vx missing\\unterminated.exe /x", L"\"\"",
                                   L"C:\\windows", L"C:\\windows\\win.ini", L"%SystemRoot%\\notepad.exe", L""})
        EXPECT_NE(0u, RunStored(command)) << command;

    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    std::wstring path(GetEnvironmentVariableW(L"PATH", NULL, 0), L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", &path[0], static_cast<DWORD>(path.size())));
    SetCurrentDirectoryW(ExeDir().c_str());
    SetEnvironmentVariableW(L"PATH", L".;;vx");
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), RunStored(L"vx_child.exe" + m_strMarkerStep));
    EXPECT_FALSE(MarkerExists());
    SetEnvironmentVariableW(L"PATH", (L".;" + ExeDir()).c_str());
    EXPECT_TRUE(RanOnce(RunStored(L"vx_child" + m_strMarkerStep))) << "found through PATH, \".exe\" added";
    SetEnvironmentVariableW(L"PATH", path.c_str());
    SetCurrentDirectoryW(saved);
}

// Windows refuses to start a program that asks for elevation, Wine never
// does: the shell's "runas" then starts it, given the program and the
// parameters that CreateProcessW would have read, and is waited for.
TEST_F(RunCommandTest, ElevationGoesThroughTheShell)
{
    SetStartRefusalForTests([](bool bElevated) -> DWORD { return bElevated ? 0 : ERROR_ELEVATION_REQUIRED; });
    const std::wstring out = TempPath(L"vx_elevated.txt"), folder = TempPath(L"vx elevated");
    const std::wstring copy = folder + L"\\vx_record_args.exe";
    CreateDirectoryW(folder.c_str(), NULL);
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\vx_record_args.exe").c_str(), copy.c_str(), FALSE));
    const std::pair<std::wstring, const char*> cases[] = {
        {L"\"" + copy + L"\" \"" + out + L"\" a \"b c\"", "a\nb c\n"},
        {copy + L"  \"" + out + L"\" d", "d\n"}};
    for (const auto& [command, recorded] : cases) {
        DeleteFileW(out.c_str());
        EXPECT_EQ(0u, RunStored(command)) << command;
        std::ifstream in(out.c_str());
        EXPECT_EQ(recorded, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    DeleteFileW(out.c_str());
    SetStartRefusalForTests(NULL);
    EXPECT_TRUE(DeleteSoon(copy));
    RemoveDirectoryW(folder.c_str());
}

// An entry of the 64-bit registry view that names the system folder, by path
// or by a bare name, means the 64-bit system folder, which file-system
// redirection hides from a 32-bit program.
TEST_F(RunCommandTest, SixtyFourBitEntriesRunTheSixtyFourBitSystemPrograms)
{
    wchar_t system[MAX_PATH], windows[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    BOOL bWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &bWow64);
    // Where a 32-bit program reaches the 64-bit system folder.
    const std::wstring native = (bWow64 ? windows + std::wstring(L"\\Sysnative") : system) + L"\\vx_native_probe.exe";
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\vx_child.exe").c_str(), native.c_str(), FALSE));
    for (const std::wstring& program : {system + std::wstring(L"\\vx_native_probe.exe"), std::wstring(L"vx_native_probe")}) {
        for (bool b64BitView : {true, false})
            EXPECT_EQ(b64BitView || !bWow64, RanOnce(RunStored(program + m_strMarkerStep, b64BitView))) << program << b64BitView;
    }
    EXPECT_TRUE(DeleteSoon(native));
}

// A message-only window stands in for the program list. The worker posts its
// id and the error once the uninstaller and all it started have ended, or once
// the stop event is set, before the start or after the first process has gone.
TEST_F(RunCommandTest, TheWorkerPostsDoneOnceWhatTheUninstallerStartedHasEnded)
{
    HWND hwnd = CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    // When the stop event is set (-1: no event), the error posted.
    const std::pair<int, DWORD> cases[] = {{-1, ERROR_SUCCESS}, {0, ERROR_SUCCESS}, {1000, ERROR_SUCCESS},
                                           {-1, ERROR_FILE_NOT_FOUND}};
    for (WPARAM nId = 0; nId < 4; ++nId) {
        const auto [nStopMs, error] = cases[nId];
        SCOPED_TRACE(nId);
        DeleteFileW(m_strMarker.c_str());
        const std::wstring copy = L"vx_child_worker" + std::to_wstring(nId) + L".exe";
        const std::wstring command = error == ERROR_SUCCESS
                                         ? ChildCommand(L"relaunch-from-temp " + copy + L" sleep 2000" + m_strMarkerStep)
                                         : L"C:\\vx-missing\\nothing.exe";
        CKernelHandle hStop(CreateEventW(NULL, TRUE, nStopMs == 0, NULL));
        HANDLE hThread = StartUninstallWorker(hwnd, nId, nStopMs >= 0 ? hStop.Get() : NULL,
                                              CWideString(command.c_str()), false);
        ASSERT_TRUE(hThread != NULL);
        if (nStopMs > 0) {
            Sleep(nStopMs);
            SetEvent(hStop);
        }
        MSG msg = {};
        EXPECT_TRUE(Eventually([&] {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_POSTMESSAGE);
            return PeekMessageW(&msg, hwnd, WM_UNINSTALL_DONE, WM_UNINSTALL_DONE, PM_REMOVE) != FALSE;
        }));
        EXPECT_EQ(nId, msg.wParam);
        EXPECT_EQ(error, static_cast<DWORD>(msg.lParam));
        EXPECT_EQ(nStopMs < 0 && error == ERROR_SUCCESS, MarkerExists());
        // The thread handle is the caller's; the worker closed only its own copy of the event.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 5000));
        EXPECT_TRUE(CloseHandle(hThread));
        EXPECT_TRUE(hStop.Close());
        if (error == ERROR_SUCCESS) {
            EXPECT_TRUE(Eventually([this] { return MarkerExists(); }));
            EXPECT_TRUE(DeleteSoon(TempPath(copy)));
        }
    }
    DestroyWindow(hwnd);
}

}  // namespace
