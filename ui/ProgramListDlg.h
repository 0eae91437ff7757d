#pragma once

#include "base/IconHandle.h"
#include "base/KernelHandle.h"
#include "base/WideString.h"
#include "framework/Afx.h"
#include "icons/IconCache.h"
#include "inventory/InstalledPrograms.h"

#include <vector>

// Posted by the icon reader when the icons asked for have been read.
#define WM_ICONS_READ (WM_APP + 1)

// The main window: the installed programs in a sortable report list, and
// Remove, which runs the selected program's uninstaller on a worker thread.
class CProgramListDlg : public CDialog
{
public:
    explicit CProgramListDlg(CWnd* pParent = NULL);
    ~CProgramListDlg() override;

    BOOL DestroyWindow() override;

    void Refresh();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    UINT OnNcHitTest(CPoint point);
    void OnGetMinMaxInfo(MINMAXINFO* pInfo);
    void OnSize(UINT nType, int cx, int cy);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    void OnSysColorChange();
    void OnContextMenu(CWnd* pWnd, CPoint point);
    void OnRemove();
    void OnRefresh();
    void OnShowUpdates();
    void OnCloseButton();
    LRESULT OnUninstallDone(WPARAM wParam, LPARAM lParam);
    void OnColumnClick(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDeleteAllItems(NMHDR* pNMHDR, LRESULT* pResult);
    void OnGetDispInfo(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnTimerMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnIconsRead(WPARAM wParam, LPARAM lParam);
    void OnListSetFocus(NMHDR* pNMHDR, LRESULT* pResult);
    void OnListKillFocus(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()

private:
    void InitList();
    void ClearList();
    void InsertRows();
    void LoadIcons();
    void ShowLoadedIcons();
    void UpdateRemoveButton();
    void SetSortArrow(bool bShow);
    bool IsRemoveAvailable();
    bool IsWorkerBusy() const;
    void ShowStartError(DWORD dwError);
    static int CALLBACK CompareEntries(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort);

    CListCtrl m_list;
    BOOL m_bShowUpdates;
    CIconHandle m_hIcon;
    CIconHandle m_hSmallIcon;
    bool m_bShowGrip;
    RECT m_rcGrip;
    bool m_bSortAscending;
    int m_nSortColumn;
    CImageList m_imageList;
    CKernelHandle m_hStopEvent;
    // Owned, tested and closed by the window thread alone; the worker never
    // touches this object.
    CKernelHandle m_hWorkerThread;
    // The last worker started: its completion message carries the id, and
    // its command is what a failure to start names.
    WPARAM m_nWorkerId;
    CWideString m_strWorkerCommand;

    // One row of the list, which points at it with its item data.
    struct Row
    {
        const UninstallEntry* pEntry;
        int nIcon;   // the icon cache's id
        int nImage;  // the slot it shows
    };

    // What the registry and the icon files gave survives refreshes. The
    // programs own the entries that the rows show, and outlive the rows.
    CInstalledPrograms m_programs;
    CIconCache m_iconCache;
    std::vector<Row> m_rows;  // in no order; filled before the list

    // Layout cache shared by the process, filled at the first visible layout.
    static int s_nMarginX;
    static int s_nMarginY;
    static int s_nButtonHeight;
};

void EnableDlgControl(CDialog* pDialog, CWnd* pControl, bool bEnable);
