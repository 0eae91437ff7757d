#include "app/UninstallerApp.h"

#include "res/resource.h"
#include "ui/ProgramListDlg.h"

CUninstallerApp theApp;

CUninstallerApp::CUninstallerApp() : CWinApp(NULL), m_hAccel(NULL)
{
}

CUninstallerApp::~CUninstallerApp()
{
}

BOOL CUninstallerApp::InitInstance()
{
    Enable3dControls();
    m_hAccel = LoadAcceleratorsW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_ACCELERATORS));

    CProgramListDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = NULL;
    // No message loop of our own: returning FALSE ends the program.
    return FALSE;
}

BOOL CUninstallerApp::ProcessMessageFilter(int code, LPMSG lpMsg)
{
    // Offered every message the dialog's keyboard handling sees, so F5 works
    // whichever control has the focus.
    if (m_hAccel != NULL && m_pMainWnd != NULL && m_pMainWnd->GetSafeHwnd() != NULL &&
        TranslateAcceleratorW(m_pMainWnd->GetSafeHwnd(), m_hAccel, lpMsg))
        return TRUE;
    return CWinApp::ProcessMessageFilter(code, lpMsg);
}
