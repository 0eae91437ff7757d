// The icon cache over real files and registry values: which slot each entry
// gets, what the slot shows, and when a file is read again.
#include "icons/IconCache.h"
#include "inventory/ProductCode.h"
#include "inventory/UninstallScan.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const wchar_t kArpCache[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";

// A 16 x 16 icon of one colour, with padding images of other sizes to give
// the file another length.
std::string IconBytes(COLORREF colour, int nPadding = 0)
{
    std::vector<int> sizes(1, 16);
    sizes.insert(sizes.end(), nPadding, 32);
    std::string header(6, '\0');
    header[2] = 1;
    header[4] = static_cast<char>(sizes.size());
    std::string directory;
    std::string images;
    for (int size : sizes) {
        BITMAPINFOHEADER info = {};
        info.biSize = sizeof(info);
        info.biWidth = size;
        info.biHeight = 2 * size;
        info.biPlanes = 1;
        info.biBitCount = 32;
        std::string image(reinterpret_cast<const char*>(&info), sizeof(info));
        const DWORD pixel = 0xFF000000 | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) |
                            GetBValue(colour);
        for (int i = 0; i < size * size; ++i)
            image.append(reinterpret_cast<const char*>(&pixel), 4);
        image.append(size * ((size + 31) / 32) * 4, '\0');
        const DWORD offset = static_cast<DWORD>(6 + 16 * sizes.size() + images.size());
        const DWORD cb = static_cast<DWORD>(image.size());
        char entry[16] = {static_cast<char>(size), static_cast<char>(size), 0, 0, 1, 0, 32, 0};
        memcpy(entry + 8, &cb, 4);
        memcpy(entry + 12, &offset, 4);
        directory.append(entry, 16);
        images += image;
    }
    return header + directory + images;
}

// Days after a fixed old time, which the cache trusts at once.
FILETIME Time(int nDay)
{
    SYSTEMTIME st = {2020, 1, 0, 1, 12, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += nDay * 864000000000ULL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    return ft;
}

void WriteFile(const std::wstring& path, const std::string& bytes, const FILETIME& ftWrite)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD cbWritten = 0;
    EXPECT_TRUE(::WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, NULL));
    EXPECT_TRUE(SetFileTime(hFile, NULL, NULL, &ftWrite));
    CloseHandle(hFile);
}

// The pixel (0xRRGGBB) a slot draws on white, or -1 when it is not solid.
DWORD SlotColour(HIMAGELIST hImageList, int nSlot)
{
    const std::vector<DWORD> pixels = testsupport::DrawnOnWhite(hImageList, nSlot);
    for (DWORD pixel : pixels) {
        if (pixel != pixels[0])
            return static_cast<DWORD>(-1);
    }
    return pixels.empty() ? static_cast<DWORD>(-1) : pixels[0];
}

// The slot shows that colour, as closely as a 16-bit image list keeps it.
::testing::AssertionResult Shows(COLORREF colour, DWORD pixel)
{
    const int channels[3][2] = {{GetRValue(colour), static_cast<int>((pixel >> 16) & 0xFF)},
                                {GetGValue(colour), static_cast<int>((pixel >> 8) & 0xFF)},
                                {GetBValue(colour), static_cast<int>(pixel & 0xFF)}};
    for (const auto& channel : channels) {
        if (pixel == static_cast<DWORD>(-1) || abs(channel[0] - channel[1]) > 8)
            return ::testing::AssertionFailure()
                   << "shows " << std::hex << pixel << ", not "
                   << ((GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
    }
    return ::testing::AssertionSuccess();
}

UninstallRecord Record(const std::wstring& keyName, const std::wstring& displayIcon)
{
    UninstallRecord record;
    record.strKeyName = keyName.c_str();
    record.strDisplayName = keyName.c_str();
    record.strUninstallString = L"x.exe";
    record.bDisplayIcon = !displayIcon.empty();
    record.strDisplayIcon = displayIcon.c_str();
    return record;
}

class IconCacheTest : public ::testing::Test
{
protected:
    IconCacheTest()
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        wchar_t name[64];
        wsprintfW(name, L"vx-icon-cache-%lu", GetCurrentProcessId());
        m_dir = std::wstring(dir) + name;
        CreateDirectoryW(m_dir.c_str(), NULL);
        m_hImageList = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 256);
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
        std::wstring path = m_dir + L"\\" + name;
        m_files.insert(path);
        return path;
    }

    // One refresh over the records, each looked up as an HKEY_CURRENT_USER
    // entry of the 32-bit view, with every new icon loaded; the slot of each.
    std::vector<int> Refresh(const std::vector<UninstallRecord>& records)
    {
        std::vector<int> icons = LookUp(records);
        m_cache.LoadPending(1e9);
        EXPECT_FALSE(m_cache.HasPending());
        return Slots(icons);
    }

    std::vector<int> LookUp(const std::vector<UninstallRecord>& records)
    {
        m_cache.BeginRefresh(m_hImageList);
        std::vector<int> icons;
        for (const UninstallRecord& record : records)
            icons.push_back(m_cache.Lookup(HKEY_CURRENT_USER, false, record, true, NULL));
        m_cache.EndRefresh();
        return icons;
    }

    std::vector<int> Slots(const std::vector<int>& icons)
    {
        std::vector<int> slots;
        for (int nIcon : icons)
            slots.push_back(m_cache.GetImage(nIcon));
        return slots;
    }

    DWORD Colour(int nSlot) { return SlotColour(m_hImageList, nSlot); }
    int ImageCount() { return ImageList_GetImageCount(m_hImageList); }

    std::wstring m_dir;
    std::set<std::wstring> m_files;
    HIMAGELIST m_hImageList;
    CIconCache m_cache;
    testsupport::CWrittenKeys m_written;
};

}  // namespace

TEST_F(IconCacheTest, EntriesNamingOneIconShareItsSlot)
{
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0);
    WriteFile(File(L"red.ico"), IconBytes(red), Time(1));
    WriteFile(File(L"green.ico"), IconBytes(green), Time(1));
    const std::vector<UninstallRecord> records = {
        Record(L"a", File(L"red.ico")),         Record(L"b", File(L"red.ico") + L",0"),
        Record(L"c", File(L"green.ico")),       Record(L"d", File(L"red.ico") + L",1"),
        Record(L"e", File(L"missing.ico")),     Record(L"f", L""),
        Record(L"g", L"\"" + File(L"red.ico") + L"\""),
    };
    const std::vector<int> slots = Refresh(records);
    EXPECT_EQ(slots[0], slots[1]) << "one path and index, two ways of writing it";
    EXPECT_NE(slots[0], slots[2]);
    EXPECT_TRUE(Shows(red, Colour(slots[0])));
    EXPECT_TRUE(Shows(green, Colour(slots[2])));
    for (int i : {3, 4, 5, 6})
        EXPECT_EQ(0, slots[i]) << "entry " << i << ": no such icon, no file, no value, no path";
    EXPECT_EQ(3, ImageCount()) << "the default icon and two others";
}

TEST_F(IconCacheTest, AFileIsReadAgainWhenItsSizeOrTimeChanges)
{
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0), blue = RGB(0, 0, 255);
    const std::wstring path = File(L"changing.ico");
    const std::vector<UninstallRecord> records = {Record(L"a", path)};
    WriteFile(path, IconBytes(red), Time(1));
    EXPECT_TRUE(Shows(red, Colour(Refresh(records)[0])));

    // Same length, same time: the cache keeps what it has.
    WriteFile(path, IconBytes(green), Time(1));
    EXPECT_TRUE(Shows(red, Colour(Refresh(records)[0])));
    WriteFile(path, IconBytes(green), Time(2));
    EXPECT_TRUE(Shows(green, Colour(Refresh(records)[0])));
    WriteFile(path, IconBytes(blue, 1), Time(2));
    EXPECT_TRUE(Shows(blue, Colour(Refresh(records)[0])));
    EXPECT_EQ(2, ImageCount());

    // Gone, then back: no icon while it is gone, and nothing left waiting.
    DeleteFileW(path.c_str());
    EXPECT_EQ(0, Refresh(records)[0]);
    EXPECT_EQ(1, ImageCount());
    LookUp(records);
    EXPECT_FALSE(m_cache.HasPending()) << "a file still missing";
    WriteFile(path, IconBytes(red), Time(3));
    EXPECT_TRUE(Shows(red, Colour(Refresh(records)[0])));

    // Missing from the start, then there.
    const std::wstring later = File(L"later.ico");
    const std::vector<UninstallRecord> laterRecords = {Record(L"b", later)};
    EXPECT_EQ(0, Refresh(laterRecords)[0]);
    LookUp(laterRecords);
    EXPECT_FALSE(m_cache.HasPending());
    WriteFile(later, IconBytes(green), Time(4));
    EXPECT_TRUE(Shows(green, Colour(Refresh(laterRecords)[0])));
}

// New icons wait for LoadPending, which takes at least one at a time: a
// refresh that leaves some waiting and one that asks again both end with
// every icon in its own slot.
TEST_F(IconCacheTest, NewIconsWaitForLoading)
{
    std::vector<UninstallRecord> records;
    for (int i = 0; i < 5; ++i) {
        const std::wstring path = File(L"wait-" + std::to_wstring(i) + L".ico");
        WriteFile(path, IconBytes(RGB(40 * (i + 1), 0, 0)), Time(1));
        records.push_back(Record(std::to_wstring(i), path));
    }
    std::vector<int> icons = LookUp(records);
    EXPECT_EQ(std::vector<int>(5, 0), Slots(icons));
    EXPECT_TRUE(m_cache.HasPending());
    EXPECT_EQ(1, m_cache.LoadPending(0));
    EXPECT_EQ(2, ImageCount());

    icons = LookUp(records);
    EXPECT_EQ(4, m_cache.LoadPending(1e9));
    const std::vector<int> slots = Slots(icons);
    EXPECT_EQ(5u, std::set<int>(slots.begin(), slots.end()).size());
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(Shows(RGB(40 * (i + 1), 0, 0), Colour(slots[i]))) << i;
}

// Entries come, go and change their icons over many refreshes; after each,
// every entry's slot shows its file's colour and the image list holds the
// default icon and one slot per icon in use, no more.
TEST_F(IconCacheTest, SlotsFollowTheIconsInUseOverManyRefreshes)
{
    const int kFiles = 12;
    std::vector<std::wstring> files;
    std::vector<COLORREF> colours;
    for (int i = 0; i < kFiles; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"model-%d.ico", i);
        files.push_back(File(name));
        colours.push_back(RGB(20 * i, 255 - 20 * i, (i % 3) * 100));
        WriteFile(files[i], IconBytes(colours[i]), Time(1));
    }
    std::mt19937 random(7);
    std::map<int, int> entries;  // entry -> file
    int nNextEntry = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const int nChanges = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < nChanges; ++i) {
            const unsigned int what = random() % 4;
            if (what == 0 || entries.empty()) {
                entries[nNextEntry++] = static_cast<int>(random() % kFiles);
            } else if (what == 1) {
                auto it = entries.begin();
                std::advance(it, random() % entries.size());
                entries.erase(it);
            } else if (what == 2) {
                auto it = entries.begin();
                std::advance(it, random() % entries.size());
                it->second = static_cast<int>(random() % kFiles);
            } else {
                const int nFile = static_cast<int>(random() % kFiles);
                colours[nFile] = RGB(random() % 256, random() % 256, random() % 256);
                WriteFile(files[nFile], IconBytes(colours[nFile]), Time(2 + round));
            }
        }
        std::vector<UninstallRecord> records;
        std::set<int> used;
        for (const auto& entry : entries) {
            records.push_back(Record(std::to_wstring(entry.first), files[entry.second]));
            used.insert(entry.second);
        }
        const std::vector<int> slots = Refresh(records);
        ASSERT_EQ(1 + static_cast<int>(used.size()), ImageCount());
        size_t i = 0;
        for (const auto& entry : entries) {
            EXPECT_TRUE(Shows(colours[entry.second], Colour(slots[i])))
                << "entry " << entry.first << " file " << entry.second;
            ++i;
        }
    }
}

// The installer's products and the ARP caches are read from enumerations
// kept between refreshes: a value changed, a key added or removed since
// shows at the next refresh.
TEST_F(IconCacheTest, ChangedInstallerAndCacheKeysShowAtTheNextRefresh)
{
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0);
    WriteFile(File(L"red.ico"), IconBytes(red), Time(1));
    WriteFile(File(L"green.ico"), IconBytes(green), Time(1));
    wchar_t code[40];
    wsprintfW(code, L"{%08lX-7c00-4aa1-8e2b-0123456789AB}", GetCurrentProcessId());
    const std::wstring product =
        std::wstring(kProducts) + PackProductCode(CWideString(code)).GetText();
    wchar_t name[40];
    wsprintfW(name, L"VxIconCache-%lu", GetCurrentProcessId());
    const std::wstring arpKey = std::wstring(kArpCache) + name;
    const std::vector<UninstallRecord> records = {Record(code, L""), Record(name, L"")};

    auto setProductIcon = [&](const std::wstring& location) {
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, product.c_str(), KEY_WOW64_32KEY));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"ProductIcon", location.c_str()));
    };
    auto setRecord = [&](const std::wstring& path) {
        std::wstring record = std::wstring(14, L'\x1111') + path + std::wstring(1, L'\0');
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, arpKey.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetRaw(L"SlowInfoCache", REG_BINARY, record.data(),
                                            static_cast<DWORD>(record.size() * sizeof(wchar_t))));
    };
    m_written.Add(HKEY_LOCAL_MACHINE, product, KEY_WOW64_32KEY);
    m_written.Add(HKEY_CURRENT_USER, arpKey);

    EXPECT_EQ((std::vector<int>{0, 0}), Refresh(records));
    setProductIcon(File(L"red.ico"));
    setRecord(File(L"green.ico"));
    std::vector<int> slots = Refresh(records);
    EXPECT_TRUE(Shows(red, Colour(slots[0])));
    EXPECT_TRUE(Shows(green, Colour(slots[1])));

    // Once the keys' times are old enough to be trusted, only a new time
    // tells the cache to read a key again.
    Sleep(3500);
    Refresh(records);
    setProductIcon(File(L"green.ico"));
    slots = Refresh(records);
    EXPECT_TRUE(Shows(green, Colour(slots[0])));
    EXPECT_EQ(slots[0], slots[1]);

    testsupport::DeleteTree(HKEY_CURRENT_USER, arpKey.c_str());
    EXPECT_EQ(0, Refresh(records)[1]);
}
