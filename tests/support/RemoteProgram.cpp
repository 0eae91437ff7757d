#include "support/RemoteProgram.h"

#include <utility>

namespace testsupport {

namespace {

const SIZE_T kRemoteSize = 4096;

// lParam: the process id in, its visible window titled "Vantix" out.
BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lParam)
{
    std::pair<DWORD, HWND>* pFound = reinterpret_cast<std::pair<DWORD, HWND>*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[64];
    if (pid == pFound->first && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, title, 64) > 0 &&
        lstrcmpW(title, L"Vantix") == 0)
        pFound->second = hwnd;
    return pFound->second == NULL;
}

HWND HeaderOf(HWND hList)
{
    return reinterpret_cast<HWND>(SendMessageW(hList, LVM_GETHEADER, 0, 0));
}

}  // namespace

CRemoteProgram::~CRemoteProgram()
{
    if (m_hProcess == NULL)
        return;
    if (m_pRemote != NULL)
        VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
    if (WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) {
        if (m_hwnd != NULL)
            PostMessageW(m_hwnd, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(m_hProcess, 15000) == WAIT_TIMEOUT)
            TerminateProcess(m_hProcess, 1);
    }
    CloseHandle(m_hProcess);
}

bool CRemoteProgram::Start(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exePath + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_dwProcessId = pi.dwProcessId;

    WaitFor([this] {
        std::pair<DWORD, HWND> found(m_dwProcessId, NULL);
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&found));
        m_hwnd = found.second;
        return m_hwnd != NULL || WaitForSingleObject(m_hProcess, 0) != WAIT_TIMEOUT;
    });
    if (m_hwnd == NULL)
        return false;
    // The window shows after its first refresh; wait until it answers.
    DWORD_PTR result;
    SendMessageTimeoutW(m_hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
    m_pRemote = VirtualAllocEx(m_hProcess, NULL, kRemoteSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return m_pRemote != NULL;
}

bool CRemoteProgram::Exchange(HWND hTo, UINT message, WPARAM wParam, void* pData, SIZE_T cb) const
{
    return WriteProcessMemory(m_hProcess, m_pRemote, pData, cb, NULL) &&
           SendMessageW(hTo, message, wParam, reinterpret_cast<LPARAM>(m_pRemote)) != 0 &&
           ReadProcessMemory(m_hProcess, m_pRemote, pData, cb, NULL);
}

std::wstring CRemoteProgram::RowText(int nRow, int nColumn) const
{
    struct TextItem
    {
        LVITEMW item;
        wchar_t text[1024];
    } block = {};
    block.item.iSubItem = nColumn;
    block.item.pszText = reinterpret_cast<LPWSTR>(static_cast<char*>(m_pRemote) + offsetof(TextItem, text));
    block.item.cchTextMax = 1023;
    return Exchange(Control(1000), LVM_GETITEMTEXTW, nRow, &block, sizeof(block)) ? block.text : L"";
}

int CRemoteProgram::FindRow(const std::wstring& name) const
{
    for (int i = 0, n = RowCount(); i < n; ++i) {
        if (RowText(i, 0) == name)
            return i;
    }
    return -1;
}

bool CRemoteProgram::SelectRow(int nRow) const
{
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    return Exchange(Control(1000), LVM_SETITEMSTATE, nRow, &item, sizeof(item));
}

int CRemoteProgram::RowImage(int nRow) const
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    return Exchange(Control(1000), LVM_GETITEMW, 0, &item, sizeof(item)) ? item.iImage : -2;
}

int CRemoteProgram::HeaderFormat(int nColumn) const
{
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    return Exchange(HeaderOf(Control(1000)), HDM_GETITEMW, nColumn, &item, sizeof(item)) ? item.fmt : -1;
}

bool CRemoteProgram::ClickHeader(int nColumn) const
{
    HWND hHeader = HeaderOf(Control(1000));
    RECT rc = {};
    if (!Exchange(hHeader, HDM_GETITEMRECT, nColumn, &rc, sizeof(rc)))
        return false;
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(hHeader, WM_MOUSEMOVE, 0, at);
    SendMessageW(hHeader, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(hHeader, WM_LBUTTONUP, 0, at);
    return true;
}

}  // namespace testsupport
