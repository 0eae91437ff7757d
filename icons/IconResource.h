#pragma once

#include <windows.h>

#include <vector>

// One icon image as drawing its icon handle puts it into a bitmap, without
// making the handle: the colours, and the mask that says which pixels are
// transparent.
struct IconImage
{
    int cx;
    int cy;
    // The image has an alpha channel and is drawn blended: its pixels are
    // premultiplied by their alpha.
    bool bAlpha;
    std::vector<DWORD> pixels;  // top-down, 0xAARRGGBB; alpha 0 unless bAlpha
    std::vector<BYTE> mask;     // top-down, cx bytes a row; 1: transparent
};

// Bytes in one row of a bitmap's bits: whole DWORDs.
inline DWORD DibRowBytes(int cx, int nBitCount)
{
    return ((static_cast<DWORD>(cx) * nBitCount + 31) / 32) * 4;
}

// Where the icon reader's bytes come from. The reader asks only for ranges
// that it has checked against Size; a read that cannot be satisfied whole
// fails.
class IByteSource
{
public:
    virtual ~IByteSource() {}
    virtual ULONGLONG Size() const = 0;
    virtual bool Read(ULONGLONG nOffset, DWORD cb, void* pBuffer) = 0;
};

// An open file (borrowed) of the size its caller found.
class CFileByteSource : public IByteSource
{
public:
    CFileByteSource(HANDLE hFile, ULONGLONG cbSize) : m_hFile(hFile), m_cbSize(cbSize) {}

    ULONGLONG Size() const override { return m_cbSize; }
    bool Read(ULONGLONG nOffset, DWORD cb, void* pBuffer) override;

private:
    HANDLE m_hFile;
    ULONGLONG m_cbSize;
};

enum IconFileResult
{
    kIconDecoded,      // the image was decoded into the caller's IconImage
    kIconNeedsSystem,  // a sound file whose chosen image only ExtractIconExW makes
    kIconNone,         // no icon: a damaged file, another kind of file, or no such index
};

// Reads the small icon at nIndex of an executable's resources or of an icon
// file, choosing the group and the image as ExtractIconExW does for an icon
// of cx x cy. The container is checked whole before any system call sees its
// bytes (ExtractIconExW under Wine does not guard its reads), and the chosen
// image is read once and decoded from that one copy. Decoded are only images
// that an icon handle holds unchanged (4-, 8-, 24- and 32-bit, of exactly
// that size); without pImage, a sound file gives kIconNeedsSystem. 16-bit
// executables give kIconNone.
IconFileResult ReadIconFile(IByteSource& source, int nIndex, int cx, int cy, IconImage* pImage);
