#include "uninstall/UninstallWorker.h"

#include <process.h>

#include <memory>
#include <new>

#include "uninstall/KernelHandle.h"

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
    enum Result { JOB_EMPTY, STOPPED, FAILED };

    CJobWatch() : m_hWait(NULL) {}
    ~CJobWatch();
    CJobWatch(const CJobWatch&) = delete;
    CJobWatch& operator=(const CJobWatch&) = delete;

    bool Create();
    bool Assign(HANDLE hProcess) { return AssignProcessToJobObject(m_job, hProcess) != FALSE; }
    // Makes a signalled hStop end Wait() with STOPPED.
    bool WatchStop(HANDLE hStop);
    Result Wait();

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

CJobWatch::Result CJobWatch::Wait()
{
    for (;;) {
        DWORD nMessage = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED pOverlapped = NULL;
        if (!GetQueuedCompletionStatus(m_port, &nMessage, &key, &pOverlapped, INFINITE))
            return FAILED;
        if (key == KEY_STOP)
            return STOPPED;
        if (key == KEY_JOB && nMessage == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            return JOB_EMPTY;
    }
}

DWORD ExitCodeOf(HANDLE hProcess)
{
    DWORD code = 0;
    if (!GetExitCodeProcess(hProcess, &code))
        return GetLastError();
    return code;
}

DWORD WaitForProcess(HANDLE hProcess, HANDLE hExtra)
{
    HANDLE handles[2] = { hProcess, hExtra };
    const DWORD count = hExtra != NULL ? 2 : 1;
    if (WaitForMultipleObjects(count, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        return STILL_ACTIVE;
    return ExitCodeOf(hProcess);
}

// The child was created suspended, so that it is in the job before it can
// start anything.
DWORD ResumeAndWait(HANDLE hProcess, HANDLE hThread, HANDLE hExtra)
{
    CJobWatch job;
    // Without a job (this program may itself run in one that allows no other),
    // only the first process can be waited for.
    const bool bJob = job.Create() && job.Assign(hProcess) &&
                      (hExtra == NULL || job.WatchStop(hExtra));
    if (ResumeThread(hThread) == static_cast<DWORD>(-1)) {
        DWORD error = GetLastError();
        // It has not run a single instruction: nothing of the uninstaller is cut short.
        TerminateProcess(hProcess, error);
        return error;
    }
    if (bJob) {
        switch (job.Wait()) {
        case CJobWatch::JOB_EMPTY:
            return ExitCodeOf(hProcess);
        case CJobWatch::STOPPED:
            return STILL_ACTIVE;
        case CJobWatch::FAILED:
            break;
        }
    }
    return WaitForProcess(hProcess, hExtra);
}

void CloseStopEvent(UninstallJob& job)
{
    if (job.hStopEvent != NULL) {
        CloseHandle(job.hStopEvent);
        job.hStopEvent = NULL;
    }
}

}  // namespace

DWORD RunCommandAndWait(const CWideString& commandLine, unsigned options, HANDLE hExtra)
{
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    if (options & RUN_HIDDEN) {
        si.dwFlags |= STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));

    // CreateProcessW may write into its command line.
    std::unique_ptr<wchar_t[]> pCommand(new (std::nothrow) wchar_t[commandLine.GetLength() + 1]);
    if (!pCommand)
        return ERROR_NOT_ENOUGH_MEMORY;
    // An empty string may hold no buffer at all.
    lstrcpyW(pCommand.get(), commandLine.GetText() != NULL ? commandLine.GetText() : L"");

    const bool bWait = (options & RUN_NO_WAIT) == 0;
    const DWORD flags = NORMAL_PRIORITY_CLASS | (bWait ? CREATE_SUSPENDED : 0);
    if (!CreateProcessW(NULL, pCommand.get(), NULL, NULL, TRUE, flags, NULL, NULL, &si, &pi))
        return GetLastError();

    CKernelHandle hProcess(pi.hProcess);
    CKernelHandle hThread(pi.hThread);
    const DWORD result = bWait ? ResumeAndWait(hProcess, hThread, hExtra) : 0;
    hThread.Close();
    hProcess.Close();
    return result;
}

unsigned __stdcall UninstallThreadProc(void* pParam)
{
    UninstallJob* pJob = static_cast<UninstallJob*>(pParam);
    RunCommandAndWait(pJob->strCommand, 0, pJob->hStopEvent);
    CloseStopEvent(*pJob);
    // Has no effect when the window is already gone.
    PostMessageW(pJob->hwndOwner, WM_UNINSTALL_DONE, 0, 0);
    delete pJob;
    return 0;
}

HANDLE StartUninstallWorker(HWND hwndOwner, HANDLE hStopEvent, const CWideString& command)
{
    UninstallJob* pJob = new (std::nothrow) UninstallJob;
    if (pJob == NULL)
        return NULL;
    pJob->hwndOwner = hwndOwner;
    pJob->hStopEvent = NULL;
    pJob->strCommand = command;

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
