#include "support/RemoteProgram.h"

#include <commctrl.h>

namespace testsupport {

namespace {

const SIZE_T kRemoteSize = 4096;

struct FindContext
{
    DWORD dwProcessId;
    HWND hwnd;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lParam)
{
    FindContext* pContext = reinterpret_cast<FindContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[64];
    if (pid == pContext->dwProcessId && IsWindowVisible(hwnd) &&
        GetWindowTextW(hwnd, title, 64) > 0 && lstrcmpW(title, L"Vantix") == 0) {
        pContext->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

CRemoteProgram::CRemoteProgram() : m_hProcess(NULL), m_dwProcessId(0), m_hwnd(NULL), m_pRemote(NULL)
{
}

CRemoteProgram::~CRemoteProgram()
{
    if (m_hProcess != NULL) {
        if (m_pRemote != NULL)
            VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
        // A test that failed half-way must not leave the program running.
        if (WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) {
            if (m_hwnd != NULL)
                PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
            if (WaitForSingleObject(m_hProcess, 15000) == WAIT_TIMEOUT)
                TerminateProcess(m_hProcess, 1);
        }
        CloseHandle(m_hProcess);
    }
}

bool CRemoteProgram::Start(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_dwProcessId = pi.dwProcessId;

    bool bFound = WaitFor([this] {
        FindContext context = {m_dwProcessId, NULL};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&context));
        m_hwnd = context.hwnd;
        return m_hwnd != NULL || WaitForSingleObject(m_hProcess, 0) != WAIT_TIMEOUT;
    });
    if (!bFound || m_hwnd == NULL)
        return false;
    // The window is shown after its first refresh; wait until it answers.
    DWORD_PTR result;
    SendMessageTimeoutW(m_hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
    m_pRemote = RemoteAlloc(kRemoteSize);
    return m_pRemote != NULL;
}

void* CRemoteProgram::RemoteAlloc(SIZE_T cb) const
{
    return VirtualAllocEx(m_hProcess, NULL, cb, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

int CRemoteProgram::RowCount() const
{
    return static_cast<int>(SendMessageW(Control(1000), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring CRemoteProgram::RowText(int nRow, int nColumn) const
{
    // The list reads and writes the item structure in its own process.
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    const SIZE_T cchText = (kRemoteSize - sizeof(item)) / sizeof(wchar_t);
    char* pRemote = static_cast<char*>(m_pRemote);
    item.iSubItem = nColumn;
    item.pszText = reinterpret_cast<LPWSTR>(pRemote + sizeof(item));
    item.cchTextMax = static_cast<int>(cchText);
    if (!WriteProcessMemory(m_hProcess, pRemote, &item, sizeof(item), NULL))
        return L"";
    LRESULT n = SendMessageW(Control(1000), LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(pRemote));
    std::vector<wchar_t> text(cchText + 1, 0);
    if (n <= 0 || !ReadProcessMemory(m_hProcess, item.pszText, text.data(), cchText * sizeof(wchar_t), NULL))
        return L"";
    text[cchText] = 0;
    return std::wstring(text.data());
}

int CRemoteProgram::FindRow(const std::wstring& name) const
{
    int n = RowCount();
    for (int i = 0; i < n; ++i) {
        if (RowText(i, 0) == name)
            return i;
    }
    return -1;
}

bool CRemoteProgram::SelectRow(int nRow) const
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (!WriteProcessMemory(m_hProcess, m_pRemote, &item, sizeof(item), NULL))
        return false;
    return SendMessageW(Control(1000), LVM_SETITEMSTATE, nRow, reinterpret_cast<LPARAM>(m_pRemote)) != 0;
}

int CRemoteProgram::RowImage(int nRow) const
{
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    if (!WriteProcessMemory(m_hProcess, m_pRemote, &item, sizeof(item), NULL))
        return -2;
    if (!SendMessageW(Control(1000), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(m_pRemote)))
        return -2;
    if (!ReadProcessMemory(m_hProcess, m_pRemote, &item, sizeof(item), NULL))
        return -2;
    return item.iImage;
}

int CRemoteProgram::SelectedRow() const
{
    return static_cast<int>(SendMessageW(Control(1000), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         LVNI_SELECTED));
}

int CRemoteProgram::HeaderFormat(int nColumn) const
{
    HWND hHeader = reinterpret_cast<HWND>(SendMessageW(Control(1000), LVM_GETHEADER, 0, 0));
    HDITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = HDI_FORMAT;
    if (!WriteProcessMemory(m_hProcess, m_pRemote, &item, sizeof(item), NULL) ||
        !SendMessageW(hHeader, HDM_GETITEMW, nColumn, reinterpret_cast<LPARAM>(m_pRemote)) ||
        !ReadProcessMemory(m_hProcess, m_pRemote, &item, sizeof(item), NULL))
        return -1;
    return item.fmt;
}

bool CRemoteProgram::ClickHeader(int nColumn) const
{
    HWND hHeader = reinterpret_cast<HWND>(SendMessageW(Control(1000), LVM_GETHEADER, 0, 0));
    RECT rc;
    if (!SendMessageW(hHeader, HDM_GETITEMRECT, nColumn, reinterpret_cast<LPARAM>(m_pRemote)) ||
        !ReadProcessMemory(m_hProcess, m_pRemote, &rc, sizeof(rc), NULL))
        return false;
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(hHeader, WM_MOUSEMOVE, 0, at);
    SendMessageW(hHeader, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(hHeader, WM_LBUTTONUP, 0, at);
    return true;
}

bool CRemoteProgram::WaitForExit(DWORD timeoutMs)
{
    return WaitForSingleObject(m_hProcess, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace testsupport
