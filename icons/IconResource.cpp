#include "icons/IconResource.h"

#include <string.h>

namespace {

const WORD kMaxSections = 96;
const DWORD kMaxGroupBytes = 6 + 14 * 0x10000;
const DWORD kOffsetMask = 0x7FFFFFFF;

// Where the resource directory's address is, by optional header kind.
const DWORD kPe32DirectoryCount = 92;
const DWORD kPe32PlusDirectoryCount = 108;
const DWORD kSizeOfHeaders = 60;

}  // namespace

// Moving the file pointer and reading costs a tenth of a read at an offset
// under Wine.
bool CIconResourceReader::ReadAt(ULONGLONG nOffset, DWORD cb, void* pBuffer)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(nOffset);
    DWORD cbRead = 0;
    return nOffset <= 0x7FFFFFFFFFFFFFFFull && SetFilePointerEx(m_hFile, at, NULL, FILE_BEGIN) &&
           ReadFile(m_hFile, pBuffer, cb, &cbRead, NULL) && cbRead == cb;
}

// Resource addresses are relative to the image; in the file they are found
// through the section that holds them.
bool CIconResourceReader::FileOffset(DWORD nRva, ULONGLONG& nOffset) const
{
    for (const IMAGE_SECTION_HEADER& section : m_sections) {
        if (section.VirtualAddress <= nRva && section.VirtualAddress + section.SizeOfRawData > nRva) {
            nOffset = static_cast<ULONGLONG>(nRva) - section.VirtualAddress + section.PointerToRawData;
            return true;
        }
    }
    return false;
}

// The subdirectory of one id, searched as the system searches it: the id
// entries are sorted, and an unsorted directory hides what it hides there.
bool CIconResourceReader::FindById(ULONGLONG nDirectory, WORD nId, ULONGLONG& nSubdirectory)
{
    IMAGE_RESOURCE_DIRECTORY directory;
    if (!ReadAt(nDirectory, sizeof(directory), &directory))
        return false;
    const DWORD nIds = directory.NumberOfIdEntries;
    if (nIds == 0)
        return false;
    m_entries.resize(nIds);
    const ULONGLONG nFirst = nDirectory + sizeof(directory) +
                             static_cast<ULONGLONG>(directory.NumberOfNamedEntries) * sizeof(m_entries[0]);
    if (!ReadAt(nFirst, nIds * sizeof(m_entries[0]), m_entries.data()))
        return false;
    int nMin = 0;
    int nMax = static_cast<int>(nIds) - 1;
    while (nMin <= nMax) {
        const int nPos = (nMin + nMax) / 2;
        const WORD nEntryId = LOWORD(m_entries[nPos].Name);
        if (nEntryId == nId) {
            nSubdirectory = m_nRoot + (m_entries[nPos].OffsetToData & kOffsetMask);
            return true;
        }
        if (nEntryId > nId)
            nMax = nPos - 1;
        else
            nMin = nPos + 1;
    }
    return false;
}

// The data of a name's directory in its first language, as a file range.
bool CIconResourceReader::ReadResource(ULONGLONG nDirectory, ULONGLONG& nOffset, DWORD& cb)
{
    struct
    {
        IMAGE_RESOURCE_DIRECTORY directory;
        IMAGE_RESOURCE_DIRECTORY_ENTRY first;
    } languages;
    IMAGE_RESOURCE_DATA_ENTRY data;
    if (!ReadAt(nDirectory, sizeof(languages), &languages) ||
        languages.directory.NumberOfNamedEntries + languages.directory.NumberOfIdEntries == 0 ||
        (languages.first.OffsetToData & ~kOffsetMask) != 0)
        return false;
    if (!ReadAt(m_nRoot + languages.first.OffsetToData, sizeof(data), &data) ||
        !FileOffset(data.OffsetToData, nOffset))
        return false;
    cb = data.Size;
    return true;
}

bool CIconResourceReader::Read(HANDLE hFile, int nIndex, int cx, int cy, IconImage& image)
{
    m_hFile = hFile;
    WORD start[3];
    if (nIndex < 0 || cx <= 0 || cy <= 0 || !ReadAt(0, sizeof(start), start))
        return false;
    ULONGLONG nOffset;
    DWORD cb;
    if (start[0] == IMAGE_DOS_SIGNATURE) {
        if (!FindInExecutable(nIndex, cx, cy, nOffset, cb))
            return false;
    } else if (start[0] == 0 && start[1] == 1 && start[2] != 0 && nIndex == 0) {
        // An icon file (reserved 0, type 1, some images) holds one icon.
        if (!FindInIconFile(start[2], cx, cy, nOffset, cb))
            return false;
    } else {
        return false;
    }
    if (!ReadImage(nOffset, cb, cx, cy))
        return false;
    Decode(cx, cy, image);
    return true;
}

// The image is chosen from a directory in the group's form, each entry's id
// its index.
bool CIconResourceReader::FindInIconFile(WORD nImages, int cx, int cy, ULONGLONG& nOffset, DWORD& cb)
{
    const DWORD cbEntry = 16;
    m_entriesRead.resize(static_cast<size_t>(nImages) * cbEntry);
    if (!ReadAt(6, static_cast<DWORD>(m_entriesRead.size()), m_entriesRead.data()))
        return false;
    m_data.assign(6, 0);
    m_data[2] = 1;
    memcpy(&m_data[4], &nImages, sizeof(nImages));
    for (WORD i = 0; i < nImages; ++i) {
        m_data.insert(m_data.end(), m_entriesRead.begin() + i * cbEntry,
                      m_entriesRead.begin() + i * cbEntry + 12);
        m_data.push_back(LOBYTE(i));
        m_data.push_back(HIBYTE(i));
    }
    const int nImage = LookupIconIdFromDirectoryEx(m_data.data(), TRUE, cx, cy, LR_DEFAULTCOLOR);
    if (nImage < 0 || nImage >= nImages)
        return false;
    DWORD nImageOffset;
    memcpy(&cb, &m_entriesRead[nImage * cbEntry + 8], sizeof(cb));
    memcpy(&nImageOffset, &m_entriesRead[nImage * cbEntry + 12], sizeof(nImageOffset));
    nOffset = nImageOffset;
    return true;
}

bool CIconResourceReader::FindInExecutable(int nIndex, int cx, int cy, ULONGLONG& nOffset, DWORD& cb)
{
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(0, sizeof(dos), &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
        return false;
    const ULONGLONG nNt = static_cast<ULONGLONG>(dos.e_lfanew);
    struct
    {
        DWORD signature;
        IMAGE_FILE_HEADER file;
    } nt;
    if (!ReadAt(nNt, sizeof(nt), &nt) || nt.signature != IMAGE_NT_SIGNATURE ||
        nt.file.NumberOfSections > kMaxSections)
        return false;
    const ULONGLONG nOptional = nNt + sizeof(nt);
    const DWORD cbOptional = nt.file.SizeOfOptionalHeader;
    m_headers.resize(cbOptional);
    if (cbOptional < sizeof(WORD) || !ReadAt(nOptional, cbOptional, m_headers.data()))
        return false;

    WORD nMagic;
    memcpy(&nMagic, m_headers.data(), sizeof(nMagic));
    DWORD nCountAt;
    if (nMagic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        nCountAt = kPe32DirectoryCount;
    else if (nMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        nCountAt = kPe32PlusDirectoryCount;
    else
        return false;
    const DWORD nResourceAt =
        nCountAt + sizeof(DWORD) + IMAGE_DIRECTORY_ENTRY_RESOURCE * sizeof(IMAGE_DATA_DIRECTORY);
    DWORD nDirectories;
    IMAGE_DATA_DIRECTORY resources;
    DWORD cbHeaders;
    if (cbOptional < nResourceAt + sizeof(resources))
        return false;
    memcpy(&nDirectories, m_headers.data() + nCountAt, sizeof(nDirectories));
    memcpy(&resources, m_headers.data() + nResourceAt, sizeof(resources));
    memcpy(&cbHeaders, m_headers.data() + kSizeOfHeaders, sizeof(cbHeaders));
    if (nDirectories <= IMAGE_DIRECTORY_ENTRY_RESOURCE || resources.VirtualAddress == 0)
        return false;

    m_sections.resize(nt.file.NumberOfSections);
    if (!m_sections.empty() &&
        !ReadAt(nOptional + cbOptional, static_cast<DWORD>(m_sections.size() * sizeof(m_sections[0])),
                m_sections.data()))
        return false;
    // As the system finds it in a file mapped as data.
    if (resources.VirtualAddress < cbHeaders)
        m_nRoot = resources.VirtualAddress;
    else if (!FileOffset(resources.VirtualAddress, m_nRoot))
        return false;

    // The group: the nIndex-th of all groups, named ones first.
    ULONGLONG nGroups;
    IMAGE_RESOURCE_DIRECTORY groups;
    IMAGE_RESOURCE_DIRECTORY_ENTRY group;
    if (!FindById(m_nRoot, LOWORD(RT_GROUP_ICON), nGroups) ||
        !ReadAt(nGroups, sizeof(groups), &groups) ||
        nIndex >= static_cast<WORD>(groups.NumberOfNamedEntries + groups.NumberOfIdEntries) ||
        !ReadAt(nGroups + sizeof(groups) + nIndex * sizeof(group), sizeof(group), &group))
        return false;
    if (!ReadResource(m_nRoot + (group.OffsetToData & kOffsetMask), nOffset, cb) || cb < 6 ||
        cb > kMaxGroupBytes)
        return false;
    m_data.resize(cb);
    if (!ReadAt(nOffset, cb, m_data.data()))
        return false;
    WORD nImages;
    memcpy(&nImages, m_data.data() + 4, sizeof(nImages));
    if (cb < 6 + 14 * static_cast<DWORD>(nImages))
        return false;
    const int nId = LookupIconIdFromDirectoryEx(m_data.data(), TRUE, cx, cy, LR_DEFAULTCOLOR);
    if (nId <= 0 || nId > 0xFFFF)
        return false;

    ULONGLONG nIcons;
    ULONGLONG nIcon;
    return FindById(m_nRoot, LOWORD(RT_ICON), nIcons) &&
           FindById(nIcons, static_cast<WORD>(nId), nIcon) && ReadResource(nIcon, nOffset, cb);
}

// Reads an image that an icon handle would hold as it is.
bool CIconResourceReader::ReadImage(ULONGLONG nOffset, DWORD cb, int cx, int cy)
{
    BITMAPINFOHEADER header;
    if (cb < sizeof(header) || !ReadAt(nOffset, sizeof(header), &header) ||
        header.biSize != sizeof(header) || header.biPlanes != 1 ||
        header.biCompression != BI_RGB || header.biWidth != cx || header.biHeight != 2 * cy)
        return false;
    DWORD nColours = 0;
    switch (header.biBitCount) {
    case 4:
    case 8:
        nColours = 1u << header.biBitCount;
        if (header.biClrUsed != 0 && header.biClrUsed != nColours)
            return false;
        break;
    case 24:
    case 32:
        if (header.biClrUsed != 0)
            return false;
        break;
    default:
        return false;
    }
    const ULONGLONG cbNeeded = sizeof(header) + nColours * sizeof(RGBQUAD) +
                               static_cast<ULONGLONG>(DibRowBytes(cx, header.biBitCount) + DibRowBytes(cx, 1)) * cy;
    if (cbNeeded > cb)
        return false;
    m_data.resize(static_cast<size_t>(cbNeeded));
    return ReadAt(nOffset, static_cast<DWORD>(cbNeeded), m_data.data());
}

// Colours and mask as the icon handle's bitmaps would hold them: palette
// entries and 24-bit pixels as they are, 32-bit pixels with any alpha
// premultiplied as the system does it.
void CIconResourceReader::Decode(int cx, int cy, IconImage& image) const
{
    BITMAPINFOHEADER header;
    memcpy(&header, m_data.data(), sizeof(header));
    const int nBitCount = header.biBitCount;
    const BYTE* pPalette = m_data.data() + sizeof(header);
    const BYTE* pColours = pPalette + (nBitCount <= 8 ? (4u << nBitCount) : 0);
    const DWORD cbRow = DibRowBytes(cx, nBitCount);
    const BYTE* pMask = pColours + cbRow * cy;
    const DWORD cbMaskRow = DibRowBytes(cx, 1);

    image.cx = cx;
    image.cy = cy;
    image.bAlpha = false;
    if (nBitCount == 32) {
        for (int y = 0; y < cy && !image.bAlpha; ++y)
            for (int x = 0; x < cx && !image.bAlpha; ++x)
                image.bAlpha = pColours[y * cbRow + 4 * x + 3] != 0;
    }
    image.pixels.resize(static_cast<size_t>(cx) * cy);
    image.mask.resize(static_cast<size_t>(cx) * cy);
    for (int y = 0; y < cy; ++y) {
        // The rows are stored bottom-up.
        const BYTE* pRow = pColours + (cy - 1 - y) * cbRow;
        const BYTE* pMaskRow = pMask + (cy - 1 - y) * cbMaskRow;
        DWORD* pOut = &image.pixels[static_cast<size_t>(y) * cx];
        BYTE* pMaskOut = &image.mask[static_cast<size_t>(y) * cx];
        for (int x = 0; x < cx; ++x) {
            DWORD b;
            DWORD g;
            DWORD r;
            DWORD a = 0;
            const BYTE* pSource;
            if (nBitCount == 4)
                pSource = pPalette + 4 * ((pRow[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F);
            else if (nBitCount == 8)
                pSource = pPalette + 4 * pRow[x];
            else
                pSource = pRow + x * (nBitCount / 8);
            b = pSource[0];
            g = pSource[1];
            r = pSource[2];
            if (image.bAlpha) {
                a = pSource[3];
                b = (b * a + 127) / 255;
                g = (g * a + 127) / 255;
                r = (r * a + 127) / 255;
            }
            pOut[x] = (a << 24) | (r << 16) | (g << 8) | b;
            pMaskOut[x] = (pMaskRow[x / 8] >> (7 - x % 8)) & 1;
        }
    }
}
