#include "ui/ProgramListDlg.h"

#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "uninstall/UninstallWorker.h"

#include <commctrl.h>

#include <new>

int CProgramListDlg::s_nMarginX = 0;
int CProgramListDlg::s_nMarginY = 0;
int CProgramListDlg::s_nButtonHeight = 0;

namespace {

// The icons that a refresh finds new are extracted for a moment before the
// rows go in (a few new programs show theirs at once), and the rest in steps
// whenever the window is idle: the list is there at once, however many new
// programs it shows.
const double kRefreshIconSeconds = 0.01;
const double kIdleIconSeconds = 0.05;
const UINT_PTR kIconTimer = 1;
const DWORD kShowIconsMs = 250;

}  // namespace

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
      m_hWorkerThread(NULL)
{
}

CProgramListDlg::~CProgramListDlg()
{
    if (m_hIcon != NULL)
        DestroyIcon(m_hIcon);
    if (m_hSmallIcon != NULL)
        DestroyIcon(m_hSmallIcon);
    // The worker works on its own copies, so giving up after the bound is
    // safe: it never touches this object. The uninstaller keeps running.
    if (m_hStopEvent != NULL && m_hWorkerThread != NULL)
        SignalObjectAndWait(m_hStopEvent, m_hWorkerThread, 10000, FALSE);
    if (m_hStopEvent != NULL)
        CloseHandle(m_hStopEvent);
    if (m_hWorkerThread != NULL)
        CloseHandle(m_hWorkerThread);
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

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

    InitList();
    Refresh();
    UpdateRemoveButton();
    return TRUE;
}

BOOL CProgramListDlg::DestroyWindow()
{
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
    HICON hDefault = LoadAppIcon(IDI_DEFAULT_PROGRAM, SM_CXSMICON, SM_CYSMICON);
    if (hDefault != NULL) {
        ImageList_ReplaceIcon(m_imageList.GetSafeHandle(), -1, hDefault);
        DestroyIcon(hDefault);
    }
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

void CProgramListDlg::Refresh()
{
    // Redrawing goes off even before the window shows: the list otherwise
    // recomputes its layout for every row inserted.
    const bool bVisible = m_list.IsWindowVisible() != FALSE;
    m_list.SendMessage(WM_SETREDRAW, FALSE, 0);

    ClearList();
    try {
        const std::vector<CInstalledPrograms::Program>& programs =
            m_programs.Refresh(m_bShowUpdates != FALSE);
        m_iconCache.BeginRefresh(m_imageList.GetSafeHandle());
        m_rowIcons.clear();
        for (const CInstalledPrograms::Program& program : programs)
            m_rowIcons.push_back(program.pIcon != NULL ? m_iconCache.Lookup(*program.pIcon)
                                                       : static_cast<int>(CIconCache::kNoIcon));
        m_iconCache.EndRefresh();
        m_iconCache.LoadPending(kRefreshIconSeconds);
        InsertRows();
    } catch (const std::bad_alloc&) {
        // Rows of a refresh cut short may show entries or slots that the
        // next one frees: none rather than some.
        ClearList();
    }

    m_list.SortItems(CompareEntries, reinterpret_cast<DWORD_PTR>(this));
    SetSortArrow(true);

    m_list.SendMessage(WM_SETREDRAW, TRUE, 0);
    if (bVisible)
        m_list.InvalidateRect(NULL, TRUE);
    UpdateRemoveButton();
    // A timer's message comes only when no other one waits: painting and
    // the user's input go first.
    if (m_iconCache.HasPending())
        ::SetTimer(m_hWnd, kIconTimer, 0, NULL);
}

void CProgramListDlg::ClearList()
{
    m_waitingRows.clear();
    m_list.DeleteAllItems();
}

void CProgramListDlg::InsertRows()
{
    // Appending keeps every insertion at the end of the list, in the order
    // that the sort leaves among rows that compare equal.
    const bool bIconsWaiting = m_iconCache.HasPending();
    const std::vector<CInstalledPrograms::Program>& programs = m_programs.GetPrograms();
    int nPosition = 0;
    for (size_t i = 0; i < programs.size(); ++i) {
        const UninstallEntry* pEntry = programs[i].pEntry;
        const int nImage = m_iconCache.GetImage(m_rowIcons[i]);
        // The list asks the entry for its texts (OnGetDispInfo) and keeps no
        // copies: copies of every length, made and freed at every refresh,
        // leave the process heap in pieces that only fresh pages fill.
        const int nRow = m_list.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, nPosition,
                                           LPSTR_TEXTCALLBACKW, 0, 0, nImage,
                                           reinterpret_cast<LPARAM>(pEntry));
        if (nRow == -1)
            continue;
        m_list.SetItem(nRow, 1, LVIF_TEXT, LPSTR_TEXTCALLBACKW, 0, 0, 0, 0);
        if (bIconsWaiting && nImage == 0 && m_rowIcons[i] != CIconCache::kNoIcon)
            m_waitingRows[pEntry] = m_rowIcons[i];
        nPosition = nRow + 1;
    }
}

LRESULT CProgramListDlg::OnTimerMessage(WPARAM wParam, LPARAM)
{
    if (wParam != kIconTimer)
        return Default();
    // Step after step while nothing else waits, so that the timer's own
    // delay between its messages does not add up. The rows take their new
    // icons at most every kShowIconsMs and before the loop yields: each
    // showing walks every row, and repaints what it changed.
    bool bUnshown = false;
    DWORD dwShown = GetTickCount();
    do {
        bUnshown = m_iconCache.LoadPending(kIdleIconSeconds) > 0 || bUnshown;
        if (bUnshown && GetTickCount() - dwShown >= kShowIconsMs) {
            ShowLoadedIcons();
            bUnshown = false;
            dwShown = GetTickCount();
        }
    } while (m_iconCache.HasPending() &&
             HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE)) == 0);
    if (bUnshown)
        ShowLoadedIcons();
    if (!m_iconCache.HasPending()) {
        ::KillTimer(m_hWnd, kIconTimer);
        m_waitingRows.clear();
    }
    return 0;
}

void CProgramListDlg::ShowLoadedIcons()
{
    const int nRows = m_list.GetItemCount();
    for (int i = 0; i < nRows && !m_waitingRows.empty(); ++i) {
        const UninstallEntry* pEntry = reinterpret_cast<const UninstallEntry*>(m_list.GetItemData(i));
        auto it = m_waitingRows.find(pEntry);
        if (it == m_waitingRows.end())
            continue;
        const int nImage = m_iconCache.GetImage(it->second);
        if (nImage == 0)
            continue;
        m_list.SetItem(i, 0, LVIF_IMAGE, NULL, nImage, 0, 0, 0);
        m_waitingRows.erase(it);
    }
}

int CALLBACK CProgramListDlg::CompareEntries(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    const UninstallEntry* pEntry1 = reinterpret_cast<const UninstallEntry*>(lParam1);
    const UninstallEntry* pEntry2 = reinterpret_cast<const UninstallEntry*>(lParam2);
    const CProgramListDlg* pDlg = reinterpret_cast<const CProgramListDlg*>(lParamSort);
    int nResult = 0;
    if (pDlg->m_nSortColumn == 0)
        nResult = pEntry1->strDisplayName.CompareNoCase(pEntry2->strDisplayName);
    else if (pDlg->m_nSortColumn == 1)
        nResult = pEntry1->strUninstallString.CompareNoCase(pEntry2->strUninstallString);
    return pDlg->m_bSortAscending ? nResult : -nResult;
}

void CProgramListDlg::SetSortArrow(bool bShow)
{
    HWND hHeader = m_list.GetHeaderCtrl();
    HDITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = HDI_FORMAT | HDI_BITMAP;
    if (!::SendMessageW(hHeader, HDM_GETITEMW, m_nSortColumn, reinterpret_cast<LPARAM>(&item)))
        return;
    if (item.hbm != NULL) {
        DeleteObject(item.hbm);
        item.hbm = NULL;
    }
    if (bShow) {
        item.fmt |= HDF_BITMAP | HDF_BITMAP_ON_RIGHT;
        item.hbm = static_cast<HBITMAP>(LoadImageW(
            AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_bSortAscending ? IDB_SORT_UP : IDB_SORT_DOWN),
            IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    } else {
        item.fmt &= ~(HDF_BITMAP | HDF_BITMAP_ON_RIGHT);
    }
    ::SendMessageW(hHeader, HDM_SETITEMW, m_nSortColumn, reinterpret_cast<LPARAM>(&item));
}

bool CProgramListDlg::IsRemoveAvailable()
{
    // The slot stays set until the worker's completion has been handled, so a
    // second worker can never start before the first one's message arrives.
    return m_list.GetNextItem(-1, LVNI_SELECTED) != -1 && m_hWorkerThread == NULL;
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

void CProgramListDlg::OnSysColorChange()
{
    CDialog::OnSysColorChange();
    SetSortArrow(true);
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
    const UninstallEntry* pEntry = reinterpret_cast<const UninstallEntry*>(m_list.GetItemData(nSelected));
    if (pEntry == NULL)
        return;

    ::SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
    m_hWorkerThread = StartUninstallWorker(m_hWnd, m_hStopEvent, pEntry->strUninstallString);
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

LRESULT CProgramListDlg::OnUninstallDone(WPARAM, LPARAM)
{
    // The worker has posted this as its last act; its handle is ours to close.
    if (m_hWorkerThread != NULL) {
        CloseHandle(m_hWorkerThread);
        m_hWorkerThread = NULL;
    }
    ::SetCursor(LoadCursorW(NULL, IDC_ARROW));
    Refresh();
    return 0;
}

BOOL CProgramListDlg::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (nHitTest == HTCLIENT && pWnd != NULL && pWnd->GetSafeHwnd() == m_hWnd &&
        m_hWorkerThread != NULL && WaitForSingleObject(m_hWorkerThread, 0) == WAIT_TIMEOUT) {
        ::SetCursor(LoadCursorW(NULL, IDC_APPSTARTING));
        return TRUE;
    }
    return CDialog::OnSetCursor(pWnd, nHitTest, message);
}

void CProgramListDlg::OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult)
{
    const NMLISTVIEW* pInfo = reinterpret_cast<const NMLISTVIEW*>(pNMHDR);
    SetSortArrow(false);
    if (pInfo->iSubItem == m_nSortColumn) {
        m_bSortAscending = !m_bSortAscending;
    } else {
        m_nSortColumn = pInfo->iSubItem;
        m_bSortAscending = true;
    }
    m_list.SortItems(CompareEntries, reinterpret_cast<DWORD_PTR>(this));
    SetSortArrow(true);
    *pResult = 0;
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

void CProgramListDlg::OnDeleteAllItems(NMHDR*, LRESULT* pResult)
{
    // The rows own nothing: no notification per row is needed.
    *pResult = TRUE;
}

void CProgramListDlg::OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVDISPINFOW* pInfo = reinterpret_cast<NMLVDISPINFOW*>(pNMHDR);
    const UninstallEntry* pEntry = reinterpret_cast<const UninstallEntry*>(pInfo->item.lParam);
    if ((pInfo->item.mask & LVIF_TEXT) && pEntry != NULL && pInfo->item.pszText != NULL &&
        pInfo->item.cchTextMax > 0) {
        const CWideString* pText = NULL;
        if (pInfo->item.iSubItem == 0)
            pText = &pEntry->strDisplayName;
        else if (pInfo->item.iSubItem == 1)
            pText = &pEntry->strUninstallString;
        // An empty string may hold no buffer at all.
        lstrcpynW(pInfo->item.pszText, pText != NULL && pText->GetText() != NULL ? pText->GetText() : L"",
                  pInfo->item.cchTextMax);
    }
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
