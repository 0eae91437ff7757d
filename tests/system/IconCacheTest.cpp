// The icon cache over real files and the installed programs over the test
// prefix's registry: which value gives an entry its icon, what its slot
// shows, and when a file is read again.
#include "icons/IconCache.h"
#include "icons/Path.h"
#include "inventory/InstalledPrograms.h"
#include "inventory/ProductCode.h"
#include "support/DamagedIcons.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

using testsupport::ExeDir;
using testsupport::Text;

namespace {

// Drawn colours, 0xRRGGBB, of whole channels that a 16-bit image list keeps
// apart; 0 stands for no icon, kMixed for a slot not of one colour.
const DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF;
const DWORD kMixed = 1;

const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;
const std::wstring kNul(1, L'\0');

// A 16 x 16 icon file of one colour, padded to another length.
std::string IconBytes(DWORD colour, size_t cbPadding = 0)
{
    return testsupport::IconFileBytes({testsupport::SolidImage(16, colour)}) + std::string(cbPadding, '\0');
}

// A stored location as the programs parse it.
IconLocation Location(const std::wstring& text)
{
    CPath path;
    IconLocation location;
    EXPECT_TRUE(ParseIconLocation(text.c_str(), false, path, location)) << text;
    return location;
}

// vx_three_icons.exe holds three icons whose 16 x 16 images are red, green
// and blue and whose 32 x 32 ones are of other colours: a wrong index or size
// shows.
std::wstring ThreeIcons(const wchar_t* suffix = L"")
{
    return ExeDir() + L"\\vx_three_icons.exe" + suffix;
}

// An ARP cache record: 28 bytes the lookup must not interpret, the icon
// file's path and the given tail.
std::wstring ArpRecord(const std::wstring& tail)
{
    return std::wstring(14, wchar_t(0xABAB)) + ThreeIcons() + tail;
}

// One value written for an entry: data less cbTrim bytes.
struct Put
{
    const wchar_t* pszValue;
    REGSAM view;
    std::wstring data;
    DWORD type;
    DWORD cbTrim;
};

Put Display(REGSAM view, const std::wstring& text, DWORD type = REG_SZ)
{
    return {L"DisplayIcon", view, text + kNul, type, 0};
}

Put Cached(REGSAM view, const std::wstring& record = ArpRecord(kNul), DWORD cbTrim = 0, DWORD type = REG_BINARY)
{
    return {L"SlowInfoCache", view, record, type, cbTrim};
}

Put Product(const std::wstring& text)
{
    return {L"ProductIcon", k32, text + kNul, REG_SZ, 0};
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

    // An entry's values; its key in the 32-bit view always has a command, so
    // that a scan of that view lists it.
    void WriteEntry(HKEY root, const std::wstring& name, std::vector<Put> puts)
    {
        puts.push_back({L"UninstallString", k32, L"x.exe" + kNul, REG_SZ, 0});
        for (const Put& put : puts) {
            const std::wstring value = put.pszValue;
            HKEY hRoot = root;
            std::wstring path = (value == L"SlowInfoCache" ? testsupport::kArpCacheKey : testsupport::kUninstallKey) + name;
            if (value == L"ProductIcon") {
                hRoot = HKEY_LOCAL_MACHINE;
                path = testsupport::kProductsKey + Text(PackProductCode(CWideString(name.c_str())));
            }
            ASSERT_EQ(ERROR_SUCCESS, m_written.Set(hRoot, path, put.view, put.pszValue, put.type, put.data.c_str(),
                                                   static_cast<DWORD>(put.data.size() * 2 - put.cbTrim)));
        }
    }

    // Each location looked up as the window does; NULL for none.
    std::vector<int> LookUp(const std::vector<const IconLocation*>& locations)
    {
        m_cache.BeginRefresh(m_hImageList);
        std::vector<int> icons;
        for (const IconLocation* pLocation : locations)
            icons.push_back(pLocation != NULL ? m_cache.Lookup(*pLocation) : CIconCache::kNoIcon);
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
    std::vector<DWORD> Refresh(const std::vector<const IconLocation*>& locations)
    {
        std::vector<int> icons = LookUp(locations);
        m_cache.LoadPending(20000);
        EXPECT_FALSE(m_cache.HasPending());
        return Shown(icons);
    }

    int ImageCount() { return ImageList_GetImageCount(m_hImageList); }

    const std::wstring m_dir = testsupport::TempPath(L"vx-icon-cache");
    std::set<std::wstring> m_files;
    HIMAGELIST m_hImageList = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 256);
    CIconCache m_cache;
    testsupport::CWrittenKeys m_written;
};

}  // namespace

// ProductIcon (from HKLM, for an entry of either root), DisplayIcon, then the
// ARP cache record, each in the 32-bit view before the 64-bit one; a value
// that gives no path passes to the next, a well-formed path to no file ends
// the lookup. HKCU's keys and the products are one key in both views.
TEST_F(IconCacheTest, TheFirstUsableValueGivesTheIcon)
{
    enum Name
    {
        kKey,
        kCode,
        kAlmostCode,
    };
    const HKEY kHklm = HKEY_LOCAL_MACHINE, kHkcu = HKEY_CURRENT_USER;
    const DWORD cbPadTo553 = 553 - static_cast<DWORD>(ArpRecord(L"").size() * sizeof(wchar_t));
    const std::wstring padded = ArpRecord(std::wstring((cbPadTo553 + 1) / 2, L'\0'));
    const struct
    {
        HKEY hRoot;
        Name name;
        std::vector<Put> puts;
        DWORD expected;
        bool bVia64;  // seen only where the program reads the 64-bit view
    } cases[] = {
        // The index picks the icon; none for an index it does not have.
        {kHklm, kKey, {Display(k32, ThreeIcons())}, kRed, false},
        {kHklm, kKey, {Display(k32, ThreeIcons(L",1"))}, kGreen, false},
        {kHklm, kKey, {Display(k32, ThreeIcons(L",3"))}, 0, false},
        {kHklm, kKey, {Display(k32, ThreeIcons(L",-1"))}, 0, false},
        {kHklm, kKey, {Display(k64, ThreeIcons(L",2"))}, kBlue, true},
        {kHklm, kKey, {Cached(k32)}, kRed, false},
        {kHklm, kKey, {Cached(k64)}, kRed, true},
        {kHklm, kKey, {Display(k32, ThreeIcons(L",1")), Display(k64, ThreeIcons(L",2")), Cached(k32)}, kGreen, false},
        {kHkcu, kCode, {Product(ThreeIcons(L",2")), Display(k32, ThreeIcons(L",1"))}, kBlue, false},
        {kHklm, kAlmostCode, {Product(ThreeIcons(L",2")), Display(k64, ThreeIcons(L",1"))}, kGreen, true},
        {kHklm, kKey, {Display(k32, L"\"" + ThreeIcons() + L"\",1"), Display(k64, ThreeIcons(L",2"))}, kBlue, true},
        // The record carries no index: the quoted location's does not carry over.
        {kHklm, kKey, {Display(k32, L"\"" + ThreeIcons() + L"\",1"), Cached(k64)}, kRed, true},
        {kHklm, kKey, {Display(k64, L"\x0001", REG_DWORD), Cached(k32)}, kRed, false},
        {kHklm, kCode, {Product(ExeDir() + L"\\no-such-file.exe,0"), Display(k32, ThreeIcons(L",1"))}, 0, false},
        {kHklm, kKey, {Display(k32, L"%SystemRoot%\\notepad.exe,0", REG_EXPAND_SZ), Cached(k32)}, 0, false},
        {kHkcu, kKey, {Display(k32, ExeDir()), Cached(k32)}, 0, false},
        // Records: up to 552 bytes, with or without a terminator, odd length;
        // a header cut short; the wrong type.
        {kHkcu, kKey, {Cached(k32, padded, 1 + cbPadTo553 % 2)}, kRed, false},
        {kHkcu, kKey, {Cached(k32, padded, cbPadTo553 % 2)}, 0, false},
        {kHkcu, kKey, {Cached(k32, ArpRecord(L""))}, kRed, false},
        {kHkcu, kKey, {Cached(k32, ArpRecord(L"\xFF00"), 1)}, kRed, false},
        {kHkcu, kKey, {Cached(k32, ArpRecord(L"").substr(0, 14), 1)}, 0, false},
        {kHkcu, kKey, {Cached(k32, ArpRecord(kNul), 0, REG_SZ)}, 0, false},
    };
    // Windows 2000 knows no views: the program reads the 32-bit one for either.
    const bool bReads64 = !testsupport::PrefixReportsWindows2000();
    std::vector<std::wstring> names;
    std::vector<DWORD> expected;
    for (const auto& c : cases) {
        wchar_t name[64];
        wsprintfW(name, c.name != kKey ? L"{%08lX-1cf0-4e2a-9b3d-%012X}" : L"VxIconTest-%lu-%d", GetCurrentProcessId(),
                  static_cast<int>(names.size()));
        name[5] = c.name == kAlmostCode ? L'G' : name[5];
        names.push_back(name);
        WriteEntry(c.hRoot, name, c.puts);
        expected.push_back(c.bVia64 && !bReads64 ? 0 : c.expected);
    }
    ASSERT_FALSE(HasFatalFailure());

    // Each entry's 32-bit key is the one listed.
    CInstalledPrograms programs;
    std::map<std::wstring, const IconLocation*> icons;
    for (const CInstalledPrograms::Program& program : programs.Refresh(true)) {
        if (!program.pEntry->b64BitView) {
            EXPECT_TRUE(icons.emplace(Text(program.pEntry->strKeyName), program.pIcon).second);
        }
    }
    std::vector<const IconLocation*> locations;
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(1u, icons.count(names[i])) << "case " << i;
        locations.push_back(icons[names[i]]);
    }
    const std::vector<DWORD> shown = Refresh(locations);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(expected[i], shown[i]) << "case " << i;
}

TEST_F(IconCacheTest, AFileIsReadAgainWhenItsSizeOrTimeChanges)
{
    const IconLocation location = Location(File(L"changing.ico"));
    const std::vector<const IconLocation*> records = {&location};
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
    WriteIcon(L"changing.ico", kRed, 3);
    EXPECT_EQ(std::vector<DWORD>{kRed}, Refresh(records));

    // Changed, and held by another without sharing: the icon it showed,
    // until a refresh after.
    WriteIcon(L"changing.ico", kGreen, 4);
    HANDLE hHeld = CreateFileW(File(L"changing.ico").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(std::vector<DWORD>{kRed}, Refresh(records));
    CloseHandle(hHeld);
    EXPECT_EQ(std::vector<DWORD>{kGreen}, Refresh(records));
}

// Hundreds of damaged icon files and executables in one refresh: no file
// brings the process down (ExtractIconExW under Wine reads outside a damaged
// file), and each shows no icon or one of its images.
TEST_F(IconCacheTest, DamagedFilesShowNoIconOrTheirOwn)
{
    std::mt19937 random(3);
    std::vector<IconLocation> locations;
    std::vector<bool> noIcon;
    for (const testsupport::Container& c : testsupport::RedAndGreenContainers()) {
        for (int nVariant = 0; nVariant < 150; ++nVariant) {
            bool bNoIcon = false;
            const std::wstring name = L"damaged" + std::to_wstring(locations.size());
            ASSERT_TRUE(testsupport::WriteBytes(File(name), testsupport::Damaged(c, nVariant, random, bNoIcon)));
            locations.push_back(Location(File(name)));
            noIcon.push_back(bNoIcon);
        }
    }
    std::vector<const IconLocation*> records;
    for (const IconLocation& location : locations)
        records.push_back(&location);
    const std::vector<DWORD> shown = Refresh(records);
    for (size_t i = 0; i < shown.size(); ++i)
        EXPECT_TRUE(shown[i] == 0 || (!noIcon[i] && (shown[i] == kRed || shown[i] == kGreen))) << "file " << i;
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
        std::vector<IconLocation> locations;
        std::vector<DWORD> expected;
        for (int nFile : round) {
            locations.push_back(Location(files[nFile]));
            expected.push_back(colours[nFile]);
        }
        std::vector<const IconLocation*> records;
        for (const IconLocation& location : locations)
            records.push_back(&location);
        EXPECT_EQ(expected, Refresh(records));
        EXPECT_EQ(1 + std::set<DWORD>(expected.begin(), expected.end()).size(), static_cast<size_t>(ImageCount()));
    }
}

namespace {

HANDLE s_hRelease = NULL;
std::atomic<int> s_nHeldUp(0);

// Every file reads as no icon; "held" waits until released.
void ReadOrWait(IconRead& read, bool)
{
    if (*read.path == L"held") {
        ++s_nHeldUp;
        WaitForSingleObject(s_hRelease, 20000);
    }
    read.outcome = IconRead::kNoIcon;
}

}  // namespace

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
