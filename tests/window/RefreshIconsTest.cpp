// The window's rows and their icons over refreshes, in this process: each row
// shows what the icon lookup finds for its entry, as the image list showed it
// before the icons were cached, and the image list keeps one slot per icon.
#include "framework/Afx.h"
#include "icons/IconLookup.h"
#include "inventory/ProductCode.h"
#include "res/resource.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"
#include "ui/ProgramListDlg.h"
#include "window/InProcessList.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using testsupport::CRegKey;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCache[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";

class RefreshIconsTest : public ::testing::Test
{
protected:
    RefreshIconsTest()
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        m_icons = std::wstring(dir) + L"vx-refresh-icons-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        CopyFileW((testsupport::ExeDir() + L"\\vx_three_icons.exe").c_str(), m_icons.c_str(), FALSE);
        // As the old way filled the list: slot 0, then ImageList_ReplaceIcon.
        m_hOracle = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
        ImageList_SetImageCount(m_hOracle, 1);
    }
    ~RefreshIconsTest() override
    {
        ImageList_Destroy(m_hOracle);
        DeleteFileW(m_icons.c_str());
        for (const std::wstring& link : m_links)
            DeleteFileW(link.c_str());
    }

    // Another path to the icon file: a location of its own to the cache.
    std::wstring Link(int n)
    {
        const std::wstring link = m_icons + L"." + std::to_wstring(n) + L".exe";
        if (!CreateHardLinkW(link.c_str(), m_icons.c_str(), NULL))
            CopyFileW(m_icons.c_str(), link.c_str(), FALSE);
        m_links.push_back(link);
        return link;
    }

    void Entry(const std::wstring& name, const std::wstring& displayIcon)
    {
        const std::wstring path = kUninstall + Key(name);
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str()));
        m_written.Add(HKEY_CURRENT_USER, path);
        key.SetString(L"DisplayName", Display(name).c_str());
        key.SetString(L"UninstallString", L"vx-refresh-icons.exe");
        if (!displayIcon.empty())
            key.SetString(L"DisplayIcon", displayIcon.c_str());
        m_names.insert(name);
    }

    std::wstring Key(const std::wstring& name) const
    {
        return L"VxRefreshIcons-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    }
    std::wstring Display(const std::wstring& name) const { return L"VxRefreshIcons " + name; }

    // Checks every row of this test against the icon the lookup finds for
    // it; the image of each, by name.
    std::map<std::wstring, int> CheckRows(HWND hList)
    {
        HIMAGELIST hImages =
            reinterpret_cast<HIMAGELIST>(SendMessageW(hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        std::map<std::wstring, int> images;
        std::set<int> used;
        const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < nRows; ++i) {
            const int nImage = ListItemImage(hList, i);
            if (nImage > 0)
                used.insert(nImage);
            const std::wstring text = ListItemText(hList, i, 0);
            for (const std::wstring& name : m_names) {
                if (text != Display(name))
                    continue;
                SCOPED_TRACE(name);
                images[name] = nImage;
                HICON hIcon = LoadEntryIcon(HKEY_CURRENT_USER, CWideString(Key(name).c_str()));
                if (hIcon == NULL) {
                    EXPECT_EQ(0, nImage);
                    continue;
                }
                const int nOracle = ImageList_ReplaceIcon(m_hOracle, -1, hIcon);
                DestroyIcon(hIcon);
                EXPECT_GT(nImage, 0);
                EXPECT_EQ(testsupport::DrawnOnWhite(m_hOracle, nOracle), testsupport::DrawnOnWhite(hImages, nImage));
            }
        }
        EXPECT_EQ(m_names.size(), images.size()) << "rows of this test";
        EXPECT_EQ(1 + static_cast<int>(used.size()), ImageList_GetImageCount(hImages))
            << "the default icon and one slot per icon that a row shows";
        return images;
    }

    std::wstring m_icons;
    std::vector<std::wstring> m_links;
    HIMAGELIST m_hOracle;
    std::set<std::wstring> m_names;
    testsupport::CWrittenKeys m_written;
};

}  // namespace

TEST_F(RefreshIconsTest, RowsShowTheLookupsIconsAndShareTheirSlots)
{
    Entry(L"red", m_icons);
    Entry(L"green", m_icons + L",1");
    Entry(L"green too", m_icons + L",01");
    Entry(L"blue", m_icons + L",2");
    Entry(L"beyond", m_icons + L",3");
    Entry(L"gone", m_icons + L".gone,0");
    Entry(L"none", L"");
    // No DisplayIcon, but a record in the ARP cache naming the same file.
    Entry(L"cached", L"");
    const std::wstring arp = kArpCache + Key(L"cached");
    std::wstring record = std::wstring(14, L'\x2222') + m_icons + std::wstring(1, L'\0');
    CRegKey arpKey;
    ASSERT_EQ(ERROR_SUCCESS, arpKey.Create(HKEY_CURRENT_USER, arp.c_str()));
    m_written.Add(HKEY_CURRENT_USER, arp);
    ASSERT_EQ(ERROR_SUCCESS, arpKey.SetRaw(L"SlowInfoCache", REG_BINARY, record.data(),
                                           static_cast<DWORD>(record.size() * sizeof(wchar_t))));
    ASSERT_FALSE(HasFatalFailure());

    CProgramListDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hList = GetDlgItem(dlg.GetSafeHwnd(), IDC_PROGRAM_LIST);
    // Icons beyond the refresh's first moment come while the window idles.
    EXPECT_TRUE(PumpUntilImagesSettle(hList)) << "icons still changing";
    std::map<std::wstring, int> images = CheckRows(hList);
    EXPECT_EQ(images[L"green"], images[L"green too"]) << "one file and index";
    EXPECT_EQ(images[L"red"], images[L"cached"]) << "one file, by two sources";
    EXPECT_NE(images[L"red"], images[L"green"]);

    // Refreshes that change nothing, then one that drops a row and its icon.
    for (int i = 0; i < 3; ++i) {
        dlg.Refresh();
        PumpMessages();
    }
    EXPECT_EQ(images, CheckRows(hList));
    testsupport::DeleteTree(HKEY_CURRENT_USER, (kUninstall + Key(L"red")).c_str());
    m_names.erase(L"red");
    dlg.Refresh();
    PumpMessages();
    CheckRows(hList);
    dlg.DestroyWindow();
}

TEST_F(RefreshIconsTest, ManyNewIconsAllArriveWhileTheWindowIdles)
{
    // More icons than the refresh extracts before its rows go in: the rest
    // come in idle steps, shown in batches.
    const int kEntries = 600;
    for (int i = 0; i < kEntries; ++i)
        Entry(L"many " + std::to_wstring(i), Link(i) + L"," + std::to_wstring(i % 3));
    ASSERT_FALSE(HasFatalFailure());

    CProgramListDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hList = GetDlgItem(dlg.GetSafeHwnd(), IDC_PROGRAM_LIST);
    int nWaiting = 0;
    for (int i = 0; i < ListView_GetItemCount(hList); ++i)
        nWaiting += ListItemImage(hList, i) == 0 &&
                    ListItemText(hList, i, 0).compare(0, 15, L"VxRefreshIcons ") == 0;
    ASSERT_GT(nWaiting, 0) << "rows whose icons come while the window idles";

    EXPECT_TRUE(PumpUntilImagesSettle(hList)) << "icons still changing";
    const std::map<std::wstring, int> images = CheckRows(hList);
    EXPECT_EQ(static_cast<size_t>(kEntries), images.size());
    dlg.DestroyWindow();
}
