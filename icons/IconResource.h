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

// Reads a small icon straight from an executable's resources or an icon
// file, choosing the group and the image as ExtractIconExW does. Only images
// that an icon handle holds unchanged are read: anything else (16-bit
// executables, PNG or monochrome images, images to be scaled, data that does
// not fit the file) returns false, and the caller asks ExtractIconExW, which
// also knows what a damaged file gives. The buffers are kept for the next
// file.
class CIconResourceReader
{
public:
    bool Read(HANDLE hFile, int nIndex, int cx, int cy, IconImage& image);

private:
    bool FindInExecutable(int nIndex, int cx, int cy, ULONGLONG& nOffset, DWORD& cb);
    bool FindInIconFile(WORD nImages, int cx, int cy, ULONGLONG& nOffset, DWORD& cb);
    bool ReadImage(ULONGLONG nOffset, DWORD cb, int cx, int cy);
    bool ReadAt(ULONGLONG nOffset, DWORD cb, void* pBuffer);
    bool ReadResource(ULONGLONG nDirectory, ULONGLONG& nOffset, DWORD& cb);
    bool FileOffset(DWORD nRva, ULONGLONG& nOffset) const;
    bool FindById(ULONGLONG nDirectory, WORD nId, ULONGLONG& nSubdirectory);
    void Decode(int cx, int cy, IconImage& image) const;

    HANDLE m_hFile;
    ULONGLONG m_nRoot;  // the resource directory's file offset
    std::vector<BYTE> m_headers;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    std::vector<IMAGE_RESOURCE_DIRECTORY_ENTRY> m_entries;
    std::vector<BYTE> m_entriesRead;
    std::vector<BYTE> m_data;
};
