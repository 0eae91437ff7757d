#include "bench/Probes.h"

#include "bench/Timer.h"

#include <commctrl.h>

#include <vector>

namespace {

class CHandle
{
public:
    explicit CHandle(HANDLE h = NULL) : m_h(h) {}
    ~CHandle() { Close(); }
    void Close()
    {
        if (m_h != NULL && m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = NULL;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE* Receive()
    {
        Close();
        return &m_h;
    }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

struct FindState
{
    DWORD dwProcessId;
    HWND hwndTop;
    HWND hwndList;
};

BOOL CALLBACK FindListChild(HWND hwnd, LPARAM lParam)
{
    wchar_t className[32];
    if (GetClassNameW(hwnd, className, 32) && lstrcmpiW(className, WC_LISTVIEWW) == 0) {
        reinterpret_cast<FindState*>(lParam)->hwndList = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindTopWindow(HWND hwnd, LPARAM lParam)
{
    FindState* pState = reinterpret_cast<FindState*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hwnd, &dwProcessId);
    if (dwProcessId != pState->dwProcessId || !IsWindowVisible(hwnd))
        return TRUE;
    EnumChildWindows(hwnd, FindListChild, lParam);
    if (pState->hwndList == NULL)
        return TRUE;
    pState->hwndTop = hwnd;
    return FALSE;
}

int RowCount(HWND hwndList)
{
    DWORD_PTR nRows = 0;
    if (!SendMessageTimeoutW(hwndList, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &nRows))
        return -1;
    return static_cast<int>(nRows);
}

void Close(HANDLE hProcess, HWND hwndTop)
{
    if (hwndTop != NULL)
        PostMessageW(hwndTop, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(hProcess, 1);
        WaitForSingleObject(hProcess, 5000);
    }
}

}  // namespace

ProbeResult TimeToFilledList(const std::wstring& commandLine, int nExpectedRows, DWORD timeoutMs)
{
    ProbeResult result = {false, 0, -1};
    std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
    command.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    CTimer timer;
    if (!CreateProcessW(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return result;
    CHandle process(pi.hProcess);
    CHandle thread(pi.hThread);

    FindState state = {pi.dwProcessId, NULL, NULL};
    while (timer.Seconds() * 1000 < timeoutMs) {
        if (state.hwndList == NULL)
            EnumWindows(FindTopWindow, reinterpret_cast<LPARAM>(&state));
        if (state.hwndList != NULL) {
            result.nRows = RowCount(state.hwndList);
            if (result.nRows >= nExpectedRows) {
                result.seconds = timer.Seconds();
                result.bOk = true;
                break;
            }
        }
        if (WaitForSingleObject(process.Get(), 1) == WAIT_OBJECT_0)
            break;
    }
    Close(process.Get(), state.hwndTop);
    return result;
}

int CountOutputLines(const std::wstring& commandLine, DWORD timeoutMs)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    CHandle read;
    CHandle write;
    if (!CreatePipe(read.Receive(), write.Receive(), &sa, 0) ||
        !SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0))
        return -1;
    std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
    command.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write.Get();
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(NULL, command.data(), NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi))
        return -1;
    CHandle process(pi.hProcess);
    CHandle thread(pi.hThread);
    // Our copy of the write end must go, or the reads below never end.
    write.Close();

    // Polled rather than read until the end: a Wine helper process that
    // inherited the pipe may hold it open after the child has ended.
    CTimer timer;
    int nLines = 0;
    char buffer[4096];
    for (;;) {
        const bool bEnded = WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
        DWORD cbAvailable = 0;
        if (!PeekNamedPipe(read.Get(), NULL, 0, NULL, &cbAvailable, NULL))
            break;  // every writer has gone
        if (cbAvailable > 0) {
            DWORD cbRead = 0;
            if (!ReadFile(read.Get(), buffer, cbAvailable < sizeof(buffer) ? cbAvailable : sizeof(buffer),
                          &cbRead, NULL))
                break;
            for (DWORD i = 0; i < cbRead; ++i)
                nLines += buffer[i] == '\n';
            continue;
        }
        if (bEnded)
            break;
        if (timer.Seconds() * 1000 > timeoutMs)
            break;
        Sleep(10);
    }
    const double msLeft = timeoutMs - timer.Seconds() * 1000;
    if (WaitForSingleObject(process.Get(), msLeft > 0 ? static_cast<DWORD>(msLeft) : 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return -1;
    }
    return nLines;
}
