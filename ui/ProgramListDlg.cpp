#include "ui/ProgramListDlg.h"

#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "uninstall/UninstallWorker.h"

#include <commctrl.h>

int CProgramListDlg::s_nMarginX = 0;
int CProgramListDlg::s_nMarginY = 0;
int CProgramListDlg::s_nButtonHeight = 0;

BEGIN_MESSAGE_MAP(CProgramListDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_NCHITTEST()
    ON_WM_GETMINMAXINFO()
    ON_WM_SIZE()
    ON_WM_SETCURSOR()
    ON_WM_SYSCOLORCHANGE()
    ON_WM_CONTEXTMENU()
    ON_COMMAND(IDC_REMOVE, OnRemove)
    ON_COMMAND(IDC_REFRESH, OnRefresh)
    ON_COMMAND(IDC_SHOW_UPDATES, OnShowUpdates)
    ON_COMMAND(IDC_CLOSE, OnCloseButton)
    ON_MESSAGE(WM_UNINSTALL_DONE, OnUninstallDone)
    ON_NOTIFY(LVN_COLUMNCLICK, IDC_PROGRAM_LIST, OnColumnClick)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_PROGRAM_LIST, OnItemChanged)
    ON_NOTIFY(LVN_DELETEALLITEMS, IDC_PROGRAM_LIST, OnDeleteAllItems)
    ON_NOTIFY(LVN_GETDISPINFOW, IDC_PROGRAM_LIST, OnGetDispInfo)
    ON_MESSAGE(WM_TIMER, OnTimerMessage)
    ON_MESSAGE(WM_ICONS_READ, OnIconsRead)
    ON_NOTIFY(NM_SETFOCUS, IDC_PROGRAM_LIST, OnListSetFocus)
    ON_NOTIFY(NM_KILLFOCUS, IDC_PROGRAM_LIST, OnListKillFocus)
END_MESSAGE_MAP()

static HICON LoadAppIcon(UINT nID, int nSizeMetricX, int nSizeMetricY)
{
    return static_cast<HICON>(LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(nID), IMAGE_ICON,
                                         GetSystemMetrics(nSizeMetricX),
                                         GetSystemMetrics(nSizeMetricY), LR_DEFAULTCOLOR));
}

CProgramListDlg::CProgramListDlg(CWnd* pParent)
    : CDialog(IDD_PROGRAM_LIST, pParent),
      m_bShowUpdates(TRUE),
      m_hIcon(LoadAppIcon(IDR_MAINFRAME, SM_CXICON, SM_CYICON)),
      m_hSmallIcon(LoadAppIcon(IDR_MAINFRAME, SM_CXSMICON, SM_CYSMICON)),
      m_bShowGrip(true),
      m_rcGrip(),
      m_bSortAscending(true),
      m_nSortColumn(0),
      m_hStopEvent(CreateEventW(NULL, TRUE, FALSE, NULL)),
      m_nWorkerId(0)
{
}

CProgramListDlg::~CProgramListDlg()
{
    // The worker works on its own copies, so giving up after the bound is
    // safe: it never touches this object. The uninstaller keeps running.
    if (m_hStopEvent != NULL && m_hWorkerThread != NULL)
        SignalObjectAndWait(m_hStopEvent, m_hWorkerThread, 10000, FALSE);
}

void CProgramListDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRAM_LIST, m_list);
    DDX_Check(pDX, IDC_SHOW_UPDATES, m_bShowUpdates);
}

BOOL CProgramListDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (hSysMenu != NULL) {
        CString strAbout;
        strAbout.LoadString(IDS_ABOUTBOX);
        AppendMenuW(hSysMenu, MF_SEPARATOR, 0, NULL);
        AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, strAbout);
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.Get()));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon.Get()));

    InitList();
    m_iconCache.NotifyWhenRead(m_hWnd, WM_ICONS_READ);
    Refresh();
    UpdateRemoveButton();
    return TRUE;
}

BOOL CProgramListDlg::DestroyWindow()
{
    m_iconCache.NotifyWhenRead(NULL, 0);
    ClearList();
    // The header item owns the arrow bitmap; take it off so it is deleted.
    if (m_list.GetSafeHwnd() != NULL)
        SetSortArrow(false);
    return CDialog::DestroyWindow();
}

void CProgramListDlg::OnOK()
{
    // Enter must never close the window.
}

void CProgramListDlg::InitList()
{
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);

    m_imageList.Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 256);
    const CIconHandle hDefault(LoadAppIcon(IDI_DEFAULT_PROGRAM, SM_CXSMICON, SM_CYSMICON));
    if (hDefault != NULL)
        ImageList_ReplaceIcon(m_imageList.GetSafeHandle(), -1, hDefault);
    m_list.SetImageList(m_imageList.GetSafeHandle(), LVSIL_SMALL);

    RECT rc;
    m_list.GetClientRect(&rc);
    CString strDescription;
    CString strUninstall;
    strDescription.LoadString(IDS_COLUMN_DESCRIPTION);
    strUninstall.LoadString(IDS_COLUMN_UNINSTALL);
    m_list.InsertColumn(0, strDescription, LVCFMT_LEFT, 220, 0);
    m_list.InsertColumn(1, strUninstall, LVCFMT_LEFT,
                        (rc.right - rc.left) - GetSystemMetrics(SM_CXVSCROLL) - 220, 1);

    SetSortArrow(true);
}

bool CProgramListDlg::IsRemoveAvailable()
{
    return m_list.GetNextItem(-1, LVNI_SELECTED) != -1 && !IsWorkerBusy();
}

bool CProgramListDlg::IsWorkerBusy() const
{
    // The thread's end, not its message, ends the busy state: a message that
    // could not be posted must not leave the window busy for ever.
    return m_hWorkerThread != NULL && WaitForSingleObject(m_hWorkerThread, 0) == WAIT_TIMEOUT;
}

void CProgramListDlg::UpdateRemoveButton()
{
    UpdateData(TRUE);
    CWnd remove = GetDlgItem(IDC_REMOVE);
    EnableDlgControl(this, &remove, IsRemoveAvailable());
}

void EnableDlgControl(CDialog* pDialog, CWnd* pControl, bool bEnable)
{
    // A disabled control must not keep the focus: move it on first.
    if (!bEnable && ::GetFocus() == pControl->GetSafeHwnd())
        pDialog->SendMessage(WM_NEXTDLGCTL, 0, 0);
    pControl->EnableWindow(bEnable);
    LRESULT r = pDialog->SendMessage(DM_GETDEFID, 0, 0);
    if (bEnable && HIWORD(r) == DC_HASDEFID && LOWORD(r) == pControl->GetDlgCtrlID())
        pDialog->SendMessage(DM_SETDEFID, LOWORD(r), 0);
}

void CProgramListDlg::OnContextMenu(CWnd* pWnd, CPoint point)
{
    int nSelected = m_list.GetNextItem(-1, LVNI_SELECTED);
    RECT rcList;
    m_list.GetWindowRect(&rcList);

    POINT pt = point;
    if (point.x == -1 && point.y == -1 && ::GetFocus() == m_list.GetSafeHwnd()) {
        RECT rcLabel;
        if (nSelected != -1 && m_list.GetItemRect(nSelected, &rcLabel, LVIR_LABEL)) {
            pt.x = rcLabel.left;
            pt.y = rcLabel.bottom;
            m_list.ClientToScreen(&pt);
        } else {
            pt.x = rcList.left + 5;
            pt.y = rcList.top + 5;
        }
    } else if (!PtInRect(&rcList, point)) {
        CDialog::OnContextMenu(pWnd, point);
        return;
    }

    CMenu menu;
    if (!menu.LoadMenu(IDR_CONTEXT_MENU))
        return;
    if (!IsRemoveAvailable())
        menu.EnableMenuItem(IDC_REMOVE, MF_BYCOMMAND | MF_GRAYED);
    HMENU hPopup = menu.GetSubMenu(0);
    if (hPopup != NULL)
        TrackPopupMenu(hPopup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, NULL);
}

void CProgramListDlg::OnRemove()
{
    int nSelected = m_list.GetNextItem(-1, LVNI_SELECTED);
    // One worker at a time: a stray command while busy must not start another.
    if (nSelected == -1 || !IsRemoveAvailable())
        return;
    const Row* pRow = reinterpret_cast<const Row*>(m_list.GetItemData(nSelected));
    if (pRow == NULL)
        return;

    ::SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
    m_strWorkerCommand = pRow->pEntry->strUninstallString;
    // A new id: a late message from an earlier worker must not count for this one.
    ++m_nWorkerId;
    m_hWorkerThread.Attach(
        StartUninstallWorker(m_hWnd, m_nWorkerId, m_hStopEvent, m_strWorkerCommand, pRow->pEntry->b64BitView));
    UpdateRemoveButton();
}

void CProgramListDlg::OnRefresh()
{
    Refresh();
}

void CProgramListDlg::OnShowUpdates()
{
    UpdateData(TRUE);
    Refresh();
}

void CProgramListDlg::OnCloseButton()
{
    EndDialog(IDOK);
}

LRESULT CProgramListDlg::OnUninstallDone(WPARAM wParam, LPARAM lParam)
{
    // Only the last worker's message counts, and its handle is closed only
    // once its thread has ended: a stray message changes nothing.
    if (m_hWorkerThread == NULL || wParam != m_nWorkerId)
        return 0;
    if (!IsWorkerBusy())
        m_hWorkerThread.Close();
    ::SetCursor(LoadCursorW(NULL, IDC_ARROW));
    if (lParam != ERROR_SUCCESS)
        ShowStartError(static_cast<DWORD>(lParam));
    Refresh();
    return 0;
}

void CProgramListDlg::ShowStartError(DWORD dwError)
{
    CString strCaption;
    CString strFormat;
    strCaption.LoadString(IDS_APP_TITLE);
    strFormat.LoadString(IDS_CANNOT_START);
    LPWSTR pszSystemText = NULL;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                   dwError, 0, reinterpret_cast<LPWSTR>(&pszSystemText), 0, NULL);
    CWideString strText;
    strText.Format(strFormat, m_strWorkerCommand.GetText() != NULL ? m_strWorkerCommand.GetText() : L"",
                   pszSystemText != NULL ? pszSystemText : L"", dwError);
    LocalFree(pszSystemText);
    MessageBoxW(m_hWnd, strText.GetText(), strCaption, MB_OK | MB_ICONERROR);
}

BOOL CProgramListDlg::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (nHitTest == HTCLIENT && pWnd != NULL && pWnd->GetSafeHwnd() == m_hWnd && IsWorkerBusy()) {
        ::SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
        return TRUE;
    }
    return CDialog::OnSetCursor(pWnd, nHitTest, message);
}

void CProgramListDlg::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult)
{
    // Only a change of selection can change Remove; a row that gets its icon
    // after the refresh notifies too.
    const NMLISTVIEW* pInfo = reinterpret_cast<const NMLISTVIEW*>(pNMHDR);
    if ((pInfo->uChanged & LVIF_STATE) && ((pInfo->uNewState ^ pInfo->uOldState) & LVIS_SELECTED))
        UpdateRemoveButton();
    *pResult = 0;
}

void CProgramListDlg::OnListSetFocus(NMHDR*, LRESULT* pResult)
{
    SendMessage(DM_SETDEFID, IDC_REMOVE, 0);
    *pResult = 0;
}

void CProgramListDlg::OnListKillFocus(NMHDR*, LRESULT* pResult)
{
    SendMessage(DM_SETDEFID, IDC_CLOSE, 0);
    *pResult = 0;
}

void CProgramListDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}
