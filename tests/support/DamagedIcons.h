#pragma once

// Sound icon files and executables built in memory, the places of the fields
// a damaged file gets wrong, and damaged variants; layouts spelled out here.

#include "support/ImagePixels.h"

#include <windows.h>

#include <stddef.h>

#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

template <class T>
std::string Bytes(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

// One image: what directory entries say of it before its place (size,
// colours, planes, depth, length), and its header, palette, pixels and mask.
struct IconImageData
{
    std::string summary;
    std::string data;
};

inline IconImageData ImageData(int nSize, int nBitCount, const std::string& body, DWORD nClrUsed = 0)
{
    const std::string data = Bytes(DibHeader(nSize, 2 * nSize, nBitCount, nClrUsed)) + body;
    const WORD summary[6] = {static_cast<WORD>(nSize % 256 * 0x101), 0, 1, static_cast<WORD>(nBitCount),
                             LOWORD(data.size()), HIWORD(data.size())};
    return {Bytes(summary), data};
}

// A square image of one colour, opaque.
inline IconImageData SolidImage(int nSize, DWORD colour)
{
    std::string body;
    for (int i = 0; i < nSize * nSize; ++i)
        body += Bytes(0xFF000000 | colour);
    return ImageData(nSize, 32, body + std::string((nSize + 31) / 32 * 4 * nSize, '\0'));
}

enum Damage { kCountTooLarge, kOffsetPastEnd, kSizeNear2GB, kMissingId, kImpossibleDepth, kImpossibleHeight,
              kImpossiblePalette, kWidthBeyondData };

// Per damage: the lowest value, how many above it, the field's bytes.
const struct
{
    DWORD nLow;
    DWORD nSpread;
    size_t cb;
} kDamages[] = {{0x4000, 0xC000, 2}, {0x10000000, 0x60000000, 4}, {0x7FFF0000, 0x20000, 4}, {0x7000, 0x1000, 2},
                {33, 0xFFDF, 2},     {513, 0xFFFFFC00, 4},        {257, 0x7FFFFFFF, 4},    {64, 193, 4}};

typedef std::initializer_list<std::pair<size_t, Damage>> Fields;

// A sound container and the fields on the way to its last image, the one
// chosen at 16 x 16.
struct Container
{
    std::string bytes;
    std::vector<std::pair<size_t, Damage>> fields;
    std::vector<size_t> ends;  // of each structure before that image's end
    size_t nDirectories;       // from here to the first image
    size_t nImages;
};

// Appends a structure; with bOnPath, its fields (offset in it, damage).
inline void Append(Container& c, const std::string& bytes, bool bOnPath = false, Fields fields = {})
{
    for (const std::pair<size_t, Damage>& field : fields)
        if (bOnPath)
            c.fields.push_back({c.bytes.size() + field.first, field.second});
    c.bytes += bytes;
    c.ends.push_back(c.bytes.size());
}

// The images, and data after them as most files have.
inline void AddImages(Container& c, const std::vector<IconImageData>& images)
{
    c.nImages = c.bytes.size();
    for (const IconImageData& image : images) {
        c.ends.push_back(c.bytes.size() + sizeof(BITMAPINFOHEADER));
        c.bytes += image.data;
        c.ends.push_back(c.bytes.size());
    }
    c.ends.pop_back();
    for (const std::pair<size_t, Damage>& field : Fields{{offsetof(BITMAPINFOHEADER, biBitCount), kImpossibleDepth},
                                                          {offsetof(BITMAPINFOHEADER, biWidth), kWidthBeyondData},
                                                          {offsetof(BITMAPINFOHEADER, biHeight), kImpossibleHeight},
                                                          {offsetof(BITMAPINFOHEADER, biClrUsed), kImpossiblePalette}})
        c.fields.push_back({c.bytes.size() - images.back().data.size() + field.first, field.second});
    c.bytes.append(4096, '\x5A');
}

// An icon file: its directory, an entry per image, the images.
inline Container IconFileContainer(const std::vector<IconImageData>& images)
{
    Container c = {};
    const WORD directory[3] = {0, 1, static_cast<WORD>(images.size())};
    Append(c, Bytes(directory), true, {{4, kCountTooLarge}});
    DWORD nOffset = static_cast<DWORD>(sizeof(directory) + 16 * images.size());
    for (const IconImageData& image : images) {
        Append(c, image.summary, true, {{8, kSizeNear2GB}});
        Append(c, Bytes(nOffset), true, {{0, kOffsetPastEnd}});
        nOffset += static_cast<DWORD>(image.data.size());
    }
    AddImages(c, images);
    return c;
}

// An executable as a linker lays it out: headers, one resource section with
// the tree (a language per name), data entries, groups and images. The first
// group may be named, by a name of no characters: the root's first word.
inline Container ExecutableContainer(const std::vector<std::vector<IconImageData>>& groups, bool bFirstNamed = false)
{
    const DWORD kSection = 0x200, kRva = 0x1000, kDirectory = IMAGE_RESOURCE_DATA_IS_DIRECTORY;
    std::vector<IconImageData> images;
    for (const std::vector<IconImageData>& group : groups)
        images.insert(images.end(), group.begin(), group.end());
    const DWORD n = static_cast<DWORD>(images.size()), m = static_cast<DWORD>(groups.size());
    // Offsets from the tree's root of the names, languages, data entries, pieces.
    const DWORD nGroupNames = 48 + 8 * n, nLanguages = nGroupNames + 16 + 8 * m, nData = nLanguages + 24 * (m + n);
    std::vector<std::pair<DWORD, DWORD>> pieces;
    DWORD cbResources = nData + 16 * (m + n);
    for (DWORD i = 0; i < m + n; ++i) {
        pieces.push_back({cbResources, static_cast<DWORD>(i < m ? 6 + 14 * groups[i].size() : images[i - m].data.size())});
        cbResources += pieces.back().second;
    }

    Container c = {};
    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = sizeof(dos);
    Append(c, Bytes(dos), true, {{offsetof(IMAGE_DOS_HEADER, e_lfanew), kOffsetPastEnd}});
    IMAGE_NT_HEADERS32 nt = {};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.NumberOfSections = 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(nt.OptionalHeader);
    nt.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    nt.OptionalHeader.SizeOfHeaders = kSection;
    nt.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kRva, cbResources};
    Append(c, Bytes(nt), true,
           {{offsetof(IMAGE_NT_HEADERS32, FileHeader.NumberOfSections), kCountTooLarge},
            {offsetof(IMAGE_NT_HEADERS32, FileHeader.SizeOfOptionalHeader), kCountTooLarge},
            {offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE]), kOffsetPastEnd}});
    IMAGE_SECTION_HEADER section = {};
    section.VirtualAddress = kRva;
    section.SizeOfRawData = cbResources;
    section.PointerToRawData = kSection;
    Append(c, Bytes(section), true, {{offsetof(IMAGE_SECTION_HEADER, PointerToRawData), kOffsetPastEnd}});
    c.bytes.resize(kSection, '\0');
    c.nDirectories = kSection;

    // (name, offset) entries, the first nNamed named, the last nOnPath on the way.
    auto directory = [&c](const std::vector<std::pair<DWORD, DWORD>>& entries, size_t nOnPath, WORD nNamed) {
        IMAGE_RESOURCE_DIRECTORY header = {};
        header.NumberOfNamedEntries = nNamed;
        header.NumberOfIdEntries = static_cast<WORD>(entries.size() - nNamed);
        Append(c, Bytes(header), nOnPath > 0,
               {{offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfNamedEntries), kCountTooLarge},
                {offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries), kCountTooLarge}});
        for (size_t i = 0; i < entries.size(); ++i) {
            const DWORD entry[2] = {entries[i].first, entries[i].second};  // name, offset
            Append(c, Bytes(entry), i + nOnPath >= entries.size(),
                   {{offsetof(IMAGE_RESOURCE_DIRECTORY_ENTRY, OffsetToData), kOffsetPastEnd}});
        }
    };
    directory({{LOWORD(RT_ICON), kDirectory | 32}, {LOWORD(RT_GROUP_ICON), kDirectory | nGroupNames}}, 2, 0);
    std::vector<std::pair<DWORD, DWORD>> names[2];  // of the images, of the groups
    for (DWORD i = 0; i < m + n; ++i)
        names[i < m].push_back({(i < m ? i : i - m) + 1, kDirectory | (nLanguages + 24 * i)});
    names[1][0].first = bFirstNamed ? IMAGE_RESOURCE_NAME_IS_STRING : 1;
    directory(names[0], 1, 0);
    directory(names[1], 1, bFirstNamed ? 1 : 0);
    for (DWORD i = 0; i < m + n; ++i)
        directory({{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), nData + 16 * i}}, i + 1 == m || i + 1 == m + n, 0);
    for (DWORD i = 0; i < m + n; ++i)
        Append(c, Bytes(IMAGE_RESOURCE_DATA_ENTRY{kRva + pieces[i].first, pieces[i].second, 0, 0}),
               i + 1 == m || i + 1 == m + n,
               {{offsetof(IMAGE_RESOURCE_DATA_ENTRY, OffsetToData), kOffsetPastEnd},
                {offsetof(IMAGE_RESOURCE_DATA_ENTRY, Size), kSizeNear2GB}});
    // Each group: its directory, then per image a summary and the image's id.
    WORD nId = 1;
    for (DWORD g = 0; g < m; ++g) {
        const WORD group[3] = {0, 1, static_cast<WORD>(groups[g].size())};
        Append(c, Bytes(group), g + 1 == m, {{4, kCountTooLarge}});
        for (const IconImageData& image : groups[g]) {
            Append(c, image.summary);
            Append(c, Bytes(nId++), g + 1 == m, {{0, kMissingId}});
        }
    }
    AddImages(c, images);
    return c;
}

// An icon file and an executable of a 32 x 32 green and a 16 x 16 red image.
inline std::vector<Container> RedAndGreenContainers()
{
    const std::vector<IconImageData> images = {SolidImage(32, 0x00FF00), SolidImage(16, 0xFF0000)};
    return {IconFileContainer(images), ExecutableContainer({images})};
}

// A field damaged or the file cut at a structure's end (bNoIcon: no icon
// then), or bytes of its directories changed at random.
inline std::string Damaged(const Container& c, int nVariant, std::mt19937& random, bool& bNoIcon)
{
    std::string bytes = c.bytes;
    bNoIcon = nVariant % 3 != 2;
    if (nVariant % 3 == 0) {
        const std::pair<size_t, Damage>& field = c.fields[nVariant / 3 % c.fields.size()];
        const DWORD value = kDamages[field.second].nLow + random() % kDamages[field.second].nSpread;
        bytes.replace(field.first, kDamages[field.second].cb, reinterpret_cast<const char*>(&value),
                      kDamages[field.second].cb);
    } else if (nVariant % 3 == 1) {
        bytes.resize(c.ends[nVariant / 3 % c.ends.size()]);
    } else {
        for (int i = 0, nBytes = 1 + random() % 8; i < nBytes; ++i)
            bytes[c.nDirectories + random() % (c.nImages - c.nDirectories)] = static_cast<char>(random());
    }
    return bytes;
}

}  // namespace testsupport
