#include "window/WindowDriver.h"

#include "framework/Afx.h"
#include "res/resource.h"

#include <commctrl.h>

namespace {

const UINT WM_INVOKE = WM_APP + 1;

LRESULT CALLBACK InvokerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INVOKE)
        return DefWindowProcW(hWnd, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

void SendMouse(DWORD dwFlags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = dwFlags;
    SendInput(1, &input, sizeof(input));
}

}  // namespace

bool CProgramThread::Start()
{
    // Closed once the thread has ended: after a timeout here it may still
    // signal the event.
    m_hReady = CreateEventW(NULL, TRUE, FALSE, NULL);
    m_hEnded = CreateEventW(NULL, TRUE, FALSE, NULL);
    m_thread = std::thread(&CProgramThread::ThreadMain, this);
    return WaitForSingleObject(m_hReady, 60000) == WAIT_OBJECT_0 && m_hWnd != NULL;
}

void CProgramThread::Close()
{
    if (!m_thread.joinable())
        return;
    PostMessageW(m_hWnd, WM_COMMAND, IDC_CLOSE, 0);
    // Ends a modal box that a failed test left open, too.
    PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
    // A thread that hangs is left to the end of the process, with its events.
    if (WaitForSingleObject(m_hEnded, 15000) != WAIT_OBJECT_0) {
        m_thread.detach();
        return;
    }
    m_thread.join();
    CloseHandle(m_hReady);
    CloseHandle(m_hEnded);
}

void CProgramThread::Invoke(const std::function<void()>& fn) const
{
    SendMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&fn));
}

HCURSOR CProgramThread::Cursor() const
{
    HCURSOR hCursor = NULL;
    Invoke([&] { hCursor = GetCursor(); });
    return hCursor;
}

void CProgramThread::ThreadMain()
{
    m_dwThreadId = GetCurrentThreadId();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = InvokerProc;
    wc.lpszClassName = L"VantixTestInvoker";
    RegisterClassW(&wc);
    m_hInvoker = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    // Run by the modal loop, once the main window is up and shown.
    const std::function<void()> shown = [&] {
        m_hWnd = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
        SetEvent(m_hReady);
    };
    PostMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&shown));
    AfxWinMain(GetModuleHandleW(NULL), NULL, NULL, SW_SHOWNORMAL);
    SetEvent(m_hReady);
    DestroyWindow(m_hInvoker);
    SetEvent(m_hEnded);
}

std::wstring ListText(HWND hList, int nRow, int nColumn)
{
    wchar_t text[1024] = {};
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(hList, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListImage(HWND hList, int nRow)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    return ListView_GetItem(hList, &item) ? item.iImage : -2;
}

int FindRow(HWND hList, const std::wstring& name)
{
    for (int i = 0, n = ListView_GetItemCount(hList); i < n; ++i) {
        if (ListText(hList, i, 0) == name)
            return i;
    }
    return -1;
}

bool PointUntil(int x, int y, const std::function<bool()>& pred)
{
    for (int i = 0; i < 10; ++i) {
        SetCursorPos(x, y);
        // A move of nothing, so that the window under the pointer hears of it.
        SendMouse(MOUSEEVENTF_MOVE);
        if (WaitUntil(pred, 500))
            return true;
    }
    return false;
}

void ClickLeft()
{
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
}

bool WriteUninstallEntry(testsupport::CWrittenKeys& written, const std::wstring& name,
                         std::initializer_list<std::pair<const wchar_t*, std::wstring>> values, HKEY root,
                         REGSAM view)
{
    bool bWritten = true;
    for (const auto& value : values) {
        const DWORD cb = static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t));
        bWritten = bWritten && written.Set(root, testsupport::kUninstallKey + name, view, value.first, REG_SZ,
                                           value.second.c_str(), cb) == ERROR_SUCCESS;
    }
    return bWritten;
}
