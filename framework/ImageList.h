#pragma once

#include <windows.h>

#include <commctrl.h>

// Owns one image list and destroys it in its destructor.
class CImageList
{
public:
    CImageList() : m_hImageList(NULL) {}
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    // Fails when this object already holds an image list.
    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
    BOOL DeleteImageList();

    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    operator HIMAGELIST() const { return m_hImageList; }

private:
    HIMAGELIST m_hImageList;
};
