#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

namespace testsupport {

// A bitmap's pixels, top-down, 0xXXRRGGBB each; empty when unreadable.
inline std::vector<DWORD> BitmapPixels(HBITMAP hbm, BITMAP& bitmap)
{
    if (GetObjectW(hbm, sizeof(bitmap), &bitmap) != sizeof(bitmap))
        return std::vector<DWORD>();
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<DWORD> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    HDC hdc = CreateCompatibleDC(NULL);
    const int nLines = GetDIBits(hdc, hbm, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    DeleteDC(hdc);
    if (nLines != bitmap.bmHeight)
        pixels.clear();
    return pixels;
}

// What an image-list image draws on white: its 16 x 16 pixels, 0xRRGGBB each.
inline std::vector<DWORD> DrawnOnWhite(HIMAGELIST hImageList, int nImage)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pBits = NULL;
    HBITMAP hbm = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &pBits, NULL, 0);
    if (hbm == NULL)
        return std::vector<DWORD>();
    HDC hdc = CreateCompatibleDC(NULL);
    HGDIOBJ hOld = SelectObject(hdc, hbm);
    RECT rc = {0, 0, 16, 16};
    FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(hImageList, nImage, hdc, 0, 0, ILD_NORMAL);
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
