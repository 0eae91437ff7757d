#include "framework/Dialog.h"

#include "framework/App.h"

namespace {

// Messages whose result is the dialog procedure's own return value rather
// than DWLP_MSGRESULT (WM_INITDIALOG too, which never reaches the map).
bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}

}  // namespace

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
{
}

HWND CDataExchange::PrepareCtrl(int nIDC) const
{
    return ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nIDC);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    // Every exchange runs this again; a handle left from an earlier showing
    // of the dialog is replaced.
    if (hWndCtrl == NULL || rControl.m_hWnd == hWndCtrl)
        return;
    if (rControl.HasMessageHandlers())
        rControl.SubclassWindow(hWndCtrl);
    else
        rControl.Attach(hWndCtrl);
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (hWndCtrl == NULL)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(hWndCtrl, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate),
      m_pParentWnd(pParentWnd),
      m_bContinueModal(false),
      m_nModalResult(-1),
      m_nDefaultMessage(0),
      m_bInDefault(false)
{
}

CDialog::~CDialog()
{
    // A modeless dialog still up: stop dispatching to this object first.
    if (IsBound()) {
        HWND hWnd = m_hWnd;
        UnbindWindow();
        ::DestroyWindow(hWnd);
    }
}

HWND CDialog::OwnerWindow(CWnd* pParentWnd) const
{
    if (pParentWnd != NULL)
        return pParentWnd->GetSafeHwnd();
    const CWinApp* pApp = AfxGetApp();
    if (pApp != NULL && pApp->m_pMainWnd != NULL && pApp->m_pMainWnd != this)
        return pApp->m_pMainWnd->GetSafeHwnd();
    return NULL;
}

bool CDialog::CreateBound(HWND hWndOwner)
{
    HWND hWnd = ::CreateDialogParamW(AfxFindResourceHandle(MAKEINTRESOURCEW(m_nIDTemplate), RT_DIALOG),
                                     MAKEINTRESOURCEW(m_nIDTemplate), hWndOwner, &CDialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (hWnd == NULL)
        return false;
    // A window that never reached WM_INITDIALOG has no object to run it.
    if (m_hWnd != hWnd) {
        ::DestroyWindow(hWnd);
        return false;
    }
    return true;
}

BOOL CDialog::Create(CWnd* pParentWnd)
{
    if (m_hWnd != NULL)
        return FALSE;
    return CreateBound(OwnerWindow(pParentWnd != NULL ? pParentWnd : m_pParentWnd));
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd != NULL)
        return -1;
    HWND hWndOwner = OwnerWindow(m_pParentWnd);
    // Disabled before the dialog exists, so it is already modal in OnInitDialog.
    bool bOwnerDisabled = false;
    if (hWndOwner != NULL && ::IsWindowEnabled(hWndOwner)) {
        ::EnableWindow(hWndOwner, FALSE);
        bOwnerDisabled = true;
    }
    m_nModalResult = -1;
    m_bContinueModal = true;
    if (!CreateBound(hWndOwner)) {
        if (bOwnerDisabled)
            ::EnableWindow(hWndOwner, TRUE);
        return -1;
    }
    if (m_bContinueModal && !IsWindowVisible())
        ShowWindow(SW_SHOWNORMAL);

    RunModalLoop();

    // The owner is enabled and activated before the dialog goes, so that the
    // activation does not pass to some other program's window.
    if (m_hWnd != NULL)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (bOwnerDisabled)
        ::EnableWindow(hWndOwner, TRUE);
    if (hWndOwner != NULL && m_hWnd != NULL && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hWndOwner);
    if (m_hWnd != NULL)
        DestroyWindow();
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bContinueModal && m_hWnd != NULL) {
        BOOL bResult = ::GetMessageW(&msg, NULL, 0, 0);
        if (bResult == -1)
            break;
        if (bResult == 0) {
            // WM_QUIT belongs to the loop outside this one.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        // IsDialogMessageW offers the message to the WH_MSGFILTER hook first
        // (MSGF_DIALOGBOX); that is where the application filters keys.
        if (!::IsDialogMessageW(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bContinueModal = false;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    if (m_hWnd == NULL)
        return FALSE;
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_hWnd == NULL)
        return 0;
    const UINT nSavedMessage = m_nDefaultMessage;
    const bool bSavedInDefault = m_bInDefault;
    m_nDefaultMessage = message;
    m_bInDefault = true;
    LRESULT lResult = ::DefDlgProcW(m_hWnd, message, wParam, lParam);
    m_nDefaultMessage = nSavedMessage;
    m_bInDefault = bSavedInDefault;
    return lResult;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG) {
            CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
            if (pDlg == NULL || !pDlg->BindWindow(hWnd))
                return FALSE;
            return pDlg->OnInitDialog();
        }

        CDialog* pDlg = dynamic_cast<CDialog*>(FromHandlePermanent(hWnd));
        if (pDlg == NULL)
            return FALSE;
        if (pDlg->m_bInDefault && pDlg->m_nDefaultMessage == message) {
            // Re-entered from DefWindowProc: let the dialog manager do its part.
            pDlg->m_bInDefault = false;
            return FALSE;
        }
        if (message == WM_NCDESTROY) {
            pDlg->UnbindWindow();
            return FALSE;
        }

        LRESULT lResult = 0;
        if (!pDlg->Dispatch(message, wParam, lParam, &lResult))
            return FALSE;
        if (ReturnsResultDirectly(message))
            return static_cast<INT_PTR>(lResult);
        ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}
