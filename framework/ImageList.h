#pragma once

#include <windows.h>

#include <commctrl.h>
// shellapi.h renames ExtractIcon to ExtractIconW; included first, it renames
// the member below the same way in every file that uses it.
#include <shellapi.h>

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
    BOOL Attach(HIMAGELIST hImageList);
    HIMAGELIST Detach();
    BOOL DeleteImageList();

    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    operator HIMAGELIST() const { return m_hImageList; }

    // nImage -1 appends. Both answer the image's index, or -1.
    int ReplaceIcon(int nImage, HICON hIcon);
    int Add(HICON hIcon);
    int GetImageCount() const;
    BOOL Remove(int nImage);
    BOOL SetImageCount(UINT uNewCount);
    // A new icon, owned by the caller.
    HICON ExtractIcon(int nImage);

private:
    HIMAGELIST m_hImageList;
};
