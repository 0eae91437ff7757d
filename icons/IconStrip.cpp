#include "icons/IconStrip.h"

#include "icons/IconResource.h"

CIconStrip::CIconStrip(int cx, int cy, WORD nBitCount)
    : m_cx(cx), m_cy(cy), m_nBitCount(nBitCount), m_hbmColor(NULL), m_hbmMask(NULL),
      m_pColorBits(NULL), m_pMaskBits(NULL), m_hdcColor(CreateCompatibleDC(NULL)),
      m_hdcMask(CreateCompatibleDC(NULL)), m_hOldColor(NULL), m_hOldMask(NULL)
{
    void* pBits = NULL;
    m_hbmColor = CreateImage(kImages, m_nBitCount, &pBits);
    m_pColorBits = static_cast<BYTE*>(pBits);
    m_hbmMask = CreateImage(kImages, 1, &pBits);
    m_pMaskBits = static_cast<BYTE*>(pBits);
    if (m_hdcColor != NULL && m_hbmColor != NULL)
        m_hOldColor = SelectObject(m_hdcColor, m_hbmColor);
    if (m_hdcMask != NULL && m_hbmMask != NULL)
        m_hOldMask = SelectObject(m_hdcMask, m_hbmMask);
}

CIconStrip::~CIconStrip()
{
    Deselect();
    if (m_hdcColor != NULL)
        DeleteDC(m_hdcColor);
    if (m_hdcMask != NULL)
        DeleteDC(m_hdcMask);
    if (m_hbmColor != NULL)
        DeleteObject(m_hbmColor);
    if (m_hbmMask != NULL)
        DeleteObject(m_hbmMask);
}

bool CIconStrip::Draw(int nCell, HICON hIcon)
{
    if (!IsValid())
        return false;
    const int x = nCell * m_cx;
    return DrawIconEx(m_hdcColor, x, 0, hIcon, m_cx, m_cy, 0, NULL, DI_IMAGE) &&
           DrawIconEx(m_hdcMask, x, 0, hIcon, m_cx, m_cy, 0, NULL, DI_MASK);
}

// DrawIconEx copies an icon's colours into a 5-5-5 bitmap by dropping the low
// bits, and blends an icon with alpha onto the strip's black, which leaves its
// premultiplied colours.
bool CIconStrip::Put(int nCell, const IconImage& image)
{
    if (!IsValid() || !CanPut(m_nBitCount) || image.cx != m_cx || image.cy != m_cy)
        return false;
    GdiFlush();
    const DWORD cbRow = DibRowBytes(m_cx * kImages, m_nBitCount);
    const DWORD cbMaskRow = DibRowBytes(m_cx * kImages, 1);
    const int x0 = nCell * m_cx;
    for (int y = 0; y < m_cy; ++y) {
        // Bottom-up, as the bitmaps are made.
        WORD* pRow = reinterpret_cast<WORD*>(m_pColorBits + (m_cy - 1 - y) * cbRow) + x0;
        BYTE* pMaskRow = m_pMaskBits + (m_cy - 1 - y) * cbMaskRow;
        const DWORD* pPixels = &image.pixels[static_cast<size_t>(y) * m_cx];
        const BYTE* pMask = &image.mask[static_cast<size_t>(y) * m_cx];
        for (int x = 0; x < m_cx; ++x) {
            const DWORD pixel = pPixels[x];
            pRow[x] = static_cast<WORD>(((pixel >> 9) & 0x7C00) | ((pixel >> 6) & 0x03E0) |
                                        ((pixel >> 3) & 0x001F));
            const int nBit = x0 + x;
            const BYTE bit = static_cast<BYTE>(0x80 >> (nBit % 8));
            if (pMask[x])
                pMaskRow[nBit / 8] |= bit;
            else
                pMaskRow[nBit / 8] &= static_cast<BYTE>(~bit);
        }
    }
    return true;
}

int CIconStrip::AddTo(HIMAGELIST hImageList, int nCount)
{
    // The image list infers the count from the width: a partly filled strip
    // goes in through bitmaps of the exact width.
    HBITMAP hbmColor = m_hbmColor;
    HBITMAP hbmMask = m_hbmMask;
    if (nCount < kImages) {
        void* pBits = NULL;
        hbmColor = CreateImage(nCount, m_nBitCount, &pBits);
        hbmMask = CreateImage(nCount, 1, &pBits);
        if (!CopyInto(hbmColor, m_hdcColor, nCount) || !CopyInto(hbmMask, m_hdcMask, nCount))
            nCount = 0;
    }
    Deselect();
    const int nFirst = nCount > 0 ? ImageList_Add(hImageList, hbmColor, hbmMask) : -1;
    if (hbmColor != m_hbmColor && hbmColor != NULL)
        DeleteObject(hbmColor);
    if (hbmMask != m_hbmMask && hbmMask != NULL)
        DeleteObject(hbmMask);
    return nFirst;
}

// Bottom-up DIB sections, so that Put can write into them; a mask's colours
// are black and white.
HBITMAP CIconStrip::CreateImage(int nImages, WORD nBitCount, void** ppBits) const
{
    struct
    {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info;
    ZeroMemory(&info, sizeof(info));
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = m_cx * nImages;
    info.header.biHeight = m_cy;
    info.header.biPlanes = 1;
    info.header.biBitCount = nBitCount;
    info.header.biCompression = BI_RGB;
    if (nBitCount == 1) {
        info.header.biClrUsed = 2;
        info.colours[1].rgbBlue = info.colours[1].rgbGreen = info.colours[1].rgbRed = 0xFF;
    }
    return CreateDIBSection(NULL, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, ppBits,
                            NULL, 0);
}

bool CIconStrip::CopyInto(HBITMAP hbmTarget, HDC hdcSource, int nCount) const
{
    if (hbmTarget == NULL)
        return false;
    HDC hdc = CreateCompatibleDC(NULL);
    if (hdc == NULL)
        return false;
    HGDIOBJ hOld = SelectObject(hdc, hbmTarget);
    const bool bCopied =
        hOld != NULL && BitBlt(hdc, 0, 0, m_cx * nCount, m_cy, hdcSource, 0, 0, SRCCOPY);
    if (hOld != NULL)
        SelectObject(hdc, hOld);
    DeleteDC(hdc);
    return bCopied;
}

// A bitmap selected into a device context cannot be added to an image list.
void CIconStrip::Deselect()
{
    if (m_hOldColor != NULL)
        SelectObject(m_hdcColor, m_hOldColor);
    if (m_hOldMask != NULL)
        SelectObject(m_hdcMask, m_hOldMask);
    m_hOldColor = NULL;
    m_hOldMask = NULL;
}
