#pragma once

#include "framework/MessageMap.h"
#include "framework/Wnd.h"

#include <commctrl.h>

// A static control. Its message map is empty, for subclasses to chain to.
class CStatic : public CWnd
{
public:
    CStatic() {}
    ~CStatic() override {}

    DECLARE_MESSAGE_MAP()
};

// A list-view control, borrowed; every method is one LVM_ message.
class CListCtrl : public CWnd
{
public:
    CListCtrl() {}
    ~CListCtrl() override {}

    int InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, UINT nState, UINT nStateMask, int nImage,
                   LPARAM lParam);
    BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCWSTR lpszItem, int nImage, UINT nState,
                 UINT nStateMask, LPARAM lParam);
    DWORD_PTR GetItemData(int nItem) const;
    int GetItemCount() const;
    BOOL DeleteAllItems();
    int GetNextItem(int nItem, int nFlags) const;
    // nCode: LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL or LVIR_SELECTBOUNDS.
    BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const;
    BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData);
    // nWidth or nSubItem -1: not set.
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    HIMAGELIST SetImageList(HIMAGELIST hImageList, int nImageListType);
    HWND GetHeaderCtrl() const;
    DWORD SetExtendedStyle(DWORD dwMask, DWORD dwStyle);
};
