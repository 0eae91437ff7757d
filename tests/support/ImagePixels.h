#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace testsupport {

// An uncompressed DIB header; a negative height for top-down rows.
inline BITMAPINFOHEADER DibHeader(int cx, int cy, int nBitCount, DWORD nClrUsed = 0)
{
    return {sizeof(BITMAPINFOHEADER), cx, cy, 1, static_cast<WORD>(nBitCount), BI_RGB, 0, 0, 0, nClrUsed, 0};
}

// A bitmap's pixels, top-down, 0xXXRRGGBB each; empty when unreadable.
inline std::vector<DWORD> BitmapPixels(HBITMAP hbm, BITMAP& bitmap)
{
    if (GetObjectW(hbm, sizeof(bitmap), &bitmap) != sizeof(bitmap))
        return std::vector<DWORD>();
    BITMAPINFO format = {DibHeader(bitmap.bmWidth, -bitmap.bmHeight, 32), {}};
    std::vector<DWORD> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    HDC hdc = CreateCompatibleDC(NULL);
    if (GetDIBits(hdc, hbm, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS) != bitmap.bmHeight)
        pixels.clear();
    DeleteDC(hdc);
    return pixels;
}

// What an image-list image draws on white: its 16 x 16 pixels, 0xRRGGBB each.
inline std::vector<DWORD> DrawnOnWhite(HIMAGELIST hImageList, int nImage)
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

// One image of an icon: its header, then the body (palette, pixel rows, mask
// rows) as given.
struct IconImageData
{
    int nSize;
    int nBitCount;
    std::string data;
};

inline IconImageData IconImage(int nSize, int nBitCount, const std::string& body, DWORD nClrUsed = 0)
{
    const BITMAPINFOHEADER header = DibHeader(nSize, 2 * nSize, nBitCount, nClrUsed);
    return {nSize, nBitCount, std::string(reinterpret_cast<const char*>(&header), sizeof(header)) + body};
}

// What a directory entry says of an image before where it is: size,
// colours, planes, depth and length.
inline std::string IconEntry(const IconImageData& image)
{
    const DWORD cb = static_cast<DWORD>(image.data.size());
    char entry[12] = {static_cast<char>(image.nSize), static_cast<char>(image.nSize), 0, 0, 1, 0,
                      static_cast<char>(image.nBitCount), 0};
    memcpy(entry + 8, &cb, 4);
    return std::string(entry, sizeof(entry));
}

// An icon file (.ico) of those images.
inline std::string IconFileBytes(const std::vector<IconImageData>& images)
{
    std::string bytes(6, '\0');
    bytes[2] = 1;
    bytes[4] = static_cast<char>(images.size());
    DWORD nOffset = static_cast<DWORD>(6 + 16 * images.size());
    for (const IconImageData& image : images) {
        bytes += IconEntry(image);
        bytes.append(reinterpret_cast<const char*>(&nOffset), sizeof(nOffset));
        nOffset += static_cast<DWORD>(image.data.size());
    }
    for (const IconImageData& image : images)
        bytes += image.data;
    return bytes;
}

}  // namespace testsupport
