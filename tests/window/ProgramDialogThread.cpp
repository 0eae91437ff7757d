#include "window/ProgramDialogThread.h"

#include "framework/Afx.h"
#include "res/resource.h"
#include "ui/ProgramListDlg.h"

#include <commctrl.h>

namespace {

const wchar_t kInvokerClass[] = L"VantixTestInvoker";
const UINT WM_INVOKE = WM_APP + 1;
const UINT WM_DIALOG_SHOWN = WM_APP + 2;

struct ShownContext
{
    CWnd* pDialog;
    HWND* phWnd;
    HANDLE hReady;
};

LRESULT CALLBACK InvokerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INVOKE) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    if (message == WM_DIALOG_SHOWN) {
        ShownContext* pContext = reinterpret_cast<ShownContext*>(lParam);
        *pContext->phWnd = pContext->pDialog->GetSafeHwnd();
        SetEvent(pContext->hReady);
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

CProgramDialogThread::~CProgramDialogThread()
{
    if (!m_thread.joinable())
        return;
    if (m_hWnd != NULL && IsWindow(m_hWnd)) {
        // A modal box still open would keep the window's loop from ending.
        EnumThreadWindows(m_dwThreadId, CancelOtherWindows, reinterpret_cast<LPARAM>(m_hWnd));
        PostMessageW(m_hWnd, WM_COMMAND, IDC_CLOSE, 0);
    }
    m_thread.join();
}

bool CProgramDialogThread::Start()
{
    HANDLE hReady = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (hReady == NULL)
        return false;
    m_thread = std::thread(&CProgramDialogThread::ThreadMain, this, hReady);
    bool bShown = WaitForSingleObject(hReady, 60000) == WAIT_OBJECT_0 && m_hWnd != NULL;
    CloseHandle(hReady);
    return bShown;
}

void CProgramDialogThread::Invoke(const std::function<void()>& fn) const
{
    SendMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&fn));
}

void CProgramDialogThread::ThreadMain(HANDLE hReady)
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
    // Handled by the modal loop, once the window is up and shown.
    ShownContext context = {&dlg, &m_hWnd, hReady};
    PostMessageW(m_hInvoker, WM_DIALOG_SHOWN, 0, reinterpret_cast<LPARAM>(&context));
    if (dlg.DoModal() == -1)
        SetEvent(hReady);
    app.m_pMainWnd = NULL;
    DestroyWindow(m_hInvoker);
}

void MoveMouse(int x, int y)
{
    SetCursorPos(x, y);
    // A move of nothing, so that the window under the cursor hears of it.
    SendMouse(MOUSEEVENTF_MOVE);
}

void PressLeft(bool bDown)
{
    SendMouse(bDown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
}

CClientPixels::CClientPixels(HWND hWnd)
{
    RECT rc;
    if (!GetClientRect(hWnd, &rc) || rc.right <= 0 || rc.bottom <= 0)
        return;
    m_cx = rc.right;
    m_cy = rc.bottom;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = m_cx;
    bmi.bmiHeader.biHeight = -m_cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* pBits = NULL;
    m_hBitmap = CreateDIBSection(NULL, &bmi, DIB_RGB_COLORS, &pBits, NULL, 0);
    if (m_hBitmap == NULL)
        return;
    HDC hdcWindow = GetDC(hWnd);
    HDC hdcMem = CreateCompatibleDC(hdcWindow);
    HGDIOBJ hOld = SelectObject(hdcMem, m_hBitmap);
    if (BitBlt(hdcMem, 0, 0, m_cx, m_cy, hdcWindow, 0, 0, SRCCOPY))
        m_pBits = static_cast<const DWORD*>(pBits);
    SelectObject(hdcMem, hOld);
    DeleteDC(hdcMem);
    ReleaseDC(hWnd, hdcWindow);
}

CClientPixels::~CClientPixels()
{
    if (m_hBitmap != NULL)
        DeleteObject(m_hBitmap);
}

COLORREF CClientPixels::At(int x, int y) const
{
    DWORD bgra = m_pBits[y * m_cx + x];
    return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
}

int CClientPixels::Count(const RECT& rc, COLORREF color) const
{
    int n = 0;
    for (int y = rc.top < 0 ? 0 : rc.top; y < rc.bottom && y < m_cy; ++y)
        for (int x = rc.left < 0 ? 0 : rc.left; x < rc.right && x < m_cx; ++x)
            n += At(x, y) == color;
    return n;
}
