#include "window/ProgramDialogThread.h"

#include "framework/Afx.h"
#include "res/resource.h"
#include "ui/ProgramListDlg.h"

#include <commctrl.h>

namespace {

const wchar_t kInvokerClass[] = L"VantixTestInvoker";
const UINT WM_INVOKE = WM_APP + 1;

LRESULT CALLBACK InvokerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INVOKE) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

BOOL CALLBACK CancelOtherWindows(HWND hWnd, LPARAM lParam)
{
    if (hWnd != reinterpret_cast<HWND>(lParam) && IsWindowVisible(hWnd))
        PostMessageW(hWnd, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void SendMouse(DWORD dwFlags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = dwFlags;
    SendInput(1, &input, sizeof(input));
}

}  // namespace

void CProgramDialogThread::Close()
{
    if (!m_thread.joinable())
        return;
    if (m_hWnd != NULL && IsWindow(m_hWnd)) {
        // A modal box still open would keep the window's loop from ending.
        EnumThreadWindows(m_dwThreadId, CancelOtherWindows, reinterpret_cast<LPARAM>(m_hWnd));
        PostMessageW(m_hWnd, WM_COMMAND, IDC_CLOSE, 0);
    }
    m_thread.join();
    CloseHandle(m_hReady);
    m_hReady = NULL;
}

bool CProgramDialogThread::Start()
{
    // Closed once the thread has ended: after a timeout here it may still
    // signal the event.
    m_hReady = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hReady == NULL)
        return false;
    m_thread = std::thread(&CProgramDialogThread::ThreadMain, this);
    return WaitForSingleObject(m_hReady, 60000) == WAIT_OBJECT_0 && m_hWnd != NULL;
}

void CProgramDialogThread::Invoke(const std::function<void()>& fn) const
{
    SendMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&fn));
}

HCURSOR CProgramDialogThread::Cursor() const
{
    HCURSOR hCursor = NULL;
    Invoke([&] { hCursor = GetCursor(); });
    return hCursor;
}

void CProgramDialogThread::ThreadMain()
{
    m_dwThreadId = GetCurrentThreadId();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = InvokerProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = kInvokerClass;
    RegisterClassW(&wc);
    m_hInvoker = CreateWindowW(kInvokerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);

    CWinApp app;
    CProgramListDlg dlg;
    app.m_pMainWnd = &dlg;
    // Run by the modal loop, once the window is up and shown.
    const std::function<void()> shown = [&] {
        m_hWnd = dlg.GetSafeHwnd();
        SetEvent(m_hReady);
    };
    PostMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&shown));
    if (dlg.DoModal() == -1)
        SetEvent(m_hReady);
    app.m_pMainWnd = NULL;
    DestroyWindow(m_hInvoker);
}

void MoveMouse(int x, int y)
{
    SetCursorPos(x, y);
    // A move of nothing, so that the window under the cursor hears of it.
    SendMouse(MOUSEEVENTF_MOVE);
}

void ClickLeft()
{
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
}

std::wstring ListItemText(HWND hList, int nRow, int nColumn)
{
    wchar_t text[1024] = {};
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(hList, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListItemImage(HWND hList, int nRow)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    return SendMessageW(hList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.iImage : -2;
}

int FindListRow(HWND hList, const std::wstring& name)
{
    for (int i = 0, n = ListView_GetItemCount(hList); i < n; ++i) {
        if (ListItemText(hList, i, 0) == name)
            return i;
    }
    return -1;
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
