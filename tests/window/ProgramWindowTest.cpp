// The real Vantix.exe under Xvfb, driven from outside with real messages, in
// one run of the program: each start under Wine costs seconds.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"
#include "window/ProgramDialogThread.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

using testsupport::CRemoteProgram;

namespace {

const int kList = 1000, kRemove = 1001, kClose = 1003, kShowUpdates = 1006;
const int kArrow = HDF_BITMAP | HDF_BITMAP_ON_RIGHT;

// The context menu's popup window, once it shows in the program's thread.
HWND FindPopupMenu(const CRemoteProgram& program)
{
    const DWORD dwThreadId = GetWindowThreadProcessId(program.Window(), NULL);
    for (HWND hwnd = NULL; (hwnd = FindWindowExW(NULL, hwnd, L"#32768", NULL)) != NULL;) {
        if (GetWindowThreadProcessId(hwnd, NULL) == dwThreadId && IsWindowVisible(hwnd))
            return hwnd;
    }
    return NULL;
}

class ProgramWindowTest : public ::testing::Test
{
protected:
    // The name's last letter tells the rows apart; the case of the names
    // differs so that only a sort without case gives the expected order.
    void WriteEntry(HKEY root, REGSAM view, wchar_t letter, const wchar_t* prefix, const wchar_t* command)
    {
        const std::wstring last(1, letter);
        ASSERT_TRUE(WriteUninstallEntry(m_written, L"VxWin-" + last,
                                        {{L"DisplayName", prefix + last}, {L"UninstallString", command}}, root, view));
    }

    // The last letters of this test's rows, top down.
    std::wstring Order() const
    {
        std::wstring seen;
        for (int i = 0; i < m_program.RowCount(); ++i) {
            const std::wstring name = m_program.RowText(i, 0);
            if (_wcsnicmp(name.c_str(), L"vxwin ", 6) == 0)
                seen += name.back();
        }
        return seen;
    }

    // The header's sort arrow on column 0 and column 1.
    std::pair<int, int> Arrows() const
    {
        return std::make_pair(m_program.HeaderFormat(0) & kArrow, m_program.HeaderFormat(1) & kArrow);
    }

    testsupport::CWrittenKeys m_written;
    CRemoteProgram m_program;
};

TEST_F(ProgramWindowTest, ListsSortsRefreshesAndAnswersTheKeyboard)
{
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L'a', L"vxwin ", L"vxwin-4.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L'B', L"VxWin ", L"vxwin-2.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L'c', L"VXWIN ", L"vxwin-3.exe");
    WriteEntry(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L'c', L"VXWIN ", L"vxwin-3.exe");
    WriteEntry(HKEY_CURRENT_USER, 0, L'd', L"VxWin ", L"\"C:\\vxwin 1\\u.exe\" /x");
    WriteEntry(HKEY_CURRENT_USER, 0, L'e', L"vxwin ", L"vxwin-5.exe");
    ASSERT_TRUE(WriteUninstallEntry(m_written, L"VxWin-e", {{L"ParentKeyName", L""}}));  // an update
    // Icons that give none, beside one that does: a directory, an empty file,
    // and the test run's FIFO, whose opening never ends.
    const std::wstring empty = testsupport::TempPath(L"vxwin-empty.ico");
    ASSERT_TRUE(testsupport::WriteBytes(empty, ""));
    wchar_t testenv[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"VANTIX_TESTENV", testenv, MAX_PATH);
    std::wstring fifo = L"Z:" + std::wstring(testenv) + L"/fifo";
    std::replace(fifo.begin(), fifo.end(), L'/', L'\\');
    const std::wstring icons[] = {testsupport::ExeDir(), empty, fifo, testsupport::ExeDir() + L"\\vx_three_icons.exe,1"};
    for (int i = 0; i < 4; ++i) {
        const std::wstring name = L"VxIcon " + std::to_wstring(i);
        ASSERT_TRUE(WriteUninstallEntry(m_written, name, {{L"UninstallString", L"x.exe"}, {L"DisplayIcon", icons[i]}}));
    }
    ASSERT_TRUE(m_program.Start(testsupport::ExeDir() + L"\\..\\Vantix.exe", L"/junk \"arg two\" --help"))
        << "arguments are ignored";

    // Both hives; on 64-bit Windows both views of HKLM, a key in both views
    // twice. Windows 2000 knows no view flags: the program reads the 32-bit
    // view once and never the 64-bit one.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_EQ(bWindows2000 ? L"acde" : L"aBccde", Order());
    EXPECT_EQ(std::make_pair(kArrow, 0), Arrows());
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return m_program.RowImage(m_program.FindRow(L"VxIcon 3")) > 0; }))
        << "an icon read beside those that give none";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(0, m_program.RowImage(m_program.FindRow(L"VxIcon " + std::to_wstring(i)))) << i;
    EXPECT_EQ(L"\"C:\\vxwin 1\\u.exe\" /x", m_program.RowText(m_program.FindRow(L"VxWin d"), 1));

    // Nothing selected: Remove is unavailable. The keyboard's context menu
    // opens at the list's corner, and a click outside the list opens none.
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(kRemove)));
    RECT rcList, rcClose, rcMenu;
    GetWindowRect(m_program.Control(kList), &rcList);
    GetWindowRect(m_program.Control(kClose), &rcClose);
    PostMessageW(m_program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_program.Control(kList)),
                 MAKELPARAM(-1, -1));
    HWND hMenu = NULL;
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return (hMenu = FindPopupMenu(m_program)) != NULL; }, 5000));
    GetWindowRect(hMenu, &rcMenu);
    EXPECT_EQ(rcList.left + 5, rcMenu.left);
    EXPECT_EQ(rcList.top + 5, rcMenu.top);
    SendMessageW(m_program.Window(), WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return !IsWindowVisible(hMenu); }, 5000));
    PostMessageW(m_program.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_program.Window()),
                 MAKELPARAM(rcClose.left + 2, rcClose.top + 2));
    Sleep(500);
    EXPECT_EQ(static_cast<HWND>(NULL), FindPopupMenu(m_program));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(m_program.Process(), 0));

    // The same column again reverses; another one sorts ascending.
    ASSERT_TRUE(m_program.ClickHeader(0));
    EXPECT_EQ(bWindows2000 ? L"edca" : L"edccBa", Order());
    EXPECT_EQ(std::make_pair(kArrow, 0), Arrows());
    ASSERT_TRUE(m_program.ClickHeader(1));
    EXPECT_EQ(bWindows2000 ? L"dcae" : L"dBccae", Order());
    EXPECT_EQ(std::make_pair(0, kArrow), Arrows());

    // F5 refreshes whichever control has the focus; new rows take their
    // place in the sort that the refresh keeps.
    WriteEntry(HKEY_CURRENT_USER, 0, L'f', L"vxwin ", L"vxwin-0.exe");
    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return Order().find(L'f') != std::wstring::npos; }));
    WriteEntry(HKEY_CURRENT_USER, 0, L'g', L"vxwin ", L"vxwin-6.exe");
    PostMessageW(m_program.Control(kShowUpdates), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return Order().find(L'g') != std::wstring::npos; }));
    EXPECT_EQ(bWindows2000 ? L"dfcaeg" : L"dfBccaeg", Order());
    EXPECT_EQ(std::make_pair(0, kArrow), Arrows());

    // Updates come and go with their box.
    HWND hShowUpdates = m_program.Control(kShowUpdates);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hShowUpdates, BM_GETCHECK, 0, 0));
    PostMessageW(hShowUpdates, BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return Order().find(L'e') == std::wstring::npos; }));
    PostMessageW(hShowUpdates, BM_CLICK, 0, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return Order().find(L'e') != std::wstring::npos; }));

    ASSERT_TRUE(m_program.SelectRow(m_program.FindRow(L"VxWin d")));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(m_program.Control(kRemove)) != FALSE; }));
    // The reader still waits on the FIFO: the program ends all the same.
    PostMessageW(m_program.Control(kList), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(m_program.WaitForExit(5000));
    DeleteFileW(empty.c_str());
}

}  // namespace
