#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace testsupport {

// An uncompressed DIB header; a negative height for top-down rows.
inline BITMAPINFOHEADER DibHeader(int cx, int cy, int nBitCount, DWORD nClrUsed = 0)
{
    return {sizeof(BITMAPINFOHEADER), cx, cy, 1, static_cast<WORD>(nBitCount), BI_RGB, 0, 0, 0, nClrUsed, 0};
}

// What an image-list image draws on white: its 16 x 16 pixels, 0xRRGGBB each.
// ILD_IMAGE draws its colours alone, ILD_MASK its mask alone.
inline std::vector<DWORD> DrawnOnWhite(HIMAGELIST hImageList, int nImage, UINT nStyle = ILD_NORMAL)
{
    BITMAPINFO info = {DibHeader(16, -16, 32), {}};
    void* pBits = NULL;
    HBITMAP hbm = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &pBits, NULL, 0);
    if (hbm == NULL)
        return std::vector<DWORD>();
    HDC hdc = CreateCompatibleDC(NULL);
    HGDIOBJ hOld = SelectObject(hdc, hbm);
    RECT rc = {0, 0, 16, 16};
    FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(hImageList, nImage, hdc, 0, 0, nStyle);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(pBits), static_cast<DWORD*>(pBits) + 256);
    for (DWORD& pixel : pixels)
        pixel &= 0xFFFFFF;
    SelectObject(hdc, hOld);
    DeleteDC(hdc);
    DeleteObject(hbm);
    return pixels;
}

}  // namespace testsupport
