// Icons read straight from executables against what ExtractIconExW gives for
// the same file and index: wherever the reader takes an icon, the image list
// must get the same image and mask, bit for bit; whatever it leaves is left
// to ExtractIconExW.
#include "icons/IconResource.h"
#include "icons/IconStrip.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <random>
#include <string>
#include <vector>

namespace {

// What an image list holds for one image: its colour pixels, then its mask.
std::vector<DWORD> SlotBits(HIMAGELIST hImageList, int nImage)
{
    IMAGEINFO info;
    if (!ImageList_GetImageInfo(hImageList, nImage, &info))
        return std::vector<DWORD>();
    std::vector<DWORD> bits;
    for (HBITMAP hbm : {info.hbmImage, info.hbmMask}) {
        BITMAP bitmap;
        const std::vector<DWORD> all = testsupport::BitmapPixels(hbm, bitmap);
        if (all.empty())
            return std::vector<DWORD>();
        for (LONG y = info.rcImage.top; y < info.rcImage.bottom; ++y)
            for (LONG x = info.rcImage.left; x < info.rcImage.right; ++x)
                bits.push_back(all[y * bitmap.bmWidth + x]);
    }
    return bits;
}

// Indices nFirst to nEnd - 1 of a file, both ways, each into a masked 16-bit
// image list as the window's: the indices the reader took.
std::vector<int> CompareWithExtraction(const std::wstring& path, int nStart, int nEnd)
{
    HIMAGELIST hExtracted = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
    HIMAGELIST hRead = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
    std::vector<int> read;
    CIconResourceReader reader;
    IconImage image;
    for (int nFirst = nStart; nFirst < nEnd; nFirst += CIconStrip::kImages) {
        CIconStrip extracted(16, 16, 16);
        CIconStrip fromFile(16, 16, 16);
        std::vector<int> indices;
        for (int nIndex = nFirst; nIndex < nEnd && nIndex < nFirst + CIconStrip::kImages; ++nIndex) {
            HICON hIcon = NULL;
            ExtractIconExW(path.c_str(), nIndex, NULL, &hIcon, 1);
            HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
            EXPECT_NE(INVALID_HANDLE_VALUE, hFile);
            const bool bRead = reader.Read(hFile, nIndex, 16, 16, image);
            CloseHandle(hFile);
            if (hIcon == NULL) {
                EXPECT_FALSE(bRead) << "index " << nIndex << " has no icon";
                continue;
            }
            const int nCell = static_cast<int>(indices.size());
            EXPECT_TRUE(extracted.Draw(nCell, hIcon));
            EXPECT_TRUE(bRead ? fromFile.Put(nCell, image) : fromFile.Draw(nCell, hIcon));
            DestroyIcon(hIcon);
            indices.push_back(nIndex);
            if (bRead)
                read.push_back(nIndex);
        }
        const int nCount = static_cast<int>(indices.size());
        if (nCount == 0)
            continue;
        const int nSlotExtracted = extracted.AddTo(hExtracted, nCount);
        const int nSlotRead = fromFile.AddTo(hRead, nCount);
        for (int i = 0; i < nCount; ++i)
            EXPECT_EQ(SlotBits(hExtracted, nSlotExtracted + i), SlotBits(hRead, nSlotRead + i))
                << "index " << indices[i];
    }
    ImageList_Destroy(hExtracted);
    ImageList_Destroy(hRead);
    return read;
}

int IconCount(const std::wstring& path)
{
    return static_cast<int>(ExtractIconExW(path.c_str(), -1, NULL, NULL, 0));
}

// An executable whose icon groups are written by the test.
class CIconFile
{
public:
    CIconFile()
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        m_path = std::wstring(dir) + L"vx-icon-resources-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        CopyFileW((testsupport::ExeDir() + L"\\vx_three_icons.exe").c_str(), m_path.c_str(), FALSE);
        m_hUpdate = BeginUpdateResourceW(m_path.c_str(), TRUE);
        m_nNextId = 1;
    }
    ~CIconFile()
    {
        if (m_hUpdate != NULL)
            EndUpdateResourceW(m_hUpdate, TRUE);
        DeleteFileW(m_path.c_str());
    }

    struct Image
    {
        int nSize;
        int nBitCount;
        std::string data;

        // What a directory entry says of the image before where it is: size,
        // colours, planes, depth and length.
        std::string Entry() const
        {
            const DWORD cb = static_cast<DWORD>(data.size());
            char entry[12] = {static_cast<char>(nSize), static_cast<char>(nSize), 0, 0, 1, 0,
                              static_cast<char>(nBitCount), 0};
            memcpy(entry + 8, &cb, 4);
            return std::string(entry, sizeof(entry));
        }
    };

    // A group of images, by number or, given a name, by name.
    void AddGroup(WORD nGroup, const std::vector<Image>& images, const wchar_t* pszName = NULL)
    {
        std::string group(6, '\0');
        group[2] = 1;
        group[4] = static_cast<char>(images.size());
        for (const Image& image : images) {
            const WORD nId = m_nNextId++;
            UpdateResourceW(m_hUpdate, RT_ICON, MAKEINTRESOURCEW(nId), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                            const_cast<char*>(image.data.data()), static_cast<DWORD>(image.data.size()));
            group += image.Entry();
            group.append(reinterpret_cast<const char*>(&nId), sizeof(nId));
        }
        UpdateResourceW(m_hUpdate, RT_GROUP_ICON, pszName != NULL ? pszName : MAKEINTRESOURCEW(nGroup),
                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &group[0], static_cast<DWORD>(group.size()));
    }

    bool Write()
    {
        const bool bWritten = m_hUpdate != NULL && EndUpdateResourceW(m_hUpdate, FALSE);
        m_hUpdate = NULL;
        return bWritten;
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    HANDLE m_hUpdate;
    WORD m_nNextId;
};

enum Alpha
{
    kNoAlpha,
    kOpaque,
    kAnyAlpha
};

// An icon image of random colours and mask.
CIconFile::Image RandomImage(std::mt19937& random, int nSize, int nBitCount, Alpha alpha = kNoAlpha,
                             DWORD nClrUsed = 0)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = nSize;
    header.biHeight = 2 * nSize;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(nBitCount);
    header.biClrUsed = nClrUsed;
    std::string data(reinterpret_cast<const char*>(&header), sizeof(header));
    const DWORD nColours = nBitCount <= 8 ? (nClrUsed != 0 ? nClrUsed : 1u << nBitCount) : 0;
    for (DWORD i = 0; i < nColours; ++i) {
        const DWORD colour = random() & 0xFFFFFF;
        data.append(reinterpret_cast<const char*>(&colour), 4);
    }
    const int cbRow = static_cast<int>(DibRowBytes(nSize, nBitCount));
    for (int y = 0; y < nSize; ++y) {
        for (int x = 0; x < cbRow; ++x) {
            char byte = static_cast<char>(random());
            if (nBitCount == 32 && x % 4 == 3)
                byte = alpha == kNoAlpha ? 0 : alpha == kOpaque ? '\xFF' : byte;
            data += byte;
        }
    }
    const int cbMaskRow = static_cast<int>(DibRowBytes(nSize, 1));
    for (int i = 0; i < cbMaskRow * nSize; ++i)
        data += static_cast<char>(random());
    return {nSize, nBitCount, data};
}

// An icon file of those images.
std::string IconFileBytes(const std::vector<CIconFile::Image>& images)
{
    std::string bytes(6, '\0');
    bytes[2] = 1;
    bytes[4] = static_cast<char>(images.size());
    DWORD nOffset = static_cast<DWORD>(6 + 16 * images.size());
    for (const CIconFile::Image& image : images) {
        bytes += image.Entry();
        bytes.append(reinterpret_cast<const char*>(&nOffset), sizeof(nOffset));
        nOffset += static_cast<DWORD>(image.data.size());
    }
    for (const CIconFile::Image& image : images)
        bytes += image.data;
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const bool bWritten = WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, NULL) &&
                          cbWritten == bytes.size();
    CloseHandle(hFile);
    return bWritten;
}

}  // namespace

TEST(IconResourceTest, EveryDepthReadsAsExtractedAndTheRestIsLeftToExtraction)
{
    std::mt19937 random(7);
    CIconFile file;
    // Named groups come before numbered ones.
    file.AddGroup(0, {RandomImage(random, 16, 8)}, L"NAMED");
    file.AddGroup(1, {RandomImage(random, 16, 4)});
    file.AddGroup(2, {RandomImage(random, 16, 8)});
    file.AddGroup(3, {RandomImage(random, 16, 24)});
    file.AddGroup(4, {RandomImage(random, 16, 32)});
    file.AddGroup(5, {RandomImage(random, 16, 32, kAnyAlpha)});
    file.AddGroup(6, {RandomImage(random, 16, 32, kOpaque)});
    file.AddGroup(7, {RandomImage(random, 32, 32, kAnyAlpha), RandomImage(random, 16, 4),
                      RandomImage(random, 48, 8)});
    // Left to extraction: monochrome, scaled, a short palette.
    file.AddGroup(8, {RandomImage(random, 16, 1)});
    file.AddGroup(9, {RandomImage(random, 32, 32, kAnyAlpha)});
    file.AddGroup(10, {RandomImage(random, 16, 8, kNoAlpha, 20)});
    ASSERT_TRUE(file.Write());

    ASSERT_EQ(11, IconCount(file.Path()));
    const std::vector<int> read = CompareWithExtraction(file.Path(), 0, 12);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}), read);
}

TEST(IconResourceTest, IconFilesReadAsExtracted)
{
    std::mt19937 random(5);
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"vx-icon-file-" + std::to_wstring(GetCurrentProcessId()) + L".ico";
    const struct
    {
        std::vector<CIconFile::Image> images;
        bool bRead;
    } files[] = {
        {{RandomImage(random, 32, 32, kAnyAlpha), RandomImage(random, 16, 8), RandomImage(random, 16, 4)}, true},
        {{RandomImage(random, 16, 32, kAnyAlpha)}, true},
        {{RandomImage(random, 16, 24)}, true},
        {{RandomImage(random, 32, 8)}, false},
        {{RandomImage(random, 16, 1)}, false},
    };
    for (const auto& file : files) {
        ASSERT_TRUE(WriteBytes(path, IconFileBytes(file.images)));
        // An icon file holds one icon: index 1 has none.
        EXPECT_EQ(file.bRead ? std::vector<int>(1, 0) : std::vector<int>(), CompareWithExtraction(path, 0, 2));
    }
    DeleteFileW(path.c_str());
}

TEST(IconResourceTest, TheSystemIconLibraryReadsAsExtracted)
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    // The system folder of a 32-bit process holds 32-bit libraries; the
    // native one, on 64-bit Windows, 64-bit ones.
    std::vector<std::wstring> paths;
    for (const wchar_t* pszName : {L"\\shell32.dll", L"\\user32.dll", L"\\comctl32.dll"})
        paths.push_back(system + std::wstring(pszName));
    const std::wstring native = windows + std::wstring(L"\\sysnative\\shell32.dll");
    if (GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES)
        paths.push_back(native);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        const int nIcons = IconCount(path);
        const std::vector<int> read = CompareWithExtraction(path, 0, nIcons + 1);
        if (nIcons > 0) {
            EXPECT_GT(read.size(), 0u);
        }
    }
}

// Damaged files: whatever the reader still takes must be what extraction
// gives; it must never read outside the file or loop.
TEST(IconResourceTest, DamagedFilesReadAsExtractedOrNotAtAll)
{
    std::mt19937 random(11);
    std::vector<std::string> originals;
    {
        CIconFile file;
        file.AddGroup(1, {RandomImage(random, 16, 8), RandomImage(random, 32, 24)});
        file.AddGroup(2, {RandomImage(random, 16, 32, kAnyAlpha)});
        ASSERT_TRUE(file.Write());
        std::string bytes;
        HANDLE hFile = CreateFileW(file.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        bytes.resize(GetFileSize(hFile, NULL));
        DWORD cbRead = 0;
        ReadFile(hFile, &bytes[0], static_cast<DWORD>(bytes.size()), &cbRead, NULL);
        CloseHandle(hFile);
        originals.push_back(bytes);
    }
    originals.push_back(IconFileBytes({RandomImage(random, 32, 8), RandomImage(random, 16, 32, kAnyAlpha)}));

    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"vx-damaged-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    CIconResourceReader reader;
    IconImage image;
    int nTaken = 0;
    for (int nRun = 0; nRun < 400; ++nRun) {
        std::string damaged = originals[nRun % 2];
        if (nRun % 3 == 0) {
            damaged.resize(random() % damaged.size());
        } else {
            for (int i = 0, n = 1 + random() % 8; i < n; ++i)
                damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                   CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
        DWORD cbWritten = 0;
        WriteFile(hFile, damaged.data(), static_cast<DWORD>(damaged.size()), &cbWritten, NULL);
        for (int nIndex = 0; nIndex < 3; ++nIndex) {
            if (!reader.Read(hFile, nIndex, 16, 16, image))
                continue;
            ++nTaken;
            // Only now is the damage known to stay inside what extraction reads.
            CloseHandle(hFile);
            hFile = INVALID_HANDLE_VALUE;
            SCOPED_TRACE(nRun);
            EXPECT_EQ(std::vector<int>(1, nIndex), CompareWithExtraction(path, nIndex, nIndex + 1));
            break;
        }
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
    DeleteFileW(path.c_str());
    EXPECT_GT(nTaken, 0);
}
