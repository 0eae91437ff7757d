#include "framework/App.h"

#include <commctrl.h>

namespace {

CWinApp* s_pApp = NULL;
HHOOK s_hMsgFilterHook = NULL;

LRESULT CALLBACK MsgFilterHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // Negative codes must go straight on to the next hook.
    if (code >= 0 && s_pApp != NULL) {
        try {
            if (s_pApp->ProcessMessageFilter(code, reinterpret_cast<LPMSG>(lParam)))
                return TRUE;
        } catch (...) {
        }
    }
    return ::CallNextHookEx(s_hMsgFilterHook, code, wParam, lParam);
}

}  // namespace

CWinApp::CWinApp(LPCWSTR pszAppName)
    : m_pszAppName(pszAppName), m_hInstance(::GetModuleHandleW(NULL)), m_pMainWnd(NULL), m_nExitCode(0)
{
    s_pApp = this;
}

CWinApp::~CWinApp()
{
    if (s_pApp == this)
        s_pApp = NULL;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

int CWinApp::Run()
{
    MSG msg;
    BOOL bResult;
    while ((bResult = ::GetMessageW(&msg, NULL, 0, 0)) != 0) {
        if (bResult == -1)
            return ExitInstance();
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

BOOL CWinApp::ProcessMessageFilter(int, LPMSG)
{
    return FALSE;
}

BOOL CWinApp::Enable3dControls()
{
    return TRUE;
}

CWinApp* AfxGetApp()
{
    return s_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    if (s_pApp != NULL && s_pApp->m_hInstance != NULL)
        return s_pApp->m_hInstance;
    return ::GetModuleHandleW(NULL);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

HINSTANCE AfxFindResourceHandle(LPCWSTR, LPCWSTR)
{
    return AfxGetResourceHandle();
}

BOOL AfxInstallMessageFilterHook()
{
    if (s_hMsgFilterHook != NULL)
        return TRUE;
    s_hMsgFilterHook = ::SetWindowsHookExW(WH_MSGFILTER, &MsgFilterHookProc, NULL, ::GetCurrentThreadId());
    return s_hMsgFilterHook != NULL;
}

BOOL AfxRemoveMessageFilterHook()
{
    if (s_hMsgFilterHook == NULL)
        return FALSE;
    BOOL bResult = ::UnhookWindowsHookEx(s_hMsgFilterHook);
    s_hMsgFilterHook = NULL;
    return bResult;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == NULL)
        return -1;
    pApp->m_hInstance = hInstance;

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    if (!::InitCommonControlsEx(&icc)) {
        // Common controls before version 6 know no ICC_STANDARD_CLASSES.
        icc.dwICC = ICC_LISTVIEW_CLASSES;
        ::InitCommonControlsEx(&icc);
    }

    AfxInstallMessageFilterHook();
    int nResult = pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
    AfxRemoveMessageFilterHook();
    return nResult;
}
