#pragma once

#include "framework/Wnd.h"

#include <windows.h>

// The application object. The program defines exactly one, as a static
// object; its constructor registers it for AfxGetApp and AfxWinMain.
class CWinApp
{
public:
    explicit CWinApp(LPCWSTR pszAppName = NULL);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // FALSE ends the program without entering Run.
    virtual BOOL InitInstance();
    // The program's exit code.
    virtual int ExitInstance();
    // The message loop; answers ExitInstance's result.
    virtual int Run();
    // Offered every message that reaches the thread's WH_MSGFILTER hook
    // (dialog boxes, menus); TRUE when the message has been consumed.
    virtual BOOL ProcessMessageFilter(int code, LPMSG lpMsg);

    // Nothing to do on systems that draw three-dimensional controls themselves.
    BOOL Enable3dControls();

    LPCWSTR m_pszAppName;  // as given to the constructor
    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;  // borrowed

protected:
    int m_nExitCode;  // WM_QUIT's code once Run has seen it
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module holding the program's resources: the program itself.
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCWSTR lpszName, LPCWSTR lpszType);

// The thread's WH_MSGFILTER hook, which hands messages to the application
// object's ProcessMessageFilter. AfxWinMain installs and removes it; tests
// that run dialogs without AfxWinMain do the same.
BOOL AfxInstallMessageFilterHook();
BOOL AfxRemoveMessageFilterHook();

// Common controls, the hook, InitInstance, then Run or ExitInstance.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
