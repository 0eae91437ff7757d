// The icon cache over real files: which slot each entry gets, what the slot
// shows, and when a file is read again.
#include "icons/IconCache.h"
#include "inventory/UninstallScan.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Drawn colours, 0xRRGGBB, of whole channels that a 16-bit image list keeps
// apart; 0 stands for no icon, kMixed for a slot not of one colour.
const DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF;
const DWORD kMixed = 1;

// A 16 x 16 icon file of one colour, padded to another length.
std::string IconBytes(DWORD colour, size_t cbPadding = 0)
{
    const DWORD pixel = 0xFF000000 | colour;
    std::string body;
    for (int i = 0; i < 256; ++i)
        body.append(reinterpret_cast<const char*>(&pixel), 4);
    body.append(64, '\0');
    return testsupport::IconFileBytes({testsupport::IconImage(16, 32, body)}) + std::string(cbPadding, '\0');
}

UninstallRecord Record(const std::wstring& keyName, const std::wstring& displayIcon)
{
    return {keyName.c_str(), keyName.c_str(), L"x.exe", !displayIcon.empty(), displayIcon.c_str()};
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

    std::wstring File(const std::wstring& name)
    {
        return *m_files.insert(m_dir + L"\\" + name).first;
    }

    // Writes an icon file with a last-write time days after 2020-01-01, which
    // the cache trusts at once.
    std::wstring WriteIcon(const std::wstring& name, DWORD colour, int nDay = 1, size_t cbPadding = 0)
    {
        ULARGE_INTEGER time;
        time.QuadPart = 132223104000000000ULL + nDay * 864000000000ULL;
        const FILETIME ftWrite = {time.LowPart, time.HighPart};
        EXPECT_TRUE(testsupport::WriteBytes(File(name), IconBytes(colour, cbPadding), &ftWrite));
        return File(name);
    }

    // Each record looked up as an HKEY_CURRENT_USER entry of the 32-bit view.
    std::vector<int> LookUp(const std::vector<UninstallRecord>& records)
    {
        m_cache.BeginRefresh(m_hImageList);
        std::vector<int> icons;
        for (const UninstallRecord& record : records)
            icons.push_back(m_cache.Lookup(HKEY_CURRENT_USER, false, record, true, NULL));
        m_cache.EndRefresh();
        return icons;
    }

    // What the slot of each icon shows.
    std::vector<DWORD> Shown(const std::vector<int>& icons)
    {
        std::vector<DWORD> colours;
        for (int nIcon : icons) {
            const int nSlot = m_cache.GetImage(nIcon);
            const std::vector<DWORD> pixels = testsupport::DrawnOnWhite(m_hImageList, nSlot);
            DWORD colour = 0;
            for (DWORD channel : {0xFF0000u, 0x00FF00u, 0x0000FFu})
                colour |= nSlot != 0 && (pixels.at(0) & channel & 0x808080) != 0 ? channel : 0;
            for (DWORD pixel : pixels)
                colour = nSlot != 0 && pixel != pixels[0] ? kMixed : colour;
            colours.push_back(colour);
        }
        return colours;
    }

    // One refresh with every new icon loaded.
    std::vector<DWORD> Refresh(const std::vector<UninstallRecord>& records)
    {
        std::vector<int> icons = LookUp(records);
        m_cache.LoadPending(1e9);
        EXPECT_FALSE(m_cache.HasPending());
        return Shown(icons);
    }

    int ImageCount() { return ImageList_GetImageCount(m_hImageList); }

    const std::wstring m_dir = testsupport::TempPath(L"vx-icon-cache");
    std::set<std::wstring> m_files;
    HIMAGELIST m_hImageList = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 256);
    CIconCache m_cache;
};

}  // namespace

TEST_F(IconCacheTest, AFileIsReadAgainWhenItsSizeOrTimeChanges)
{
    const std::vector<UninstallRecord> records = {Record(L"a", File(L"changing.ico"))};
    const struct
    {
        DWORD colour;
        int nDay;
        size_t cbPadding;
        DWORD shown;
    } writes[] = {{kRed, 1, 0, kRed}, {kGreen, 1, 0, kRed}, {kGreen, 2, 0, kGreen}, {kBlue, 2, 8, kBlue}};
    for (const auto& w : writes) {
        WriteIcon(L"changing.ico", w.colour, w.nDay, w.cbPadding);
        EXPECT_EQ(std::vector<DWORD>{w.shown}, Refresh(records)) << w.colour;
    }
    EXPECT_EQ(2, ImageCount());

    // Gone, then back: no icon while it is gone, and nothing left waiting.
    DeleteFileW(File(L"changing.ico").c_str());
    EXPECT_EQ(std::vector<DWORD>{0}, Refresh(records));
    EXPECT_EQ(1, ImageCount());
    LookUp(records);
    EXPECT_FALSE(m_cache.HasPending()) << "a file still missing";
    WriteIcon(L"changing.ico", kRed, 3);
    EXPECT_EQ(std::vector<DWORD>{kRed}, Refresh(records));
}

// Entries change their icons refresh after refresh, freeing slots in the
// middle and at the end; two texts (5 and 0) name one icon. Each entry shows
// its own, and the image list holds the default icon and one slot per icon in
// use, no more.
TEST_F(IconCacheTest, SlotsFollowTheIconsInUse)
{
    const DWORD colours[] = {kRed, kGreen, kBlue, kYellow, kCyan, kRed};
    std::vector<std::wstring> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(WriteIcon(std::to_wstring(i) + L".ico", colours[i]));
    files.push_back(files[0] + L",0");
    const std::vector<int> rounds[] = {{0, 1, 2, 3}, {0, 2, 3}, {3, 0, 5}, {1, 4, 2}, {}, {4, 3, 2, 1, 0}, {5}};
    for (const std::vector<int>& round : rounds) {
        std::vector<UninstallRecord> records;
        std::vector<DWORD> expected;
        for (size_t i = 0; i < round.size(); ++i) {
            records.push_back(Record(std::to_wstring(i), files[round[i]]));
            expected.push_back(colours[round[i]]);
        }
        EXPECT_EQ(expected, Refresh(records));
        EXPECT_EQ(1 + std::set<DWORD>(expected.begin(), expected.end()).size(), static_cast<size_t>(ImageCount()));
    }
}
