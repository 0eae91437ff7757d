#include "uninstall/UninstallWorker.h"

#include <objbase.h>
#include <process.h>
#include <shellapi.h>

#include <memory>
#include <new>

#include "base/KernelHandle.h"
#include "uninstall/CommandLine.h"

namespace {

// Completion keys of the packets on a CJobWatch's port.
const ULONG_PTR KEY_JOB = 1;
const ULONG_PTR KEY_STOP = 2;

// A job whose completion port reports when its last process has ended.
// Uninstallers often start a copy of themselves and exit at once (NSIS runs
// its copy from %TEMP%), so the first process's end is not the uninstaller's.
// The job has no kill limit: closing it leaves its processes running.
class CJobWatch
{
public:
    CJobWatch() : m_hWait(NULL) {}
    ~CJobWatch();
    CJobWatch(const CJobWatch&) = delete;
    CJobWatch& operator=(const CJobWatch&) = delete;

    bool Create();
    bool Assign(HANDLE hProcess) { return AssignProcessToJobObject(m_job, hProcess) != FALSE; }
    // Makes a signalled hStop end Wait().
    bool WatchStop(HANDLE hStop);
    // True once the job is empty or hStop is signalled; false when the port fails.
    bool Wait();

private:
    static VOID CALLBACK OnStopSignalled(PVOID pPort, BOOLEAN bTimedOut);

    CKernelHandle m_job;
    CKernelHandle m_port;
    HANDLE m_hWait;
};

CJobWatch::~CJobWatch()
{
    // INVALID_HANDLE_VALUE waits for a running callback, so nothing is ever
    // posted to the port after it is closed.
    if (m_hWait != NULL)
        UnregisterWaitEx(m_hWait, INVALID_HANDLE_VALUE);
}

bool CJobWatch::Create()
{
    m_job.Attach(CreateJobObjectW(NULL, NULL));
    if (m_job == NULL)
        return false;
    m_port.Attach(CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1));
    if (m_port == NULL)
        return false;

    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port;
    port.CompletionKey = reinterpret_cast<PVOID>(KEY_JOB);
    port.CompletionPort = m_port;
    if (!SetInformationJobObject(m_job, JobObjectAssociateCompletionPortInformation, &port,
                                 sizeof(port)))
        return false;

    // A process that asks to leave the job must not fail to start because of
    // it; it only drops out of the wait.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof(limits));
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    return SetInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof(limits)) != FALSE;
}

bool CJobWatch::WatchStop(HANDLE hStop)
{
    return RegisterWaitForSingleObject(&m_hWait, hStop, OnStopSignalled, m_port.Get(), INFINITE,
                                       WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD) != FALSE;
}

VOID CALLBACK CJobWatch::OnStopSignalled(PVOID pPort, BOOLEAN)
{
    PostQueuedCompletionStatus(static_cast<HANDLE>(pPort), 0, KEY_STOP, NULL);
}

bool CJobWatch::Wait()
{
    for (;;) {
        DWORD nMessage = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED pOverlapped = NULL;
        if (!GetQueuedCompletionStatus(m_port, &nMessage, &key, &pOverlapped, INFINITE))
            return false;
        if (key == KEY_STOP)
            return true;
        if (key == KEY_JOB && nMessage == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            return true;
    }
}

StartRefusalFn s_pfnStartRefusal = NULL;

// Waits until the process, and in the job everything it starts, has ended,
// or until hStop is signalled. hThread is the process's first thread when it
// was created suspended, so that it is in the job before it can start
// anything; NULL for a process that already runs.
DWORD WaitForUninstaller(HANDLE hProcess, HANDLE hThread, HANDLE hStop)
{
    CJobWatch job;
    // Without a job (this program may itself run in one that allows no other),
    // only the first process can be waited for.
    const bool bJob = job.Create() && job.Assign(hProcess) && (hStop == NULL || job.WatchStop(hStop));
    if (hThread != NULL && ResumeThread(hThread) == static_cast<DWORD>(-1)) {
        DWORD error = GetLastError();
        // It has not run a single instruction: nothing of the uninstaller is cut short.
        TerminateProcess(hProcess, error);
        return error;
    }
    if (bJob && job.Wait())
        return ERROR_SUCCESS;
    HANDLE handles[2] = {hProcess, hStop};
    WaitForMultipleObjects(hStop != NULL ? 2 : 1, handles, FALSE, INFINITE);
    return ERROR_SUCCESS;
}

template <class Function>
Function Kernel32Function(const char* pszName)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), pszName)));
}

// Turns the calling thread's file-system redirection off while it lives, when
// asked to and the process runs under WOW64 (Windows 2000 has no such calls).
class CNativeFileSystem
{
public:
    explicit CNativeFileSystem(bool bWanted);
    ~CNativeFileSystem();
    CNativeFileSystem(const CNativeFileSystem&) = delete;
    CNativeFileSystem& operator=(const CNativeFileSystem&) = delete;

private:
    typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
    typedef BOOL(WINAPI* DisableFn)(PVOID*);
    typedef BOOL(WINAPI* RevertFn)(PVOID);

    RevertFn m_pfnRevert;
    PVOID m_pOldValue;
};

CNativeFileSystem::CNativeFileSystem(bool bWanted) : m_pfnRevert(NULL), m_pOldValue(NULL)
{
    const IsWow64ProcessFn pfnIsWow64 = Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
    const DisableFn pfnDisable = Kernel32Function<DisableFn>("Wow64DisableWow64FsRedirection");
    BOOL bWow64 = FALSE;
    if (bWanted && pfnIsWow64 != NULL && pfnDisable != NULL && pfnIsWow64(GetCurrentProcess(), &bWow64) &&
        bWow64 && pfnDisable(&m_pOldValue))
        m_pfnRevert = Kernel32Function<RevertFn>("Wow64RevertWow64FsRedirection");
}

CNativeFileSystem::~CNativeFileSystem()
{
    if (m_pfnRevert != NULL)
        m_pfnRevert(m_pOldValue);
}

DWORD CreateSuspended(const CCommandLine& command, const CWideString& application, bool bNative64,
                      PROCESS_INFORMATION& pi)
{
    const DWORD refusal = s_pfnStartRefusal != NULL ? s_pfnStartRefusal(false) : ERROR_SUCCESS;
    if (refusal != ERROR_SUCCESS)
        return refusal;
    // CreateProcessW may write into its command line.
    std::unique_ptr<wchar_t[]> pCommand(new (std::nothrow) wchar_t[lstrlenW(command.GetText()) + 1]);
    if (!pCommand)
        return ERROR_NOT_ENOUGH_MEMORY;
    lstrcpyW(pCommand.get(), command.GetText());
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    const CNativeFileSystem nativeFiles(bNative64);
    if (!CreateProcessW(application.IsEmpty() ? NULL : application.GetText(), pCommand.get(), NULL, NULL, TRUE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, NULL, NULL, &si, &pi))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD StartElevated(const CWideString& file, const wchar_t* pszParameters, HWND hwndOwner, HANDLE& hProcess)
{
    const DWORD refusal = s_pfnStartRefusal != NULL ? s_pfnStartRefusal(true) : ERROR_SUCCESS;
    if (refusal != ERROR_SUCCESS)
        return refusal;
    // The shell may hand the start to extensions that need COM.
    const HRESULT hrCom = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = hwndOwner;
    info.lpVerb = L"runas";
    info.lpFile = file.GetText();
    info.lpParameters = *pszParameters != 0 ? pszParameters : NULL;
    info.nShow = SW_SHOWNORMAL;
    const DWORD error = ShellExecuteExW(&info) ? ERROR_SUCCESS : GetLastError();
    if (SUCCEEDED(hrCom))
        CoUninitialize();
    hProcess = info.hProcess;
    return error;
}

void CloseStopEvent(UninstallJob& job)
{
    if (job.hStopEvent != NULL) {
        CloseHandle(job.hStopEvent);
        job.hStopEvent = NULL;
    }
}

}  // namespace

DWORD RunCommandAndWait(const CWideString& commandLine, bool b64BitView, HWND hwndOwner, HANDLE hStop)
{
    const CCommandLine command(commandLine);
    CWideString application;
    DWORD error = ERROR_SUCCESS;
    {
        // A bare name from the 64-bit view means the 64-bit system folder.
        const CNativeFileSystem nativeFiles(b64BitView);
        error = command.FindApplication(application);
    }
    if (error != ERROR_SUCCESS)
        return error;
    const bool bNative64 =
        b64BitView && IsInSystemFolder(application.IsEmpty() ? command.GetProgramToken() : application);
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    error = CreateSuspended(command, application, bNative64, pi);
    if (error == ERROR_SUCCESS) {
        const CKernelHandle hProcess(pi.hProcess);
        const CKernelHandle hThread(pi.hThread);
        return WaitForUninstaller(hProcess, hThread, hStop);
    }
    // A program whose manifest asks for administrator rights: the shell asks
    // the person, as it would for a double click.
    if (error != ERROR_ELEVATION_REQUIRED)
        return error;
    CWideString file;
    const wchar_t* pszParameters = NULL;
    command.SplitForShell(application, file, pszParameters);
    HANDLE hStarted = NULL;
    error = StartElevated(file, pszParameters, hwndOwner, hStarted);
    const CKernelHandle hProcess(hStarted);
    // Declining is the person's choice, not a failure to report.
    if (error == ERROR_CANCELLED)
        return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS || hProcess == NULL)
        return error;
    return WaitForUninstaller(hProcess, NULL, hStop);
}

unsigned __stdcall UninstallThreadProc(void* pParam)
{
    UninstallJob* pJob = static_cast<UninstallJob*>(pParam);
    const DWORD error = RunCommandAndWait(pJob->strCommand, pJob->b64BitView, pJob->hwndOwner, pJob->hStopEvent);
    CloseStopEvent(*pJob);
    // Has no effect when the window is already gone.
    PostMessageW(pJob->hwndOwner, WM_UNINSTALL_DONE, pJob->nId, static_cast<LPARAM>(error));
    delete pJob;
    return 0;
}

HANDLE StartUninstallWorker(HWND hwndOwner, WPARAM nId, HANDLE hStopEvent, const CWideString& command,
                            bool b64BitView)
{
    UninstallJob* pJob = new (std::nothrow) UninstallJob;
    if (pJob == NULL)
        return NULL;
    pJob->hwndOwner = hwndOwner;
    pJob->nId = nId;
    pJob->hStopEvent = NULL;
    pJob->strCommand = command;
    pJob->b64BitView = b64BitView;

    // The worker closes its own copy when it ends, whenever the window closes its event.
    const HANDLE hProcess = GetCurrentProcess();
    if (hStopEvent != NULL && !DuplicateHandle(hProcess, hStopEvent, hProcess, &pJob->hStopEvent,
                                               SYNCHRONIZE, FALSE, 0)) {
        delete pJob;
        return NULL;
    }

    uintptr_t hThread = _beginthreadex(NULL, 0, UninstallThreadProc, pJob, 0, NULL);
    if (hThread == 0) {
        CloseStopEvent(*pJob);
        delete pJob;
        return NULL;
    }
    return reinterpret_cast<HANDLE>(hThread);
}

void SetStartRefusalForTests(StartRefusalFn pfnRefusal)
{
    s_pfnStartRefusal = pfnRefusal;
}
