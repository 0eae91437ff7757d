// The program list's rows: reading the installed programs into them, their
// icons as they come, their texts, and their order.
#include "res/resource.h"
#include "ui/ProgramListDlg.h"

#include <commctrl.h>

#include <new>

namespace {

// The icons that a refresh finds new are waited for a moment before the rows
// go in (a few new programs show theirs at once); the rest take their rows
// a few times a second as the reader brings them, and all at once when it
// is done.
const DWORD kRefreshIconMs = 10;
const UINT_PTR kIconTimer = 1;
const UINT kIconTimerMs = 250;

}  // namespace

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
        m_rows.reserve(programs.size());
        for (const CInstalledPrograms::Program& program : programs) {
            const int nIcon = program.pIcon != NULL ? m_iconCache.Lookup(*program.pIcon)
                                                    : static_cast<int>(CIconCache::kNoIcon);
            m_rows.push_back(Row{program.pEntry, nIcon, 0});
        }
        m_iconCache.EndRefresh();
        m_iconCache.LoadPending(kRefreshIconMs);
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
    if (m_iconCache.HasPending())
        ::SetTimer(m_hWnd, kIconTimer, kIconTimerMs, NULL);
}

void CProgramListDlg::ClearList()
{
    // The rows go before what they point at.
    m_list.DeleteAllItems();
    m_rows.clear();
}

void CProgramListDlg::InsertRows()
{
    // Appending keeps every insertion at the end of the list, in the order
    // that the sort leaves among rows that compare equal.
    int nPosition = 0;
    for (Row& row : m_rows) {
        row.nImage = m_iconCache.GetImage(row.nIcon);
        // The list asks the entry for its texts (OnGetDispInfo) and keeps no
        // copies: copies of every length, made and freed at every refresh,
        // leave the process heap in pieces that only fresh pages fill.
        const int nRow = m_list.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, nPosition,
                                           LPSTR_TEXTCALLBACKW, 0, 0, row.nImage,
                                           reinterpret_cast<LPARAM>(&row));
        if (nRow == -1)
            continue;
        m_list.SetItem(nRow, 1, LVIF_TEXT, LPSTR_TEXTCALLBACKW, 0, 0, 0, 0);
        nPosition = nRow + 1;
    }
}

LRESULT CProgramListDlg::OnTimerMessage(WPARAM wParam, LPARAM)
{
    if (wParam != kIconTimer)
        return Default();
    LoadIcons();
    return 0;
}

LRESULT CProgramListDlg::OnIconsRead(WPARAM, LPARAM)
{
    LoadIcons();
    return 0;
}

void CProgramListDlg::LoadIcons()
{
    if (m_iconCache.LoadPending(0))
        ShowLoadedIcons();
    if (!m_iconCache.HasPending())
        ::KillTimer(m_hWnd, kIconTimer);
}

// Each showing walks every row, and repaints what it changed.
void CProgramListDlg::ShowLoadedIcons()
{
    const int nRows = m_list.GetItemCount();
    for (int i = 0; i < nRows; ++i) {
        Row* pRow = reinterpret_cast<Row*>(m_list.GetItemData(i));
        const int nImage = pRow != NULL ? m_iconCache.GetImage(pRow->nIcon) : 0;
        if (pRow != NULL && nImage != pRow->nImage) {
            m_list.SetItem(i, 0, LVIF_IMAGE, NULL, nImage, 0, 0, 0);
            pRow->nImage = nImage;
        }
    }
}

int CALLBACK CProgramListDlg::CompareEntries(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    const UninstallEntry* pEntry1 = reinterpret_cast<const Row*>(lParam1)->pEntry;
    const UninstallEntry* pEntry2 = reinterpret_cast<const Row*>(lParam2)->pEntry;
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

void CProgramListDlg::OnSysColorChange()
{
    CDialog::OnSysColorChange();
    SetSortArrow(true);
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

void CProgramListDlg::OnDeleteAllItems(NMHDR*, LRESULT* pResult)
{
    // The rows own nothing: no notification per row is needed.
    *pResult = TRUE;
}

void CProgramListDlg::OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult)
{
    NMLVDISPINFOW* pInfo = reinterpret_cast<NMLVDISPINFOW*>(pNMHDR);
    const Row* pRow = reinterpret_cast<const Row*>(pInfo->item.lParam);
    if ((pInfo->item.mask & LVIF_TEXT) && pRow != NULL && pInfo->item.pszText != NULL &&
        pInfo->item.cchTextMax > 0) {
        const UninstallEntry* pEntry = pRow->pEntry;
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
