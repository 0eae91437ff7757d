// Icons read straight from files against what ExtractIconExW gives for the
// same file and index: wherever the reader takes an icon, the image list
// must get the same image and mask, bit for bit; whatever it leaves is left
// to ExtractIconExW.
#include "icons/IconResource.h"
#include "icons/IconStrip.h"
#include "support/DamagedIcons.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <random>
#include <string>
#include <vector>

using testsupport::IconImageData;

namespace {

// Indices 0 to nEnd - 1 of a file, both ways, each into a masked 16-bit
// image list as the window's: the indices the reader took. The reader finds
// no icon exactly where extraction finds none.
std::vector<int> CompareWithExtraction(const std::wstring& path, int nEnd)
{
    HIMAGELIST hList = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 4, 16);
    std::vector<int> read;
    IconImage image;
    for (int nIndex = 0; nIndex < nEnd; ++nIndex) {
        HICON hIcon = NULL;
        ExtractIconExW(path.c_str(), nIndex, NULL, &hIcon, 1);
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        LARGE_INTEGER cbFile = {};
        GetFileSizeEx(hFile, &cbFile);
        CFileByteSource file(hFile, cbFile.QuadPart);
        const IconFileResult result = ReadIconFile(file, nIndex, 16, 16, &image);
        CloseHandle(hFile);
        EXPECT_EQ(hIcon != NULL, result != kIconNone) << "index " << nIndex;
        if (hIcon == NULL)
            continue;
        // Strips of two, to place the image at a later cell too.
        CIconStrip extracted(16, 16, 16), fromFile(16, 16, 16);
        for (int nCell : {0, 1}) {
            EXPECT_TRUE(extracted.Draw(nCell, hIcon));
            EXPECT_TRUE(result == kIconDecoded ? fromFile.Put(nCell, image) : fromFile.Draw(nCell, hIcon));
        }
        DestroyIcon(hIcon);
        const int nExtracted = extracted.AddTo(hList, 2), nRead = fromFile.AddTo(hList, 2);
        // The colours alone, then the mask alone.
        for (int i : {0, 1})
            for (UINT nStyle : {ILD_IMAGE, ILD_MASK})
                EXPECT_EQ(testsupport::DrawnOnWhite(hList, nExtracted + i, nStyle),
                          testsupport::DrawnOnWhite(hList, nRead + i, nStyle))
                    << "index " << nIndex;
        if (result == kIconDecoded)
            read.push_back(nIndex);
    }
    ImageList_Destroy(hList);
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
    return testsupport::ImageData(nSize, nBitCount, body, nClrUsed);
}

}  // namespace

TEST(IconResourceTest, EveryDepthAndTheSystemLibrariesReadAsExtracted)
{
    std::mt19937 random(7);
    const std::wstring exe = testsupport::TempPath(L"vx-icon-resources.exe");
    // The named group comes before the numbered ones; a monochrome, a scaled
    // and a short palette image are left to extraction.
    ASSERT_TRUE(testsupport::WriteBytes(
        exe, testsupport::ExecutableContainer(
                 {{RandomImage(random, 16, 8)}, {RandomImage(random, 16, 4)}, {RandomImage(random, 16, 24)},
                  {RandomImage(random, 16, 32)}, {RandomImage(random, 16, 32, true)},
                  {RandomImage(random, 32, 32, true), RandomImage(random, 16, 4), RandomImage(random, 48, 8)},
                  {RandomImage(random, 16, 1)}, {RandomImage(random, 32, 32, true)},
                  {RandomImage(random, 16, 8, false, 20)}},
                 true)
                 .bytes));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), CompareWithExtraction(exe, 10));
    DeleteFileW(exe.c_str());

    // The 32-bit system libraries, and the native ones on 64-bit Windows.
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* pszFolder : {L"\\system32", L"\\sysnative"}) {
        const std::wstring path = windows + std::wstring(pszFolder) + L"\\shell32.dll";
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const int nIcons = static_cast<int>(ExtractIconExW(path.c_str(), -1, NULL, NULL, 0));
        EXPECT_GT(nIcons, 0) << pszFolder;
        EXPECT_LT(0u, CompareWithExtraction(path, nIcons + 1).size()) << pszFolder;
    }
}
