// The real Vantix.exe under Xvfb, driven from outside with real messages.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

using testsupport::CRemoteProgram;

namespace {

const int kList = 1000, kRemove = 1001, kRefresh = 1002, kClose = 1003, kShowUpdates = 1006;

class ProgramWindowTest : public ::testing::Test
{
protected:
    void WriteEntry(HKEY root, REGSAM view, const std::wstring& name, const wchar_t* display,
                    const wchar_t* command, bool bUpdate = false)
    {
        const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(root, path.c_str(), view));
        m_written.Add(root, path, view);
        key.SetString(L"DisplayName", display);
        key.SetString(L"UninstallString", command);
        if (bUpdate)
            key.SetString(L"ParentKeyName", L"");
    }

    bool Start(const std::wstring& arguments = L"")
    {
        return m_program.Start(testsupport::ExeDir() + L"\\..\\Vantix.exe", arguments);
    }

    int CountRows(const std::wstring& name) const
    {
        int n = 0;
        for (int i = 0; i < m_program.RowCount(); ++i)
            n += m_program.RowText(i, 0) == name;
        return n;
    }

    testsupport::CWrittenKeys m_written;
    CRemoteProgram m_program;
};

TEST_F(ProgramWindowTest, ListsBothHivesAndViewsSortedAndShowsUpdatesOnRequest)
{
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"VxWin-M32", L"vxwin machine 32", L"m32.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"VxWin-M64", L"VxWin Machine 64", L"m64.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"VxWin-Both", L"VxWin Both", L"both.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"VxWin-Both", L"VxWin Both", L"both.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-User", L"VxWin User", L"\"C:\\a b\\u.exe\" /x");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-Update", L"VxWin Update", L"upd.exe", true);
    ASSERT_TRUE(Start(L"/junk \"arg two\" --help")) << "arguments are ignored";

    // Windows 2000 knows no view flags: the program reads the 32-bit view
    // once and never the 64-bit one.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_EQ(1, CountRows(L"vxwin machine 32"));
    EXPECT_EQ(bWindows2000 ? 0 : 1, CountRows(L"VxWin Machine 64"));
    EXPECT_EQ(bWindows2000 ? 1 : 2, CountRows(L"VxWin Both")) << "two keys, one per view";
    EXPECT_EQ(1, CountRows(L"VxWin User")) << "HKCU is one key in both views";
    const int nUser = m_program.FindRow(L"VxWin User");
    ASSERT_NE(-1, nUser);
    EXPECT_EQ(L"\"C:\\a b\\u.exe\" /x", m_program.RowText(nUser, 1));
    for (int i = 0; i + 1 < m_program.RowCount(); ++i)
        EXPECT_LE(lstrcmpiW(m_program.RowText(i, 0).c_str(), m_program.RowText(i + 1, 0).c_str()), 0) << "row " << i;

    // Nothing selected: Remove is unavailable; selecting a row makes it available.
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(kRemove)));
    ASSERT_TRUE(m_program.SelectRow(nUser));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(m_program.Control(kRemove)) != FALSE; }));

    HWND hShowUpdates = m_program.Control(kShowUpdates);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hShowUpdates, BM_GETCHECK, 0, 0));
    EXPECT_EQ(1, CountRows(L"VxWin Update"));
    PostMessageW(hShowUpdates, BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return m_program.FindRow(L"VxWin Update") == -1; }));
    PostMessageW(hShowUpdates, BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return m_program.FindRow(L"VxWin Update") != -1; }));

    PostMessageW(m_program.Control(kClose), BM_CLICK, 0, 0);
    EXPECT_TRUE(m_program.WaitForExit(10000));
}

TEST_F(ProgramWindowTest, KeysRefreshFromAnywhereEnterStaysAndEscapeCloses)
{
    ASSERT_TRUE(Start());
    for (int nControl : {kList, kShowUpdates}) {
        const std::wstring name = L"VxWin Late " + std::to_wstring(nControl);
        WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-Late-" + std::to_wstring(nControl), name.c_str(), L"late.exe");
        PostMessageW(m_program.Control(nControl), WM_KEYDOWN, VK_F5, 0);
        EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return m_program.FindRow(name) != -1; })) << "F5 at " << nControl;
    }

    // The default button is Remove while the list has the focus, Close otherwise.
    auto defId = [&] { return LOWORD(SendMessageW(m_program.Window(), DM_GETDEFID, 0, 0)); };
    EXPECT_EQ(kRemove, defId()) << "the list has the focus from the start";
    PostMessageW(m_program.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_program.Control(kRefresh)), TRUE);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return defId() == kClose; }));
    PostMessageW(m_program.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_program.Control(kList)), TRUE);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return defId() == kRemove; }));

    // Enter in the list with no selection neither removes nor closes.
    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_RETURN, 0);
    Sleep(300);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_program.Process(), 0));

    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(m_program.WaitForExit(10000));
}

TEST_F(ProgramWindowTest, ColumnClicksSortWithoutCaseAndMoveTheArrow)
{
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-1", L"VxSort b", L"vxsort-3.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-2", L"vxsort A", L"VxSort-1.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-3", L"VXSORT c", L"vxsort-2.exe");
    ASSERT_TRUE(Start());

    // The last letter of each name, or the digit of each command, top down.
    auto order = [&](int nColumn) {
        std::wstring seen;
        for (int i = 0; i < m_program.RowCount(); ++i) {
            const std::wstring text = m_program.RowText(i, nColumn);
            if (_wcsnicmp(text.c_str(), L"vxsort", 6) == 0)
                seen += text.substr(text.size() - (nColumn == 0 ? 1 : 5), 1);
        }
        return seen;
    };
    const int kArrow = HDF_BITMAP | HDF_BITMAP_ON_RIGHT;
    auto arrows = [&] {
        return std::make_pair(m_program.HeaderFormat(0) & kArrow, m_program.HeaderFormat(1) & kArrow);
    };
    EXPECT_EQ(L"Abc", order(0));
    EXPECT_EQ(std::make_pair(kArrow, 0), arrows());
    ASSERT_TRUE(m_program.ClickHeader(0));
    EXPECT_EQ(L"cbA", order(0)) << "the same column again reverses";
    EXPECT_EQ(std::make_pair(kArrow, 0), arrows());
    ASSERT_TRUE(m_program.ClickHeader(1));
    EXPECT_EQ(L"123", order(1)) << "another column sorts ascending";
    EXPECT_EQ(std::make_pair(0, kArrow), arrows());

    // The sort survives a refresh.
    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_F5, 0);
    Sleep(500);
    EXPECT_EQ(L"123", order(1));
    EXPECT_EQ(std::make_pair(0, kArrow), arrows());

    PostMessageW(m_program.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(m_program.WaitForExit(10000));
}

struct PopupMenuSearch
{
    DWORD dwThreadId;
    HWND hwnd;
};

BOOL CALLBACK FindPopupMenuWindow(HWND hwnd, LPARAM lParam)
{
    PopupMenuSearch* pSearch = reinterpret_cast<PopupMenuSearch*>(lParam);
    wchar_t className[16];
    if (GetWindowThreadProcessId(hwnd, NULL) != pSearch->dwThreadId || !IsWindowVisible(hwnd) ||
        GetClassNameW(hwnd, className, 16) == 0 || lstrcmpW(className, L"#32768") != 0)
        return TRUE;
    pSearch->hwnd = hwnd;
    return FALSE;
}

// The context menu's popup window, once it shows in the program's thread.
HWND FindPopupMenu(const CRemoteProgram& program)
{
    PopupMenuSearch search = {GetWindowThreadProcessId(program.Window(), NULL), NULL};
    EnumWindows(FindPopupMenuWindow, reinterpret_cast<LPARAM>(&search));
    return search.hwnd;
}

TEST_F(ProgramWindowTest, KeyboardContextMenuOpensAtTheListCornerAndNeverOutsideTheList)
{
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxMenu-1", L"VxMenu One", L"one.exe");
    ASSERT_TRUE(Start());
    RECT rcList;
    GetWindowRect(m_program.Control(kList), &rcList);
    PostMessageW(m_program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_program.Control(kList)),
                 MAKELPARAM(-1, -1));
    HWND hMenu = NULL;
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return (hMenu = FindPopupMenu(m_program)) != NULL; }, 5000));
    RECT rcMenu;
    GetWindowRect(hMenu, &rcMenu);
    EXPECT_EQ(rcList.left + 5, rcMenu.left);
    EXPECT_EQ(rcList.top + 5, rcMenu.top);
    SendMessageW(m_program.Window(), WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return !IsWindowVisible(hMenu); }, 5000));

    // A right-click outside the list shows no menu.
    RECT rcClose;
    GetWindowRect(m_program.Control(kClose), &rcClose);
    PostMessageW(m_program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_program.Window()),
                 MAKELPARAM(rcClose.left + 2, rcClose.top + 2));
    Sleep(500);
    EXPECT_EQ(static_cast<HWND>(NULL), FindPopupMenu(m_program));
}

}  // namespace
