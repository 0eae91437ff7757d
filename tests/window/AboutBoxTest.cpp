// The About box, opened from the program window's system menu, and its link
// control, with real windows, real mouse input and the real clipboard.
#include "res/resource.h"
#include "support/TestSupport.h"
#include "window/ProgramDialogThread.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::wstring WindowText(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
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

LOGFONTW LogFontOf(HWND hWnd)
{
    LOGFONTW lf = {};
    GetObjectW(FontOf(hWnd), sizeof(lf), &lf);
    return lf;
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

class AboutBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dialog.Start()); }

    // Opens the box with the system command and paints it, m_hLink its link.
    HWND OpenAbout(UINT nCommand)
    {
        PostMessageW(m_dialog.Window(), WM_SYSCOMMAND, nCommand, 0);
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

    // The cursor of the window's thread, after the link has had WM_SETCURSOR
    // when bAsk is set.
    HCURSOR ThreadCursor(bool bAsk = false) const
    {
        HCURSOR hCursor = NULL;
        m_dialog.Invoke([&] {
            if (bAsk)
                SendMessageW(m_hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hLink),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            hCursor = GetCursor();
        });
        return hCursor;
    }

    // Width in pixels of the link's text in the dialog's own font.
    int LinkTextWidth() const
    {
        HDC hdc = GetDC(m_hLink);
        HGDIOBJ hOld = SelectObject(hdc, FontOf(GetParent(m_hLink)));
        const std::wstring text = WindowText(m_hLink);
        SIZE size = {};
        GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(hdc, hOld);
        ReleaseDC(m_hLink, hdc);
        return size.cx;
    }

    // A point in the link's rectangle but to the right of its text.
    POINT PastTheText() const
    {
        RECT rc;
        GetWindowRect(m_hLink, &rc);
        const int nText = LinkTextWidth();
        EXPECT_LT(nText + 8, rc.right - rc.left) << "the text leaves room on its right";
        return {rc.left + (nText + rc.right - rc.left) / 2, (rc.top + rc.bottom) / 2};
    }

    // Clicks once the pointer is seen to be there.
    void ClickPastTheText() const
    {
        const POINT pt = PastTheText();
        EXPECT_TRUE(PointUntil(pt.x, pt.y, [&] { return IsHandCursor(ThreadCursor()); }));
        PressLeft(true);
        PressLeft(false);
    }

    CProgramDialogThread m_dialog;
    HWND m_hLink = NULL;
};

TEST_F(AboutBoxTest, SystemMenuOpensAModalBoxWhoseLinkOpensOrCopiesItsAddress)
{
    HMENU hSysMenu = GetSystemMenu(m_dialog.Window(), FALSE);
    const int nItems = GetMenuItemCount(hSysMenu);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hSysMenu, nItems - 1));
    EXPECT_TRUE(GetMenuState(hSysMenu, nItems - 2, MF_BYPOSITION) & MF_SEPARATOR);

    HWND hAbout = OpenAbout(IDM_ABOUTBOX);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(m_dialog.Window(), GetWindow(hAbout, GW_OWNER));
    HWND hCopyright = GetWindow(m_hLink, GW_HWNDPREV);

    // Static controls select their own font to draw: the link is given the
    // dialog's font underlined, once and not at every paint.
    const HFONT hLinkFont = FontOf(m_hLink);
    Repaint(hAbout);
    EXPECT_EQ(hLinkFont, FontOf(m_hLink));
    const LOGFONTW lfDialog = LogFontOf(hAbout), lfLink = LogFontOf(m_hLink);
    EXPECT_TRUE(lfLink.lfUnderline);
    EXPECT_STREQ(lfDialog.lfFaceName, lfLink.lfFaceName);
    EXPECT_EQ(lfDialog.lfHeight, lfLink.lfHeight);

    // On the screen: a blue line under all of the text, and no blue elsewhere.
    RECT rcLink, rcCopyright;
    GetWindowRect(m_hLink, &rcLink);
    GetWindowRect(hCopyright, &rcCopyright);
    RECT rcCopyrightHere = rcCopyright;
    MapWindowPoints(NULL, hAbout, reinterpret_cast<POINT*>(&rcLink), 2);
    MapWindowPoints(NULL, hAbout, reinterpret_cast<POINT*>(&rcCopyrightHere), 2);
    int nLongestBlueRow = 0;
    for (int y = rcLink.top; y < rcLink.bottom; ++y)
        nLongestBlueRow = std::max(nLongestBlueRow,
                                   CountClientPixels(hAbout, {rcLink.left, y, rcLink.right, y + 1}, RGB(0, 0, 255)));
    EXPECT_GE(nLongestBlueRow, LinkTextWidth() * 9 / 10) << "underline";
    EXPECT_EQ(0, CountClientPixels(hAbout, rcCopyrightHere, RGB(0, 0, 255)));

    // The real pointer: the arrow over the dialog's other text, the hand
    // past the end of the link's.
    EXPECT_TRUE(PointUntil(rcCopyright.left + 2, rcCopyright.top + 2,
                           [&] { return ThreadCursor() == LoadCursorW(NULL, IDC_ARROW); }));
    const POINT ptPast = PastTheText();
    EXPECT_TRUE(PointUntil(ptPast.x, ptPast.y, [&] { return IsHandCursor(ThreadCursor()); }));

    // With nothing to open the address, a click copies it; otherwise the
    // registered handler gets it, and the clipboard is left alone.
    wchar_t savedHandler[1024] = {};
    LONG cb = sizeof(savedHandler) - sizeof(wchar_t);
    RegQueryValueW(HKEY_CLASSES_ROOT, kHttpsCommand, savedHandler, &cb);
    const std::wstring address = WindowText(m_hLink);
    EXPECT_EQ(0u, address.find(L"https://"));
    SetHttpsHandler(L"");
    ClipboardText(true);
    ClickPastTheText();
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == address; })) << "clipboard: " << ClipboardText().c_str();
    EXPECT_TRUE(IsWindowVisible(hAbout)) << "nothing else happens";

    wchar_t tempDir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempDir);
    const std::wstring outFile = std::wstring(tempDir) + L"vx_about_open.txt";
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
    EXPECT_EQ(std::string(address.begin(), address.end()) + "\n", opened);
    EXPECT_EQ(L"", ClipboardText());
    DeleteFileW(outFile.c_str());
    SetHttpsHandler(savedHandler);

    // The box is modal. It closes with Escape typed at its focused button,
    // and with OK; its underlined font and hand cursor go with it. The low
    // four bits of a system command are the system's own.
    for (UINT i = 1; i <= 4; ++i) {
        SCOPED_TRACE(::testing::Message() << "showing " << i);
        EXPECT_FALSE(IsWindowEnabled(m_dialog.Window()));
        const HFONT hFont = FontOf(m_hLink);
        const HCURSOR hCursor = ThreadCursor(true);
        EXPECT_TRUE(LogFontOf(m_hLink).lfUnderline);
        EXPECT_TRUE(IsHandCursor(hCursor));
        if (i == 1)
            PostMessageW(GetDlgItem(hAbout, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        else
            PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 10000));
        EXPECT_TRUE(IsWindowEnabled(m_dialog.Window()));
        EXPECT_EQ(0u, GetObjectType(hFont)) << "underlined font deleted";
        ICONINFO info;
        EXPECT_FALSE(GetIconInfo(hCursor, &info)) << "hand cursor destroyed";
        hAbout = OpenAbout(IDM_ABOUTBOX | i);
        ASSERT_NE(nullptr, hAbout);
    }
}

}  // namespace
