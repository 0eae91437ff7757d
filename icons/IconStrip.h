#pragma once

#include <windows.h>

#include <commctrl.h>

struct IconImage;

// A row of images and their masks, added to an image list in one call: one
// ImageList_ReplaceIcon per icon costs more than extracting the icon under
// Wine, since it copies the icon again first. Each cell holds what the image
// list itself draws for an icon in a masked list (DI_IMAGE, then DI_MASK),
// in the list's colour depth.
class CIconStrip
{
public:
    static constexpr int kImages = 256;

    CIconStrip(int cx, int cy, WORD nBitCount);
    ~CIconStrip();
    CIconStrip(const CIconStrip&) = delete;
    CIconStrip& operator=(const CIconStrip&) = delete;

    bool IsValid() const { return m_hOldColor != NULL && m_hOldMask != NULL; }

    bool Draw(int nCell, HICON hIcon);
    // Whether Put can write into a strip of that depth; the others are
    // drawn.
    static bool CanPut(WORD nBitCount) { return nBitCount == 16; }
    // Writes what Draw would draw for the icon of an image of the strip's size.
    bool Put(int nCell, const IconImage& image);

    // Adds the first nCount images; the slot of the first, or -1.
    int AddTo(HIMAGELIST hImageList, int nCount);

private:
    HBITMAP CreateImage(int nImages, WORD nBitCount, void** ppBits) const;
    bool CopyInto(HBITMAP hbmTarget, HDC hdcSource, int nCount) const;
    void Deselect();

    int m_cx;
    int m_cy;
    WORD m_nBitCount;
    HBITMAP m_hbmColor;
    HBITMAP m_hbmMask;
    BYTE* m_pColorBits;
    BYTE* m_pMaskBits;
    HDC m_hdcColor;
    HDC m_hdcMask;
    HGDIOBJ m_hOldColor;
    HGDIOBJ m_hOldMask;
};
