// The icon cache and its reader over real files, damaged ones, and one that
// holds the reader up.
#include "icons/IconCache.h"
#include "icons/Path.h"
#include "support/DamagedIcons.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Colours a 16-bit image list keeps apart; 0: no icon, kMixed: not one colour.
const DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF,
            kMagenta = 0xFF00FF, kMixed = 1;

// Bytes in memory that fail the test when asked for any outside them.
class CCheckedBytes : public IByteSource
{
public:
    explicit CCheckedBytes(const std::string& bytes) : m_bytes(bytes) {}

    ULONGLONG Size() const override { return m_bytes.size(); }
    bool Read(ULONGLONG nOffset, DWORD cb, void* pBuffer) override
    {
        const bool bInside = nOffset <= m_bytes.size() && cb <= m_bytes.size() - nOffset;
        EXPECT_TRUE(bInside) << cb << " bytes read at " << nOffset << " of " << m_bytes.size();
        if (bInside)
            memcpy(pBuffer, m_bytes.data() + nOffset, cb);
        return bInside;
    }

private:
    const std::string& m_bytes;
};

IconFileResult Read(const std::string& bytes, IconImage* pImage, int nIndex = 0)
{
    CCheckedBytes source(bytes);
    return ReadIconFile(source, nIndex, 16, 16, pImage);
}

HANDLE s_hRelease = NULL;
std::atomic<int> s_nHeldUp(0);

// Every file reads as no icon; "held" first waits until released.
void ReadOrWait(IconRead& read, bool)
{
    if (*read.path == L"held") {
        ++s_nHeldUp;
        WaitForSingleObject(s_hRelease, 20000);
    }
    read.outcome = IconRead::kNoIcon;
}

class IconCacheTest : public ::testing::Test
{
protected:
    IconCacheTest()
    {
        CreateDirectoryW(m_dir.c_str(), NULL);
        ImageList_SetImageCount(m_hImageList, 1);
    }
    ~IconCacheTest() override
    {
        ImageList_Destroy(m_hImageList);
        for (const std::wstring& file : m_files)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    std::wstring File(const std::wstring& name) { return *m_files.insert(m_dir + L"\\" + name).first; }

    // A 16 x 16 icon file of one colour, padded to another size, written days
    // after 2020-01-01: a time the cache trusts at once.
    std::wstring WriteIcon(const std::wstring& name, DWORD colour, int nDay = 1, size_t cbPadding = 0)
    {
        const ULONGLONG nTime = 132223104000000000ULL + nDay * 864000000000ULL;
        const FILETIME ftWrite = {static_cast<DWORD>(nTime), static_cast<DWORD>(nTime >> 32)};
        const std::string bytes = testsupport::IconFileContainer({testsupport::SolidImage(16, colour)}).bytes;
        EXPECT_TRUE(testsupport::WriteBytes(File(name), bytes + std::string(cbPadding, '\0'), &ftWrite));
        return File(name);
    }

    // One refresh of the icons at these locations as the window does it,
    // every new icon loaded: the colour that each one's slot shows.
    std::vector<DWORD> Refresh(const std::vector<std::wstring>& texts)
    {
        std::vector<IconLocation> locations(texts.size());
        std::vector<int> icons;
        CPath path;
        m_cache.BeginRefresh(m_hImageList);
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_TRUE(ParseIconLocation(texts[i].c_str(), false, path, locations[i])) << texts[i];
            icons.push_back(m_cache.Lookup(locations[i]));
        }
        m_cache.EndRefresh();
        m_cache.LoadPending(20000);
        EXPECT_FALSE(m_cache.HasPending());
        std::vector<DWORD> colours;
        for (int nIcon : icons) {
            const int nSlot = m_cache.GetImage(nIcon);
            const std::vector<DWORD> pixels = testsupport::DrawnOnWhite(m_hImageList, nSlot);
            const DWORD colour = nSlot != 0 ? (pixels.at(0) & 0x808080) / 0x80 * 0xFF : 0;
            colours.push_back(nSlot != 0 && std::count(pixels.begin(), pixels.end(), pixels[0]) != 256 ? kMixed : colour);
        }
        return colours;
    }

    const std::wstring m_dir = testsupport::TempPath(L"vx-icon-cache");
    std::set<std::wstring> m_files;
    HIMAGELIST m_hImageList = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 256);
    CIconCache m_cache;
};

}  // namespace

// A file held by another without sharing keeps the icon it showed until a
// refresh after; a missing one shows none.
TEST_F(IconCacheTest, AFileIsReadAgainWhenItsSizeOrTimeChanges)
{
    const std::vector<std::wstring> changing = {File(L"changing.ico")};
    const struct
    {
        DWORD colour;  // 0: the file is deleted
        int nDay;
        size_t cbPadding;
        bool bHeld;
        DWORD shown;
    } steps[] = {{kRed, 1, 0, false, kRed},    {kGreen, 1, 0, false, kRed},   {kGreen, 2, 0, false, kGreen},
                 {kBlue, 2, 8, false, kBlue},  {0, 0, 0, false, 0},           {kRed, 3, 0, false, kRed},
                 {kGreen, 4, 0, true, kRed},   {kGreen, 4, 0, false, kGreen}};
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << s.colour << " on day " << s.nDay);
        if (s.colour != 0)
            WriteIcon(L"changing.ico", s.colour, s.nDay, s.cbPadding);
        else
            DeleteFileW(changing[0].c_str());
        HANDLE hHeld = s.bHeld ? CreateFileW(changing[0].c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) : NULL;
        EXPECT_EQ(std::vector<DWORD>{s.shown}, Refresh(changing));
        EXPECT_EQ(s.shown != 0 ? 2 : 1, ImageList_GetImageCount(m_hImageList));
        if (hHeld != NULL)
            CloseHandle(hHeld);
    }
}

// Damaged icon files and executables give no icon or the image they gave
// before, read from memory (never a byte outside it) or as hundreds of files
// in one refresh, where ExtractIconExW under Wine would read outside them.
TEST_F(IconCacheTest, DamagedFilesGiveNoIconOrTheirOwn)
{
    std::mt19937 random(5);
    std::vector<std::wstring> files;
    std::vector<bool> noIcon;
    for (const testsupport::Container& c : testsupport::RedAndGreenContainers()) {
        IconImage original, image;
        ASSERT_EQ(kIconDecoded, Read(c.bytes, &original));
        EXPECT_EQ(kIconNeedsSystem, Read(c.bytes, NULL));
        EXPECT_EQ(kIconNone, Read(c.bytes, &image, 1));
        EXPECT_EQ(kIconNone, Read(c.bytes, &image, -1));
        int nDecoded = 0;
        for (int nVariant = 0; nVariant < 300; ++nVariant) {
            bool bNoIcon = false;
            const std::string bytes = testsupport::Damaged(c, nVariant, random, bNoIcon);
            const IconFileResult result = Read(bytes, &image);
            EXPECT_TRUE(!bNoIcon || result == kIconNone) << "variant " << nVariant;
            nDecoded += result == kIconDecoded;
            EXPECT_TRUE(result != kIconDecoded || (image.pixels == original.pixels && image.mask == original.mask))
                << "variant " << nVariant;
            if (nVariant % 2 == 0) {
                files.push_back(File(L"damaged" + std::to_wstring(files.size())));
                ASSERT_TRUE(testsupport::WriteBytes(files.back(), bytes));
                noIcon.push_back(bNoIcon);
            }
        }
        EXPECT_GT(nDecoded, 0);
    }
    const std::vector<DWORD> shown = Refresh(files);
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_TRUE(shown[i] == 0 || (!noIcon[i] && (shown[i] == kRed || shown[i] == kGreen))) << "file " << i;
}

// Icons come and go refresh after refresh, freeing slots at the start, in the
// middle and at the end; two texts (3 and 0) name one icon. vx_three_icons.exe
// holds red, green and blue at 16 x 16, other colours at 32 x 32. Each shows
// its own, and the image list holds the default icon and one slot per icon.
TEST_F(IconCacheTest, SlotsFollowTheIconsInUse)
{
    const DWORD colours[] = {kYellow, kCyan, kMagenta, kYellow, kRed, kGreen, kBlue};
    std::vector<std::wstring> files;
    for (int i = 0; i < 3; ++i)
        files.push_back(WriteIcon(std::to_wstring(i) + L".ico", colours[i]));
    files.push_back(files[0] + L",0");
    for (const wchar_t* pszIndex : {L",0", L",1", L",2"})
        files.push_back(testsupport::ExeDir() + L"\\vx_three_icons.exe" + pszIndex);
    const std::vector<int> rounds[] = {{0, 1, 2, 4}, {0, 2, 4}, {4, 0, 3}, {1, 5, 2}, {}, {6, 4, 2, 1, 0}, {3}};
    for (const std::vector<int>& round : rounds) {
        std::vector<std::wstring> texts;
        std::vector<DWORD> expected;
        for (int nFile : round) {
            texts.push_back(files[nFile]);
            expected.push_back(colours[nFile]);
        }
        EXPECT_EQ(expected, Refresh(texts));
        EXPECT_EQ(1 + std::set<DWORD>(expected.begin(), expected.end()).size(),
                  static_cast<size_t>(ImageList_GetImageCount(m_hImageList)));
    }
}

// A file that holds the reader up (a share that does not answer) holds up no
// other: after a second a new thread reads the rest, the file is answered as
// one to read again, and it is not read again while it holds the old thread.
TEST(IconReader, AFileThatHoldsTheReaderUpHoldsUpNoOther)
{
    s_hRelease = CreateEventW(NULL, TRUE, FALSE, NULL);
    CIconReader reader(ReadOrWait);
    int nAsked = 0;
    // The answer to a new read of that file, or -1.
    auto ask = [&](const wchar_t* pszPath, DWORD dwWaitMs) {
        IconRead read;
        read.nIcon = ++nAsked;
        read.path = std::make_shared<const std::wstring>(pszPath);
        reader.Ask(std::move(read));
        std::vector<IconRead> reads;
        for (const DWORD dwStart = GetTickCount();;) {
            reader.Take(reads, 100);
            for (const IconRead& answer : reads) {
                if (answer.nIcon == nAsked)
                    return static_cast<int>(answer.outcome);
            }
            if (GetTickCount() - dwStart >= dwWaitMs)
                return -1;
        }
    };
    EXPECT_EQ(-1, ask(L"held", 200));
    EXPECT_EQ(IconRead::kNoIcon, ask(L"other", 5000)) << "read by a new thread";
    EXPECT_EQ(IconRead::kRetry, ask(L"held", 0)) << "answered at once";
    EXPECT_EQ(1, s_nHeldUp);
    SetEvent(s_hRelease);
    int nOutcome = IconRead::kRetry;
    for (const DWORD dwStart = GetTickCount(); nOutcome == IconRead::kRetry && GetTickCount() - dwStart < 5000;)
        nOutcome = ask(L"held", 1000);
    EXPECT_EQ(IconRead::kNoIcon, nOutcome) << "read again once the old thread is free";
    EXPECT_EQ(2, s_nHeldUp);
    CloseHandle(s_hRelease);
}
