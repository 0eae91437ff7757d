// The real Vantix.exe under Xvfb, driven from outside with real messages.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

using testsupport::CRegKey;
using testsupport::CRemoteProgram;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const int kList = 1000, kRemove = 1001, kRefresh = 1002, kClose = 1003, kShowUpdates = 1006;

std::wstring ProgramPath()
{
    return testsupport::ExeDir() + L"\\..\\Vantix.exe";
}

class ProgramWindowTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const Written& w : m_written)
            testsupport::DeleteTree(w.root, w.path.c_str(), w.view);
    }

    void WriteEntry(HKEY root, REGSAM view, const std::wstring& name, const wchar_t* display,
                    const wchar_t* command, bool bUpdate = false)
    {
        std::wstring path = std::wstring(kUninstall) + name;
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(root, path.c_str(), view));
        key.SetString(L"DisplayName", display);
        key.SetString(L"UninstallString", command);
        if (bUpdate)
            key.SetString(L"ParentKeyName", L"");
        m_written.push_back({root, path, view});
    }

    int CountRows(const CRemoteProgram& program, const std::wstring& name)
    {
        int n = 0;
        for (int i = 0; i < program.RowCount(); ++i)
            n += program.RowText(i, 0) == name;
        return n;
    }

    struct Written
    {
        HKEY root;
        std::wstring path;
        REGSAM view;
    };
    std::vector<Written> m_written;
};

TEST_F(ProgramWindowTest, ListsBothHivesAndViewsSortedAndIgnoresArguments)
{
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"VxWin-M32", L"vxwin machine 32", L"m32.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"VxWin-M64", L"VxWin Machine 64", L"m64.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"VxWin-Both", L"VxWin Both", L"both.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"VxWin-Both", L"VxWin Both", L"both.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-User", L"VxWin User", L"\"C:\\a b\\u.exe\" /x");

    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath(), L"/junk \"arg two\" --help"));
    // Windows 2000 knows no view flags: the program reads the 32-bit view
    // once and never the 64-bit one.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_EQ(1, CountRows(program, L"vxwin machine 32"));
    EXPECT_EQ(bWindows2000 ? 0 : 1, CountRows(program, L"VxWin Machine 64"));
    EXPECT_EQ(bWindows2000 ? 1 : 2, CountRows(program, L"VxWin Both")) << "two keys, one per view";
    EXPECT_EQ(1, CountRows(program, L"VxWin User")) << "HKCU is one key in both views";
    int nUser = program.FindRow(L"VxWin User");
    ASSERT_NE(-1, nUser);
    EXPECT_EQ(L"\"C:\\a b\\u.exe\" /x", program.RowText(nUser, 1));

    for (int i = 0; i + 1 < program.RowCount(); ++i)
        EXPECT_LE(lstrcmpiW(program.RowText(i, 0).c_str(), program.RowText(i + 1, 0).c_str()), 0)
            << "row " << i;

    // Nothing selected: Remove is unavailable; selecting a row makes it available.
    EXPECT_FALSE(IsWindowEnabled(program.Control(kRemove)));
    ASSERT_TRUE(program.SelectRow(nUser));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(program.Control(kRemove)) != FALSE; }));

    PostMessageW(program.Control(kClose), BM_CLICK, 0, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(ProgramWindowTest, F5RefreshesWhereverTheFocusIsAndEscapeCloses)
{
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    ASSERT_EQ(-1, program.FindRow(L"VxWin Late"));

    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-Late", L"VxWin Late", L"late.exe");
    PostMessageW(program.Control(kList), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(L"VxWin Late") != -1; }));

    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-Later", L"VxWin Later", L"later.exe");
    PostMessageW(program.Control(kShowUpdates), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(L"VxWin Later") != -1; }));

    // Enter in the list with no selection neither removes nor closes.
    PostMessageW(program.Control(kList), WM_KEYDOWN, VK_RETURN, 0);
    Sleep(300);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(program.Process(), 0));

    PostMessageW(program.Control(kList), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(ProgramWindowTest, ColumnClicksSortWithoutCaseAndMoveTheArrow)
{
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-1", L"VxSort b", L"vxsort-3.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-2", L"vxsort A", L"VxSort-1.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxSort-3", L"VXSORT c", L"vxsort-2.exe");
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));

    auto order = [&](int nColumn) {
        std::wstring seen;
        for (int i = 0; i < program.RowCount(); ++i) {
            std::wstring text = program.RowText(i, nColumn);
            if (_wcsnicmp(text.c_str(), L"vxsort", 6) == 0)
                seen += text.substr(text.size() - (nColumn == 0 ? 1 : 5), 1);
        }
        return seen;
    };
    const int kArrow = HDF_BITMAP | HDF_BITMAP_ON_RIGHT;

    EXPECT_EQ(L"Abc", order(0));
    EXPECT_EQ(kArrow, program.HeaderFormat(0) & kArrow);
    EXPECT_EQ(0, program.HeaderFormat(1) & kArrow);

    ASSERT_TRUE(program.ClickHeader(0));
    EXPECT_EQ(L"cbA", order(0)) << "the same column again reverses";
    EXPECT_EQ(kArrow, program.HeaderFormat(0) & kArrow);

    ASSERT_TRUE(program.ClickHeader(1));
    EXPECT_EQ(L"123", order(1)) << "another column sorts ascending";
    EXPECT_EQ(0, program.HeaderFormat(0) & kArrow);
    EXPECT_EQ(kArrow, program.HeaderFormat(1) & kArrow);

    // The sort survives a refresh.
    PostMessageW(program.Control(kList), WM_KEYDOWN, VK_F5, 0);
    Sleep(500);
    EXPECT_EQ(L"123", order(1));
    EXPECT_EQ(kArrow, program.HeaderFormat(1) & kArrow);
}

TEST_F(ProgramWindowTest, CloseBoxEndsTheProgram)
{
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    PostMessageW(program.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(ProgramWindowTest, ShowUpdatesHidesAndBringsBackUpdates)
{
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxWin-Update", L"VxWin Update", L"upd.exe", true);
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    EXPECT_EQ(BST_CHECKED, SendMessageW(program.Control(kShowUpdates), BM_GETCHECK, 0, 0));
    EXPECT_NE(-1, program.FindRow(L"VxWin Update"));

    PostMessageW(program.Control(kShowUpdates), BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(L"VxWin Update") == -1; }));
    PostMessageW(program.Control(kShowUpdates), BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(L"VxWin Update") != -1; }));
}

TEST_F(ProgramWindowTest, DefaultButtonFollowsTheListFocus)
{
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    auto defId = [&] { return LOWORD(SendMessageW(program.Window(), DM_GETDEFID, 0, 0)); };
    EXPECT_EQ(kRemove, defId()) << "the list has the focus from the start";

    PostMessageW(program.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(program.Control(kRefresh)), TRUE);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return defId() == kClose; }));
    PostMessageW(program.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(program.Control(kList)), TRUE);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return defId() == kRemove; }));
}

}  // namespace

namespace {

struct MenuWindow
{
    DWORD dwThreadId;
    HWND hwnd;
};

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM lParam)
{
    MenuWindow* pFind = reinterpret_cast<MenuWindow*>(lParam);
    wchar_t className[16];
    if (GetWindowThreadProcessId(hwnd, NULL) == pFind->dwThreadId && IsWindowVisible(hwnd) &&
        GetClassNameW(hwnd, className, 16) > 0 && lstrcmpW(className, L"#32768") == 0) {
        pFind->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForPopupMenu(const CRemoteProgram& program)
{
    MenuWindow find = {GetWindowThreadProcessId(program.Window(), NULL), NULL};
    CRemoteProgram::WaitFor([&] {
        EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&find));
        return find.hwnd != NULL;
    }, 5000);
    return find.hwnd;
}

TEST_F(ProgramWindowTest, KeyboardContextMenuOpensAtTheListCornerAndNeverOutsideTheList)
{
    WriteEntry(HKEY_CURRENT_USER, 0, L"VxMenu-1", L"VxMenu One", L"one.exe");
    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    RECT rcList;
    GetWindowRect(program.Control(kList), &rcList);

    PostMessageW(program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(program.Control(kList)),
                 MAKELPARAM(-1, -1));
    HWND hMenuWnd = WaitForPopupMenu(program);
    ASSERT_NE(static_cast<HWND>(NULL), hMenuWnd);
    RECT rcMenu;
    GetWindowRect(hMenuWnd, &rcMenu);
    EXPECT_EQ(rcList.left + 5, rcMenu.left);
    EXPECT_EQ(rcList.top + 5, rcMenu.top);
    SendMessageW(program.Window(), WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return !IsWindowVisible(hMenuWnd); }, 5000));

    // A right-click outside the list shows no menu.
    RECT rcClose;
    GetWindowRect(program.Control(kClose), &rcClose);
    PostMessageW(program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(program.Window()),
                 MAKELPARAM(rcClose.left + 2, rcClose.top + 2));
    Sleep(500);
    MenuWindow find = {GetWindowThreadProcessId(program.Window(), NULL), NULL};
    EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&find));
    EXPECT_EQ(static_cast<HWND>(NULL), find.hwnd);
}

}  // namespace
