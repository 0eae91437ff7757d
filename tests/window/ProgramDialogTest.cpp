// The program list window run in this process, as the program runs it: its
// sizing, and the About box from its system menu with the box's link, driven
// with real messages, real mouse input and the real clipboard under Xvfb.
#include "res/resource.h"
#include "support/TestSupport.h"
#include "window/ProgramDialogThread.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

const wchar_t kHttpsCommand[] = L"https\\shell\\open\\command";

// Sets the prefix's command for https addresses; an empty one leaves none.
void SetHttpsHandler(const std::wstring& command)
{
    testsupport::DeleteTree(HKEY_CLASSES_ROOT, L"https\\shell");
    testsupport::CRegKey key;
    if (!command.empty() && key.Create(HKEY_CLASSES_ROOT, kHttpsCommand) == ERROR_SUCCESS)
        key.SetString(L"", command.c_str());
}

// The clipboard's text, emptying it when bEmpty is set.
std::wstring ClipboardText(bool bEmpty = false)
{
    std::wstring text;
    if (!OpenClipboard(NULL))
        return L"<busy>";
    HANDLE hData = GetClipboardData(CF_UNICODETEXT);
    if (const wchar_t* pText = hData != NULL ? static_cast<const wchar_t*>(GlobalLock(hData)) : NULL) {
        text.assign(pText, wcsnlen(pText, GlobalSize(hData) / sizeof(wchar_t)));
        GlobalUnlock(hData);
    }
    if (bEmpty)
        EmptyClipboard();
    CloseClipboard();
    return text;
}

HFONT FontOf(HWND hWnd)
{
    return reinterpret_cast<HFONT>(SendMessageW(hWnd, WM_GETFONT, 0, 0));
}

bool IsHandCursor(HCURSOR hCursor)
{
    ICONINFO info;
    if (hCursor == NULL || !GetIconInfo(hCursor, &info))
        return false;
    DeleteObject(info.hbmMask);
    if (info.hbmColor != NULL)
        DeleteObject(info.hbmColor);
    return !info.fIcon && info.xHotspot == 6 && info.yHotspot == 0;
}

class ProgramDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dialog.Start());
        m_hWnd = m_dialog.Window();
    }

    // Outer size = the size it opened with, plus (dx, dy).
    void ResizeBy(int dx, int dy)
    {
        SetWindowPos(m_hWnd, NULL, 0, 0, m_rcStart.right - m_rcStart.left + dx, m_rcStart.bottom - m_rcStart.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // In client coordinates.
    RECT ControlRect(int nID) const
    {
        RECT rc;
        GetWindowRect(m_dialog.Control(nID), &rc);
        MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    // What a point just inside the client area's bottom-right corner hits.
    UINT HitInCorner() const
    {
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        POINT pt = {rc.right - 2, rc.bottom - 2};
        ClientToScreen(m_hWnd, &pt);
        return static_cast<UINT>(SendMessageW(m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)));
    }

    // The list and Close keep the label's distance from the client area's
    // right and bottom edges, the other buttons their place in Close's row;
    // the grip sizes unless the window is maximized.
    void ExpectLaidOut() const
    {
        RECT rcClient;
        GetClientRect(m_hWnd, &rcClient);
        const RECT rcLabel = ControlRect(IDC_LIST_LABEL), rcList = ControlRect(IDC_PROGRAM_LIST),
                   rcClose = ControlRect(IDC_CLOSE);
        EXPECT_TRUE(EqualRect(&m_rcLabel, &rcLabel));
        EXPECT_EQ(rcClient.right - rcLabel.left, rcList.right);
        EXPECT_EQ(rcClient.right - rcLabel.left, rcClose.right);
        EXPECT_EQ(rcClient.bottom - rcLabel.top, rcClose.bottom);
        EXPECT_EQ(rcClose.top - rcLabel.top, rcList.bottom);
        for (int i = 0; i < 3; ++i) {
            const RECT rc = ControlRect(kButtons[i]);
            EXPECT_EQ(m_nButtonLeft[i], rc.left) << kButtons[i];
            EXPECT_EQ(rcClose.top + (kButtons[i] == IDC_SHOW_UPDATES ? 3 : 0), rc.top) << kButtons[i];
        }
        EXPECT_EQ(static_cast<UINT>(IsZoomed(m_hWnd) ? HTCLIENT : HTBOTTOMRIGHT), HitInCorner());
    }

    // Opens the box with the system command and paints it, m_hLink its link.
    HWND OpenAbout(UINT nCommand)
    {
        PostMessageW(m_hWnd, WM_SYSCOMMAND, nCommand, 0);
        HWND hAbout = NULL;
        WaitUntil([&] {
            hAbout = FindWindowW(WC_DIALOG, L"About Vantix");
            return hAbout != NULL && IsWindowVisible(hAbout);
        });
        m_hLink = GetDlgItem(hAbout, IDC_HOMEPAGE_LINK);
        Repaint(hAbout);
        return hAbout;
    }

    void Repaint(HWND hWnd) const
    {
        m_dialog.Invoke(
            [&] { RedrawWindow(hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN); });
    }

    // Clicks in the link's rectangle but right of its text (the whole
    // rectangle is the link) once the pointer is seen to be there; the hand
    // cursor shown there.
    HCURSOR ClickPastTheText() const
    {
        RECT rc;
        GetWindowRect(m_hLink, &rc);
        HCURSOR hCursor = NULL;
        EXPECT_TRUE(PointUntil(rc.right - 4, (rc.top + rc.bottom) / 2,
                               [&] { return IsHandCursor(hCursor = m_dialog.Cursor()); }));
        ClickLeft();
        return hCursor;
    }

    const int kButtons[3] = {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES};
    CProgramDialogThread m_dialog;
    HWND m_hWnd = NULL;
    RECT m_rcStart = {}, m_rcLabel = {};
    int m_nButtonLeft[3] = {};
    HWND m_hLink = NULL;
};

TEST_F(ProgramDialogTest, ControlsAndGripFollowResizingMaximizeAndMinimize)
{
    // Away and back, so that the layout itself has placed everything.
    GetWindowRect(m_hWnd, &m_rcStart);
    ResizeBy(53, 41);
    ResizeBy(0, 0);
    m_rcLabel = ControlRect(IDC_LIST_LABEL);
    for (int i = 0; i < 3; ++i)
        m_nButtonLeft[i] = ControlRect(kButtons[i]).left;
    for (POINT d : {POINT{150, 0}, POINT{211, 157}, POINT{-45, -33}}) {
        SCOPED_TRACE(::testing::Message() << "grown by " << d.x << " x " << d.y);
        ResizeBy(d.x, d.y);
        ExpectLaidOut();
    }
    // Far below the minimum.
    ResizeBy(-1000, -1000);
    RECT rc;
    GetWindowRect(m_hWnd, &rc);
    EXPECT_EQ(400, rc.right - rc.left);
    EXPECT_EQ(200, rc.bottom - rc.top);
    ExpectLaidOut();
    GetClientRect(m_hWnd, &rc);
    const SIZE normal = {rc.right, rc.bottom};

    // Not the template's size, so only a fresh layout can put things back.
    // With no window manager under Xvfb, Wine takes the next configure event
    // for the window having been restored; so the commands run, and their
    // results are read, before the window's thread goes back to its loop.
    m_dialog.Invoke([&] {
        const UINT commands[] = {SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE, SC_RESTORE};
        const char expected[] = "ZIZN";  // zoomed, iconic or normal after each
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(::testing::Message() << "command " << i);
            SendMessageW(m_hWnd, WM_SYSCOMMAND, commands[i], 0);
            const char state = IsIconic(m_hWnd) ? 'I' : IsZoomed(m_hWnd) ? 'Z' : 'N';
            ASSERT_EQ(expected[i], state);
            if (state == 'I')
                continue;
            ExpectLaidOut();
            GetClientRect(m_hWnd, &rc);
            EXPECT_TRUE(state == 'Z' || (rc.right == normal.cx && rc.bottom == normal.cy)) << "restored size";
        }
    });
}

TEST_F(ProgramDialogTest, SystemMenuOpensAModalBoxWhoseLinkOpensOrCopiesItsAddress)
{
    HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hSysMenu, GetMenuItemCount(hSysMenu) - 1));
    HWND hAbout = OpenAbout(IDM_ABOUTBOX);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(m_hWnd, GetWindow(hAbout, GW_OWNER));

    // Static controls select their own font to draw: the link is given an
    // underlined font, once and not at every paint.
    const HFONT hLinkFont = FontOf(m_hLink);
    Repaint(hAbout);
    EXPECT_EQ(hLinkFont, FontOf(m_hLink));
    LOGFONTW lf = {};
    EXPECT_TRUE(GetObjectW(hLinkFont, sizeof(lf), &lf) == sizeof(lf) && lf.lfUnderline);

    // The real pointer: the arrow over the dialog's other text; the hand past
    // the end of the link's, where each click comes.
    RECT rcText;
    GetWindowRect(GetWindow(m_hLink, GW_HWNDPREV), &rcText);
    EXPECT_TRUE(PointUntil(rcText.left + 2, rcText.top + 2,
                           [&] { return m_dialog.Cursor() == LoadCursorW(NULL, IDC_ARROW); }));

    // With nothing to open the address, a click copies it; otherwise the
    // registered handler gets it, and the clipboard is left alone.
    wchar_t savedHandler[1024] = {};
    LONG cb = sizeof(savedHandler) - sizeof(wchar_t);
    RegQueryValueW(HKEY_CLASSES_ROOT, kHttpsCommand, savedHandler, &cb);
    wchar_t address[256] = {};
    GetWindowTextW(m_hLink, address, 256);
    SetHttpsHandler(L"");
    ClipboardText(true);
    const HCURSOR hHand = ClickPastTheText();
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == address; })) << "clipboard: " << ClipboardText().c_str();
    EXPECT_TRUE(IsWindowVisible(hAbout)) << "nothing else happens";

    const std::wstring outFile = testsupport::TempPath(L"vx_about_open.txt");
    DeleteFileW(outFile.c_str());
    SetHttpsHandler(L"\"" + testsupport::ExeDir() + L"\\vx_record_args.exe\" \"" + outFile + L"\" \"%1\"");
    ClipboardText(true);
    // A second click at the same place within the double-click time would be
    // a double click, which opens nothing.
    Sleep(GetDoubleClickTime() + 100);
    ClickPastTheText();
    std::string opened;
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::ifstream in(outFile.c_str());
            opened.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return !opened.empty() && opened.back() == '\n';
        },
        10000));
    EXPECT_EQ(std::string(address, address + wcslen(address)) + "\n", opened);
    EXPECT_EQ(L"", ClipboardText());
    DeleteFileW(outFile.c_str());
    SetHttpsHandler(savedHandler);

    // The box is modal. Escape typed at its focused button closes it, and
    // its underlined font and hand cursor go with it. The low four bits of a
    // system command are the system's own.
    EXPECT_FALSE(IsWindowEnabled(m_hWnd));
    PostMessageW(GetDlgItem(hAbout, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 10000));
    EXPECT_TRUE(IsWindowEnabled(m_hWnd));
    // They go with the link's object, a moment after its window.
    EXPECT_TRUE(WaitUntil([&] { return GetObjectType(hLinkFont) == 0; })) << "underlined font deleted";
    EXPECT_TRUE(WaitUntil([&] {
        ICONINFO info;
        if (!GetIconInfo(hHand, &info))
            return true;
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        return false;
    })) << "hand cursor destroyed";
    EXPECT_NE(nullptr, OpenAbout(IDM_ABOUTBOX | 1));
}

// The program's manifest, linked into this executable with the program's
// resources, brings in the common controls 6.
TEST(Resources, ManifestLoadsCommonControls6)
{
    wchar_t szPath[MAX_PATH];
    std::wstring strPath(szPath, GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), szPath, MAX_PATH));
    CharLowerW(&strPath[0]);
    EXPECT_NE(std::wstring::npos, strPath.find(L"common-controls_6595b64144ccf1df_6.")) << szPath;
}

}  // namespace
