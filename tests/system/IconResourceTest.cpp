// Icons read straight from files against what ExtractIconExW gives for the
// same file and index: wherever the reader takes an icon, the image list
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

using testsupport::IconImageData;

namespace {

// What an image list holds for one image: its colour pixels, then its mask.
std::vector<DWORD> SlotBits(HIMAGELIST hImageList, int nImage)
{
    IMAGEINFO info;
    std::vector<DWORD> bits;
    if (!ImageList_GetImageInfo(hImageList, nImage, &info))
        return bits;
    for (HBITMAP hbm : {info.hbmImage, info.hbmMask}) {
        BITMAP bitmap;
        const std::vector<DWORD> all = testsupport::BitmapPixels(hbm, bitmap);
        for (LONG y = info.rcImage.top; y < info.rcImage.bottom && !all.empty(); ++y)
            for (LONG x = info.rcImage.left; x < info.rcImage.right; ++x)
                bits.push_back(all[y * bitmap.bmWidth + x]);
    }
    return bits;
}

// Indices nStart to nEnd - 1 of a file, both ways, each into a masked 16-bit
// image list as the window's: the indices the reader took.
std::vector<int> CompareWithExtraction(const std::wstring& path, int nStart, int nEnd)
{
    HIMAGELIST hExtracted = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
    HIMAGELIST hRead = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
    std::vector<int> read;
    CIconResourceReader reader;
    IconImage image;
    for (int nIndex = nStart; nIndex < nEnd; ++nIndex) {
        HICON hIcon = NULL;
        ExtractIconExW(path.c_str(), nIndex, NULL, &hIcon, 1);
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        const bool bRead = reader.Read(hFile, nIndex, 16, 16, image);
        CloseHandle(hFile);
        EXPECT_TRUE(hIcon != NULL || !bRead) << "index " << nIndex << " has no icon";
        if (hIcon == NULL)
            continue;
        // A strip of two, to place the image at a later cell too.
        CIconStrip extracted(16, 16, 16);
        CIconStrip fromFile(16, 16, 16);
        for (int nCell : {0, 1}) {
            EXPECT_TRUE(extracted.Draw(nCell, hIcon));
            EXPECT_TRUE(bRead ? fromFile.Put(nCell, image) : fromFile.Draw(nCell, hIcon));
        }
        DestroyIcon(hIcon);
        const int nSlotExtracted = extracted.AddTo(hExtracted, 2), nSlotRead = fromFile.AddTo(hRead, 2);
        for (int i : {0, 1})
            EXPECT_EQ(SlotBits(hExtracted, nSlotExtracted + i), SlotBits(hRead, nSlotRead + i)) << "index " << nIndex;
        if (bRead)
            read.push_back(nIndex);
    }
    ImageList_Destroy(hExtracted);
    ImageList_Destroy(hRead);
    return read;
}

// An icon image of random colours and mask; 32-bit pixels without alpha
// unless asked, palette entries never with it.
IconImageData RandomImage(std::mt19937& random, int nSize, int nBitCount, bool bAlpha = false, DWORD nClrUsed = 0)
{
    const DWORD cbPalette = nBitCount <= 8 ? 4 * (nClrUsed != 0 ? nClrUsed : 1u << nBitCount) : 0;
    const DWORD cbPixels = DibRowBytes(nSize, nBitCount) * nSize;
    std::string body(cbPalette + cbPixels + DibRowBytes(nSize, 1) * nSize, '\0');
    for (DWORD i = 0; i < body.size(); ++i) {
        const bool bZero = i % 4 == 3 && (i < cbPalette || (nBitCount == 32 && !bAlpha && i < cbPixels));
        body[i] = bZero ? '\0' : static_cast<char>(random());
    }
    return testsupport::IconImage(nSize, nBitCount, body, nClrUsed);
}

// A copy of vx_three_icons.exe whose icon groups are the test's, each
// numbered by its place from 1; given a name, the first one by that name.
bool WriteExecutable(const std::wstring& path, const std::vector<std::vector<IconImageData>>& groups,
                     const wchar_t* pszFirstName = NULL)
{
    CopyFileW((testsupport::ExeDir() + L"\\vx_three_icons.exe").c_str(), path.c_str(), FALSE);
    HANDLE hUpdate = BeginUpdateResourceW(path.c_str(), TRUE);
    const WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    WORD nId = 1;
    for (size_t nGroup = 0; nGroup < groups.size(); ++nGroup) {
        std::string group(6, '\0');
        group[2] = 1;
        group[4] = static_cast<char>(groups[nGroup].size());
        for (const IconImageData& image : groups[nGroup]) {
            UpdateResourceW(hUpdate, RT_ICON, MAKEINTRESOURCEW(nId), kNeutral, const_cast<char*>(image.data.data()),
                            static_cast<DWORD>(image.data.size()));
            group += testsupport::IconEntry(image);
            group.append(reinterpret_cast<const char*>(&nId), sizeof(nId));
            ++nId;
        }
        const wchar_t* pszName = nGroup == 0 && pszFirstName != NULL ? pszFirstName : MAKEINTRESOURCEW(nGroup + 1);
        UpdateResourceW(hUpdate, RT_GROUP_ICON, pszName, kNeutral, &group[0], static_cast<DWORD>(group.size()));
    }
    return hUpdate != NULL && EndUpdateResourceW(hUpdate, FALSE);
}

}  // namespace

TEST(IconResourceTest, EveryDepthReadsAsExtractedAndTheRestIsLeftToExtraction)
{
    std::mt19937 random(7);
    const std::wstring exe = testsupport::TempPath(L"vx-icon-resources.exe");
    // The named group comes before the numbered ones; a monochrome, a scaled
    // and a short palette image are left to extraction.
    ASSERT_TRUE(WriteExecutable(
        exe, {{RandomImage(random, 16, 8)}, {RandomImage(random, 16, 4)}, {RandomImage(random, 16, 24)},
              {RandomImage(random, 16, 32)}, {RandomImage(random, 16, 32, true)},
              {RandomImage(random, 32, 32, true), RandomImage(random, 16, 4), RandomImage(random, 48, 8)},
              {RandomImage(random, 16, 1)}, {RandomImage(random, 32, 32, true)},
              {RandomImage(random, 16, 8, false, 20)}},
        L"NAMED"));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), CompareWithExtraction(exe, 0, 10));
    DeleteFileW(exe.c_str());
}

// The system folder of a 32-bit process holds 32-bit libraries; the native
// one, on 64-bit Windows, 64-bit ones.
TEST(IconResourceTest, TheSystemIconLibrariesReadAsExtracted)
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* pszFolder : {L"\\system32", L"\\sysnative"}) {
        const std::wstring path = windows + std::wstring(pszFolder) + L"\\shell32.dll";
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const int nIcons = static_cast<int>(ExtractIconExW(path.c_str(), -1, NULL, NULL, 0));
        EXPECT_GT(nIcons, 0) << pszFolder;
        EXPECT_LT(0u, CompareWithExtraction(path, 0, nIcons + 1).size()) << pszFolder;
    }
}

// Damaged files, cut short or with bytes changed: the reader must stay inside
// the file and never loop, and what it still takes must be what extraction
// gives.
TEST(IconResourceTest, DamagedFilesReadAsExtractedOrNotAtAll)
{
    std::mt19937 random(11);
    const std::wstring path = testsupport::TempPath(L"vx-damaged.exe");
    ASSERT_TRUE(WriteExecutable(path, {{RandomImage(random, 16, 8), RandomImage(random, 32, 24)}}));
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    std::string original(GetFileSize(hFile, NULL), '\0');
    DWORD cb = 0;
    const BOOL bReadAll = ReadFile(hFile, &original[0], static_cast<DWORD>(original.size()), &cb, NULL);
    CloseHandle(hFile);
    ASSERT_TRUE(bReadAll && cb == original.size());

    CIconResourceReader reader;
    IconImage image;
    int nTaken = 0;
    for (int nRun = 0; nRun < 100; ++nRun) {
        std::string damaged = original;
        if (nRun % 3 == 0) {
            damaged.resize(random() % damaged.size());
        } else {
            for (int i = 0, n = 1 + random() % 8; i < n; ++i)
                damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        ASSERT_TRUE(testsupport::WriteBytes(path, damaged));
        hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        const bool bRead = reader.Read(hFile, 0, 16, 16, image);
        CloseHandle(hFile);
        // Only what the reader took is known to lie inside what extraction reads.
        if (bRead) {
            ++nTaken;
            EXPECT_EQ(std::vector<int>{0}, CompareWithExtraction(path, 0, 1)) << "run " << nRun;
        }
    }
    DeleteFileW(path.c_str());
    EXPECT_GT(nTaken, 0);
}
