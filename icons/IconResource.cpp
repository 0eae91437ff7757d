#include "icons/IconResource.h"

#include <stddef.h>
#include <string.h>

namespace {

// The icon directories as stored: an icon file's, and that of an
// RT_GROUP_ICON resource, whose entries name RT_ICON ids where the file's
// give offsets.
#pragma pack(push, 2)
struct ICONDIR
{
    WORD idReserved;
    WORD idType;  // 1: icons
    WORD idCount;
};
// What the entries of both say of an image.
struct ImageSummary
{
    BYTE bWidth;
    BYTE bHeight;
    BYTE bColorCount;
    BYTE bReserved;
    WORD wPlanes;
    WORD wBitCount;
    DWORD dwBytesInRes;
};
struct ICONDIRENTRY
{
    ImageSummary summary;
    DWORD dwImageOffset;
};
typedef ICONDIR GRPICONDIR;
struct GRPICONDIRENTRY
{
    ImageSummary summary;
    WORD nId;
};
#pragma pack(pop)
static_assert(sizeof(ICONDIR) == 6 && sizeof(ICONDIRENTRY) == 16 && sizeof(GRPICONDIRENTRY) == 14,
              "the directories as stored");

// The system loads no more sections.
const WORD kMaxSections = 96;
const DWORD kMaxGroupBytes = sizeof(GRPICONDIR) + 0xFFFF * sizeof(GRPICONDIRENTRY);
// The largest image an icon directory can describe; larger ones could
// overflow the system's own size arithmetic.
const LONG kMaxImageSize = 256;
const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct Range
{
    ULONGLONG nOffset;
    ULONGLONG cb;
};

bool Inside(const IByteSource& source, ULONGLONG nOffset, ULONGLONG cb)
{
    const ULONGLONG cbSource = source.Size();
    return nOffset <= cbSource && cb <= cbSource - nOffset;
}

// Reads a range only once it is known to lie inside the source.
bool ReadInside(IByteSource& source, ULONGLONG nOffset, ULONGLONG cb, void* pBuffer)
{
    return cb <= MAXDWORD && Inside(source, nOffset, cb) &&
           source.Read(nOffset, static_cast<DWORD>(cb), pBuffer);
}

ULONGLONG EntryBytes(const IMAGE_RESOURCE_DIRECTORY& directory)
{
    return (static_cast<ULONGLONG>(directory.NumberOfNamedEntries) + directory.NumberOfIdEntries) *
           sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
}

typedef std::vector<IMAGE_RESOURCE_DIRECTORY_ENTRY> Entries;

// The entry of an id among a directory's id entries, searched as the system
// searches them: as sorted, so that an unsorted directory hides here what it
// hides there.
const IMAGE_RESOURCE_DIRECTORY_ENTRY* FindId(const Entries& ids, WORD nId)
{
    int nMin = 0;
    int nMax = static_cast<int>(ids.size()) - 1;
    while (nMin <= nMax) {
        const int nPos = (nMin + nMax) / 2;
        const WORD nEntryId = LOWORD(ids[nPos].Name);
        if (nEntryId == nId)
            return &ids[nPos];
        if (nEntryId > nId)
            nMax = nPos - 1;
        else
            nMin = nPos + 1;
    }
    return NULL;
}

// Where the resource directory is, read from the fields where the system
// reads them, whatever size the optional header declares.
template <class NtHeaders>
bool FindResourceDirectory(const NtHeaders& nt, DWORD cbRead, DWORD& nRva, DWORD& cbHeaders)
{
    const DWORD cbNeeded =
        offsetof(NtHeaders, OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE + 1]);
    if (cbRead < cbNeeded || offsetof(NtHeaders, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader < cbNeeded ||
        nt.OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_RESOURCE)
        return false;
    nRva = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    cbHeaders = nt.OptionalHeader.SizeOfHeaders;
    return nRva != 0;
}

// An executable's resource tree, walked as ExtractIconExW walks it in the
// file mapped as data: type, name, first language, three levels and no
// further, so that no damaged tree can make it loop. Each directory is
// checked to lie inside the file with all its entries before it is searched,
// and each piece of data before it is read.
class CResourceTree
{
public:
    explicit CResourceTree(IByteSource& source) : m_source(source), m_nRoot(0) {}

    bool Open(const IMAGE_DOS_HEADER& dos);
    // The group at nIndex among all RT_GROUP_ICON names, named ones first,
    // holding the entries it counts, each naming an RT_ICON image there is.
    bool ReadGroup(int nIndex, std::vector<BYTE>& group);
    bool FindImage(WORD nId, Range& image);

private:
    bool FileOffset(DWORD nRva, ULONGLONG& nOffset) const;
    ULONGLONG Subdirectory(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) const
    {
        return m_nRoot + (entry.OffsetToData & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    }
    bool ReadDirectory(ULONGLONG nDirectory, IMAGE_RESOURCE_DIRECTORY& directory);
    bool ReadIds(ULONGLONG nDirectory, Entries& ids);
    bool ReadData(ULONGLONG nDirectory, Range& data);

    IByteSource& m_source;
    ULONGLONG m_nRoot;  // the resource directory's file offset
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    Entries m_icons;  // RT_ICON's
};

bool CResourceTree::Open(const IMAGE_DOS_HEADER& dos)
{
    union
    {
        IMAGE_NT_HEADERS32 nt32;
        IMAGE_NT_HEADERS64 nt64;
    } headers = {};
    if (dos.e_lfanew < 0)
        return false;
    const ULONGLONG nHeaders = static_cast<ULONGLONG>(dos.e_lfanew);
    const ULONGLONG cbLeft = nHeaders < m_source.Size() ? m_source.Size() - nHeaders : 0;
    const DWORD cbRead = static_cast<DWORD>(cbLeft < sizeof(headers) ? cbLeft : sizeof(headers));
    DWORD nRva = 0;
    DWORD cbHeaders = 0;
    if (cbRead < offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE + 1]) ||
        !ReadInside(m_source, nHeaders, cbRead, &headers) || headers.nt32.Signature != IMAGE_NT_SIGNATURE)
        return false;
    bool bFound = false;
    if (headers.nt32.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        bFound = FindResourceDirectory(headers.nt32, cbRead, nRva, cbHeaders);
    else if (headers.nt32.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        bFound = FindResourceDirectory(headers.nt64, cbRead, nRva, cbHeaders);
    if (!bFound)
        return false;

    // The section table follows the optional header's declared size.
    const IMAGE_FILE_HEADER& file = headers.nt32.FileHeader;
    if (file.NumberOfSections == 0 || file.NumberOfSections > kMaxSections)
        return false;
    m_sections.resize(file.NumberOfSections);
    if (!ReadInside(m_source, nHeaders + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + file.SizeOfOptionalHeader,
                    m_sections.size() * sizeof(m_sections[0]), m_sections.data()))
        return false;
    // As the system finds it in a file mapped as data.
    if (nRva < cbHeaders) {
        m_nRoot = nRva;
        return true;
    }
    return FileOffset(nRva, m_nRoot);
}

// Resource addresses are relative to the image; in the file they are found
// through the first section that holds them, as the system finds them.
bool CResourceTree::FileOffset(DWORD nRva, ULONGLONG& nOffset) const
{
    for (const IMAGE_SECTION_HEADER& section : m_sections) {
        if (section.VirtualAddress <= nRva && section.VirtualAddress + section.SizeOfRawData > nRva) {
            nOffset = static_cast<ULONGLONG>(nRva) - section.VirtualAddress + section.PointerToRawData;
            return true;
        }
    }
    return false;
}

bool CResourceTree::ReadDirectory(ULONGLONG nDirectory, IMAGE_RESOURCE_DIRECTORY& directory)
{
    return ReadInside(m_source, nDirectory, sizeof(directory), &directory) &&
           Inside(m_source, nDirectory + sizeof(directory), EntryBytes(directory));
}

bool CResourceTree::ReadIds(ULONGLONG nDirectory, Entries& ids)
{
    IMAGE_RESOURCE_DIRECTORY directory;
    if (!ReadDirectory(nDirectory, directory) || directory.NumberOfIdEntries == 0)
        return false;
    ids.resize(directory.NumberOfIdEntries);
    return ReadInside(m_source, nDirectory + sizeof(directory) + directory.NumberOfNamedEntries * sizeof(ids[0]),
                      ids.size() * sizeof(ids[0]), ids.data());
}

// The data of a name's directory in its first language, as a range of the
// file.
bool CResourceTree::ReadData(ULONGLONG nDirectory, Range& data)
{
    struct
    {
        IMAGE_RESOURCE_DIRECTORY directory;
        IMAGE_RESOURCE_DIRECTORY_ENTRY first;
    } languages;
    IMAGE_RESOURCE_DATA_ENTRY entry;
    if (!ReadInside(m_source, nDirectory, sizeof(languages), &languages) ||
        !Inside(m_source, nDirectory + sizeof(languages.directory), EntryBytes(languages.directory)) ||
        EntryBytes(languages.directory) == 0 || (languages.first.OffsetToData & IMAGE_RESOURCE_DATA_IS_DIRECTORY) != 0 ||
        !ReadInside(m_source, m_nRoot + languages.first.OffsetToData, sizeof(entry), &entry) ||
        !FileOffset(entry.OffsetToData, data.nOffset))
        return false;
    data.cb = entry.Size;
    return Inside(m_source, data.nOffset, data.cb);
}

bool CResourceTree::ReadGroup(int nIndex, std::vector<BYTE>& group)
{
    Entries types;
    if (!ReadIds(m_nRoot, types))
        return false;
    const IMAGE_RESOURCE_DIRECTORY_ENTRY* pGroups = FindId(types, LOWORD(RT_GROUP_ICON));
    const IMAGE_RESOURCE_DIRECTORY_ENTRY* pIcons = FindId(types, LOWORD(RT_ICON));
    IMAGE_RESOURCE_DIRECTORY groups;
    IMAGE_RESOURCE_DIRECTORY_ENTRY name;
    Range data;
    if (pGroups == NULL || pIcons == NULL || !ReadIds(Subdirectory(*pIcons), m_icons) ||
        !ReadDirectory(Subdirectory(*pGroups), groups) ||
        nIndex >= static_cast<WORD>(groups.NumberOfNamedEntries + groups.NumberOfIdEntries) ||
        !ReadInside(m_source, Subdirectory(*pGroups) + sizeof(groups) + nIndex * sizeof(name), sizeof(name), &name) ||
        !ReadData(Subdirectory(name), data) || data.cb < sizeof(GRPICONDIR) || data.cb > kMaxGroupBytes)
        return false;
    group.resize(static_cast<size_t>(data.cb));
    GRPICONDIR header;
    if (!ReadInside(m_source, data.nOffset, data.cb, group.data()))
        return false;
    memcpy(&header, group.data(), sizeof(header));
    if (header.idCount == 0 || data.cb < sizeof(header) + header.idCount * sizeof(GRPICONDIRENTRY))
        return false;
    for (WORD i = 0; i < header.idCount; ++i) {
        GRPICONDIRENTRY entry;
        memcpy(&entry, &group[sizeof(header) + i * sizeof(entry)], sizeof(entry));
        if (FindId(m_icons, entry.nId) == NULL)
            return false;
    }
    return true;
}

bool CResourceTree::FindImage(WORD nId, Range& image)
{
    const IMAGE_RESOURCE_DIRECTORY_ENTRY* pImage = FindId(m_icons, nId);
    return pImage != NULL && ReadData(Subdirectory(*pImage), image);
}

// Whether the system can make an icon of a DIB within its bytes: a depth,
// size and palette an icon can have (its height counts the image and its
// mask), its colours inside the data.
bool IsPlausible(const BITMAPINFOHEADER& header, ULONGLONG cb)
{
    const WORD nBitCount = header.biBitCount;
    const DWORD nMaxColours = nBitCount <= 8 ? 1u << nBitCount : 256;
    if ((nBitCount != 1 && nBitCount != 4 && nBitCount != 8 && nBitCount != 16 && nBitCount != 24 && nBitCount != 32) ||
        header.biPlanes != 1 || header.biWidth <= 0 || header.biWidth > kMaxImageSize || header.biHeight <= 0 ||
        header.biHeight > 2 * kMaxImageSize || header.biClrUsed > nMaxColours)
        return false;
    const DWORD nColours = header.biClrUsed != 0 || nBitCount > 8 ? header.biClrUsed : nMaxColours;
    return sizeof(header) + nColours * sizeof(RGBQUAD) +
               static_cast<ULONGLONG>(DibRowBytes(header.biWidth, nBitCount)) * (header.biHeight / 2) <=
           cb;
}

// Whether an icon handle would hold the image unchanged: 4 or 8 bits with a
// whole palette, 24 or 32 without one, not compressed, of exactly that size,
// all within cb bytes.
bool IsDecodable(const BITMAPINFOHEADER& header, int cx, int cy, ULONGLONG cb)
{
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
    return header.biPlanes == 1 && header.biCompression == BI_RGB && header.biWidth == cx &&
           header.biHeight == 2 * cy &&
           sizeof(header) + nColours * sizeof(RGBQUAD) +
                   static_cast<ULONGLONG>(DibRowBytes(cx, header.biBitCount) + DibRowBytes(cx, 1)) * cy <=
               cb;
}

// Colours and mask as the icon handle's bitmaps would hold them: palette
// entries and 24-bit pixels as they are, 32-bit pixels with any alpha
// premultiplied as the system does it.
void Decode(const BYTE* pData, const BITMAPINFOHEADER& header, int cx, int cy, IconImage& image)
{
    const int nBitCount = header.biBitCount;
    const BYTE* pPalette = pData + sizeof(header);
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

// The chosen image, read once, then checked and decoded from that one copy.
IconFileResult ReadImage(IByteSource& source, const Range& image, int cx, int cy, IconImage* pImage)
{
    // A decodable image of that size needs no more; of any other, the
    // header is enough.
    const ULONGLONG cbDecodable =
        sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + (DibRowBytes(cx, 32) + DibRowBytes(cx, 1)) * cy;
    std::vector<BYTE> bytes(static_cast<size_t>(image.cb < cbDecodable ? image.cb : cbDecodable));
    BITMAPINFOHEADER header;
    if (bytes.size() < sizeof(kPngSignature) || !ReadInside(source, image.nOffset, bytes.size(), bytes.data()))
        return kIconNone;
    if (memcmp(bytes.data(), kPngSignature, sizeof(kPngSignature)) == 0)
        return kIconNeedsSystem;
    if (bytes.size() < sizeof(header))
        return kIconNone;
    memcpy(&header, bytes.data(), sizeof(header));
    if (header.biSize != sizeof(header) || !IsPlausible(header, image.cb))
        return kIconNone;
    if (pImage == NULL || !IsDecodable(header, cx, cy, bytes.size()))
        return kIconNeedsSystem;
    Decode(bytes.data(), header, cx, cy, *pImage);
    return kIconDecoded;
}

IconFileResult ReadFromExecutable(IByteSource& source, const IMAGE_DOS_HEADER& dos, int nIndex, int cx, int cy,
                                  IconImage* pImage)
{
    CResourceTree tree(source);
    std::vector<BYTE> group;
    if (!tree.Open(dos) || !tree.ReadGroup(nIndex, group))
        return kIconNone;
    const int nId = LookupIconIdFromDirectoryEx(group.data(), TRUE, cx, cy, LR_DEFAULTCOLOR);
    Range image;
    if (nId <= 0 || nId > 0xFFFF || !tree.FindImage(static_cast<WORD>(nId), image))
        return kIconNone;
    return ReadImage(source, image, cx, cy, pImage);
}

// An icon file holds one icon. Its image is chosen from a copy of the
// directory in the group's form, each entry's id its index, as
// ExtractIconExW chooses it.
IconFileResult ReadFromIconFile(IByteSource& source, const ICONDIR& directory, int nIndex, int cx, int cy,
                                IconImage* pImage)
{
    std::vector<ICONDIRENTRY> entries(directory.idCount);
    if (nIndex != 0 || !ReadInside(source, sizeof(directory), entries.size() * sizeof(entries[0]), entries.data()))
        return kIconNone;
    std::vector<BYTE> group(sizeof(GRPICONDIR) + entries.size() * sizeof(GRPICONDIRENTRY));
    memcpy(group.data(), &directory, sizeof(directory));
    for (WORD i = 0; i < directory.idCount; ++i) {
        if (!Inside(source, entries[i].dwImageOffset, entries[i].summary.dwBytesInRes))
            return kIconNone;
        const GRPICONDIRENTRY entry = {entries[i].summary, i};
        memcpy(&group[sizeof(GRPICONDIR) + i * sizeof(entry)], &entry, sizeof(entry));
    }
    const int nImage = LookupIconIdFromDirectoryEx(group.data(), TRUE, cx, cy, LR_DEFAULTCOLOR);
    if (nImage < 0 || nImage >= directory.idCount)
        return kIconNone;
    const Range image = {entries[nImage].dwImageOffset, entries[nImage].summary.dwBytesInRes};
    return ReadImage(source, image, cx, cy, pImage);
}

}  // namespace

// Moving the file pointer and reading costs a tenth of a read at an offset
// under Wine.
bool CFileByteSource::Read(ULONGLONG nOffset, DWORD cb, void* pBuffer)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(nOffset);
    DWORD cbRead = 0;
    return nOffset <= 0x7FFFFFFFFFFFFFFFull && SetFilePointerEx(m_hFile, at, NULL, FILE_BEGIN) &&
           ReadFile(m_hFile, pBuffer, cb, &cbRead, NULL) && cbRead == cb;
}

IconFileResult ReadIconFile(IByteSource& source, int nIndex, int cx, int cy, IconImage* pImage)
{
    // Any icon file is longer than an executable's first header.
    union
    {
        IMAGE_DOS_HEADER dos;
        ICONDIR directory;
    } start;
    if (nIndex < 0 || cx <= 0 || cx > kMaxImageSize || cy <= 0 || cy > kMaxImageSize ||
        !ReadInside(source, 0, sizeof(start), &start))
        return kIconNone;
    if (start.dos.e_magic == IMAGE_DOS_SIGNATURE)
        return ReadFromExecutable(source, start.dos, nIndex, cx, cy, pImage);
    if (start.directory.idReserved == 0 && start.directory.idType == 1 && start.directory.idCount != 0)
        return ReadFromIconFile(source, start.directory, nIndex, cx, cy, pImage);
    return kIconNone;
}
