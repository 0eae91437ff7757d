#include "ui/ProgramListDlg.h"

#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "uninstall/UninstallWorker.h"

#include <commctrl.h>

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
      m_nWorkerId(0),
      m_bViewsShareKey()
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
    // A key that is one in both views (HKEY_CURRENT_USER's on 64-bit Windows,
    // every key on 32-bit Windows) is scanned once, and the icon lookup takes
    // both views' answers from it.
    const bool bNative64 = IsNative64BitWindows();
    m_bViewsShareKey[0] = !bNative64 || ViewsShareUninstallKey(HKEY_LOCAL_MACHINE);
    m_bViewsShareKey[1] = !bNative64 || ViewsShareUninstallKey(HKEY_CURRENT_USER);
    m_iconCache.BeginRefresh(m_imageList.GetSafeHandle());
    ScanUninstallKey(HKEY_LOCAL_MACHINE, false);
    ScanUninstallKey(HKEY_CURRENT_USER, false);
    if (bNative64) {
        ScanUninstallKey(HKEY_LOCAL_MACHINE, true);
        ScanUninstallKey(HKEY_CURRENT_USER, true);
    }
    m_iconCache.EndRefresh();
    m_iconCache.LoadPending(kRefreshIconSeconds);
    InsertScannedRows();

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
    // The rows go before their entries: until it is gone, a row may ask its
    // entry for its text.
    std::vector<UninstallEntry*> entries;
    entries.reserve(m_list.GetItemCount());
    for (int i = 0; i < m_list.GetItemCount(); ++i)
        entries.push_back(reinterpret_cast<UninstallEntry*>(m_list.GetItemData(i)));
    m_list.DeleteAllItems();
    for (UninstallEntry* pEntry : entries)
        delete pEntry;
}

namespace {

// Turns the scanned records of one root and view into rows-to-be, each with
// its icon from the cache.
class CRowSink : public IUninstallRecordSink
{
public:
    typedef std::vector<CProgramListDlg::ScannedRow> Rows;

    CRowSink(HKEY root, bool b64BitView, bool bViewsShareKey, CUninstallKeyCache* pOtherView,
             CIconCache& iconCache, Rows& rows)
        : m_root(root), m_b64BitView(b64BitView), m_bViewsShareKey(bViewsShareKey),
          m_pOtherView(pOtherView), m_iconCache(iconCache), m_rows(rows)
    {
    }

    void OnRecord(const UninstallRecord& record) override
    {
        CProgramListDlg::ScannedRow row;
        row.nIcon = m_iconCache.Lookup(m_root, m_b64BitView, record, m_bViewsShareKey, m_pOtherView);
        row.pEntry = new UninstallEntry;
        row.pEntry->strDisplayName = record.strDisplayName;
        row.pEntry->strUninstallString = record.strUninstallString;
        row.pEntry->b64BitView = m_b64BitView;
        m_rows.push_back(row);
    }

private:
    HKEY m_root;
    bool m_b64BitView;
    bool m_bViewsShareKey;
    CUninstallKeyCache* m_pOtherView;
    CIconCache& m_iconCache;
    Rows& m_rows;
};

}  // namespace

void CProgramListDlg::ScanUninstallKey(HKEY root, bool b64BitView)
{
    // A key that is one in both views would list every entry twice.
    const int nRoot = root == HKEY_CURRENT_USER ? 1 : 0;
    if (b64BitView && m_bViewsShareKey[nRoot])
        return;
    m_scanStarts.push_back(m_scannedRows.size());
    // The 64-bit scans come second: only then is the other view's cache
    // up to date.
    CUninstallKeyCache* pOtherView = b64BitView ? &m_uninstallKeys[nRoot] : NULL;
    CRowSink sink(root, b64BitView, m_bViewsShareKey[nRoot], pOtherView, m_iconCache,
                  m_scannedRows);
    m_uninstallKeys[nRoot + (b64BitView ? 2 : 0)].Scan(root, b64BitView, m_bShowUpdates != FALSE,
                                                      sink);
}

void CProgramListDlg::InsertScannedRows()
{
    // Each scan's rows above the earlier scans' rows, in enumeration order:
    // the order that the sort leaves among rows that compare equal. Appending
    // keeps every insertion at the end of the list.
    const bool bIconsWaiting = m_iconCache.HasPending();
    int nPosition = m_list.GetItemCount();
    size_t nEnd = m_scannedRows.size();
    for (size_t nScan = m_scanStarts.size(); nScan-- > 0;) {
        for (size_t i = m_scanStarts[nScan]; i < nEnd; ++i) {
            const ScannedRow& row = m_scannedRows[i];
            const int nImage = m_iconCache.GetImage(row.nIcon);
            // The list asks the entry for its texts (OnGetDispInfo) and keeps
            // no copies: copies of every length, made and freed at every
            // refresh, leave the process heap in pieces that only fresh
            // pages fill.
            int nRow = m_list.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, nPosition,
                                         LPSTR_TEXTCALLBACKW, 0, 0, nImage,
                                         reinterpret_cast<LPARAM>(row.pEntry));
            if (nRow == -1) {
                // No row owns it, so nothing else would free it.
                delete row.pEntry;
                continue;
            }
            m_list.SetItem(nRow, 1, LVIF_TEXT, LPSTR_TEXTCALLBACKW, 0, 0, 0, 0);
            if (bIconsWaiting && nImage == 0 && row.nIcon != CIconCache::kNoIcon)
                m_waitingRows[row.pEntry] = row.nIcon;
            nPosition = nRow + 1;
        }
        nEnd = m_scanStarts[nScan];
    }
    m_scannedRows.clear();
    m_scanStarts.clear();
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
    m_strWorkerCommand = pEntry->strUninstallString;
    // A new id: a late message from an earlier worker must not count for this one.
    ++m_nWorkerId;
    m_hWorkerThread.Attach(
        StartUninstallWorker(m_hWnd, m_nWorkerId, m_hStopEvent, m_strWorkerCommand, pEntry->b64BitView));
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
    // ClearList frees the entries itself: no notification per row is needed.
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
        lstrcpynW(pInfo->item.pszText, pText != NULL ? pText->GetText() : L"", pInfo->item.cchTextMax);
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
