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

// Replaces the prefix's handler of https addresses for one test and puts the
// old one back. An empty command leaves no handler at all.
class CHttpsHandler
{
public:
    explicit CHttpsHandler(const std::wstring& command)
    {
        wchar_t saved[1024] = {};
        DWORD cb = sizeof(saved) - sizeof(wchar_t);
        DWORD dwType = 0;
        testsupport::CRegKey key;
        m_bSaved = key.Open(HKEY_CLASSES_ROOT, kHttpsCommand, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
                   RegQueryValueExW(key.Get(), NULL, NULL, &dwType, reinterpret_cast<BYTE*>(saved), &cb) ==
                       ERROR_SUCCESS &&
                   dwType == REG_SZ;
        m_strSaved = saved;
        Set(command);
    }
    ~CHttpsHandler() { Set(m_bSaved ? m_strSaved : std::wstring()); }
    CHttpsHandler(const CHttpsHandler&) = delete;
    CHttpsHandler& operator=(const CHttpsHandler&) = delete;

private:
    static void Set(const std::wstring& command)
    {
        testsupport::DeleteTree(HKEY_CLASSES_ROOT, L"https\\shell");
        if (command.empty())
            return;
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CLASSES_ROOT, kHttpsCommand));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"", command.c_str()));
    }

    bool m_bSaved;
    std::wstring m_strSaved;
};

std::wstring WindowText(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
}

std::wstring ClipboardText()
{
    std::wstring text = L"<none>";
    if (!OpenClipboard(NULL))
        return L"<busy>";
    HANDLE hData = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* pText = hData != NULL ? static_cast<const wchar_t*>(GlobalLock(hData)) : NULL;
    if (pText != NULL) {
        text.assign(pText, wcsnlen(pText, GlobalSize(hData) / sizeof(wchar_t)));
        GlobalUnlock(hData);
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const std::wstring& text)
{
    ASSERT_TRUE(OpenClipboard(NULL));
    EmptyClipboard();
    SIZE_T cb = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, cb);
    if (hMem != NULL) {
        memcpy(GlobalLock(hMem), text.c_str(), cb);
        GlobalUnlock(hMem);
        if (SetClipboardData(CF_UNICODETEXT, hMem) == NULL)
            GlobalFree(hMem);
    }
    CloseClipboard();
}

LOGFONTW FontOf(HFONT hFont)
{
    LOGFONTW lf = {};
    GetObjectW(hFont, sizeof(lf), &lf);
    return lf;
}

// How the dialog has a static control coloured, asked the way the control
// asks while it paints.
struct Colouring
{
    HBRUSH hBrush;
    COLORREF crText;
    int nBkMode;
    HFONT hFont;
};

Colouring ColouringOf(HWND hDlg, HWND hControl)
{
    HDC hdc = CreateCompatibleDC(NULL);
    HGDIOBJ hOldFont = GetCurrentObject(hdc, OBJ_FONT);
    Colouring c;
    c.hBrush = reinterpret_cast<HBRUSH>(
        SendMessageW(hDlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hControl)));
    c.crText = GetTextColor(hdc);
    c.nBkMode = GetBkMode(hdc);
    c.hFont = static_cast<HFONT>(GetCurrentObject(hdc, OBJ_FONT));
    // Kept selected, the font could not be deleted.
    SelectObject(hdc, hOldFont);
    DeleteDC(hdc);
    return c;
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

// Live objects of this process. GetGuiResources is a stub in Wine, but Wine
// takes a handle whose upper word is 0 for whatever its slot holds now, so
// every slot can be asked.
int CountLiveFonts()
{
    int n = 0;
    for (UINT_PTR nSlot = 1; nSlot <= 0xFFFF; ++nSlot)
        n += GetObjectType(reinterpret_cast<HGDIOBJ>(nSlot)) == OBJ_FONT;
    return n;
}

int CountLiveIconsAndCursors()
{
    int n = 0;
    for (UINT_PTR nSlot = 1; nSlot <= 0xFFFF; ++nSlot) {
        ICONINFO info;
        if (GetIconInfo(reinterpret_cast<HICON>(nSlot), &info)) {
            ++n;
            DeleteObject(info.hbmMask);
            if (info.hbmColor != NULL)
                DeleteObject(info.hbmColor);
        }
    }
    return n;
}

BOOL CALLBACK FindAboutBox(HWND hWnd, LPARAM lParam)
{
    if (IsWindowVisible(hWnd) && WindowText(hWnd) == L"About Vantix") {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

class AboutBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dialog.Start()); }

    // Opens the box with the system command; m_hLink is its link control.
    HWND OpenAbout(UINT nCommand = IDM_ABOUTBOX)
    {
        PostMessageW(m_dialog.Window(), WM_SYSCOMMAND, nCommand, 0);
        HWND hAbout = NULL;
        WaitUntil([&] {
            EnumThreadWindows(m_dialog.ThreadId(), FindAboutBox, reinterpret_cast<LPARAM>(&hAbout));
            return hAbout != NULL;
        });
        m_hLink = GetDlgItem(hAbout, IDC_HOMEPAGE_LINK);
        return hAbout;
    }

    static bool WaitClosed(HWND hAbout)
    {
        return WaitUntil([&] { return !IsWindow(hAbout); }, 10000);
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

    // Width in pixels of the link's text in the font the dialog gave it.
    int LinkTextWidth() const
    {
        HDC hdc = GetDC(m_hLink);
        HWND hDlg = GetParent(m_hLink);
        HGDIOBJ hOld = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(hDlg, WM_GETFONT, 0, 0)));
        const std::wstring text = WindowText(m_hLink);
        SIZE size = {};
        GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(hdc, hOld);
        ReleaseDC(m_hLink, hdc);
        return size.cx;
    }

    // A screen point inside the link's rectangle but to the right of its text.
    POINT PastTheText() const
    {
        RECT rc;
        GetWindowRect(m_hLink, &rc);
        const int nText = LinkTextWidth();
        EXPECT_LT(nText + 8, rc.right - rc.left) << "the text leaves room on its right";
        return {rc.left + (nText + rc.right - rc.left) / 2, (rc.top + rc.bottom) / 2};
    }

    void ClickPastTheText() const
    {
        POINT pt = PastTheText();
        MoveMouse(pt.x, pt.y);
        PressLeft(true);
        PressLeft(false);
    }

    CProgramDialogThread m_dialog;
    HWND m_hLink = NULL;
};

TEST_F(AboutBoxTest, SystemMenuCommandOpensAModalBox)
{
    HMENU hSysMenu = GetSystemMenu(m_dialog.Window(), FALSE);
    const int nItems = GetMenuItemCount(hSysMenu);
    ASSERT_GE(nItems, 2);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hSysMenu, nItems - 1));
    wchar_t text[64] = {};
    GetMenuStringW(hSysMenu, nItems - 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(L"&About Vantix...", text);
    EXPECT_TRUE(GetMenuState(hSysMenu, nItems - 2, MF_BYPOSITION) & MF_SEPARATOR);

    // The low four bits of a system command are the system's own.
    HWND hAbout = OpenAbout(IDM_ABOUTBOX | 0x3);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(m_dialog.Window(), GetWindow(hAbout, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(m_dialog.Window())) << "modal";
    PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitClosed(hAbout));
    EXPECT_TRUE(IsWindowEnabled(m_dialog.Window()));

    // Escape, typed at the focused button, closes the next one.
    hAbout = OpenAbout();
    ASSERT_NE(nullptr, hAbout);
    PostMessageW(GetDlgItem(hAbout, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitClosed(hAbout));
}

TEST_F(AboutBoxTest, LinkIsDrawnBlueAndUnderlinedInTheDialogsFont)
{
    HWND hAbout = OpenAbout();
    ASSERT_NE(nullptr, hAbout);
    HWND hCopyright = GetWindow(m_hLink, GW_HWNDPREV);

    const Colouring link = ColouringOf(hAbout, m_hLink);
    EXPECT_EQ(GetStockObject(NULL_BRUSH), link.hBrush) << "the dialog's background shows through";
    EXPECT_EQ(RGB(0, 0, 255), link.crText);
    EXPECT_EQ(TRANSPARENT, link.nBkMode);
    EXPECT_EQ(link.hFont, ColouringOf(hAbout, m_hLink).hFont) << "made once, not per paint";
    const LOGFONTW lfDialog = FontOf(reinterpret_cast<HFONT>(SendMessageW(hAbout, WM_GETFONT, 0, 0)));
    const LOGFONTW lfLink = FontOf(link.hFont);
    EXPECT_TRUE(lfLink.lfUnderline);
    EXPECT_FALSE(lfDialog.lfUnderline);
    EXPECT_STREQ(lfDialog.lfFaceName, lfLink.lfFaceName);
    EXPECT_EQ(lfDialog.lfHeight, lfLink.lfHeight);
    EXPECT_EQ(lfDialog.lfWeight, lfLink.lfWeight);

    const Colouring plain = ColouringOf(hAbout, hCopyright);
    EXPECT_NE(GetStockObject(NULL_BRUSH), plain.hBrush);
    EXPECT_NE(RGB(0, 0, 255), plain.crText);

    // On the screen: a blue line under all of the text, and no blue elsewhere.
    m_dialog.Invoke(
        [&] { RedrawWindow(hAbout, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN); });
    CClientPixels pixels(hAbout);
    ASSERT_TRUE(pixels.IsValid());
    RECT rcLink, rcCopyright;
    GetWindowRect(m_hLink, &rcLink);
    GetWindowRect(hCopyright, &rcCopyright);
    MapWindowPoints(NULL, hAbout, reinterpret_cast<POINT*>(&rcLink), 2);
    MapWindowPoints(NULL, hAbout, reinterpret_cast<POINT*>(&rcCopyright), 2);
    int nLongestBlueRow = 0;
    for (int y = rcLink.top; y < rcLink.bottom; ++y)
        nLongestBlueRow =
            std::max(nLongestBlueRow, pixels.Count({rcLink.left, y, rcLink.right, y + 1}, RGB(0, 0, 255)));
    EXPECT_GE(nLongestBlueRow, LinkTextWidth() * 9 / 10) << "underline";
    EXPECT_EQ(0, pixels.Count(rcCopyright, RGB(0, 0, 255)));
}

TEST_F(AboutBoxTest, PastItsTextTheLinkShowsTheHandAndCopiesTheAddressWhenNothingOpensIt)
{
    CHttpsHandler noHandler(L"");
    HWND hAbout = OpenAbout();
    ASSERT_NE(nullptr, hAbout);
    RECT rc;
    GetWindowRect(m_hLink, &rc);
    const POINT ptPast = PastTheText();
    for (POINT pt : {POINT{rc.left, rc.top}, ptPast, POINT{rc.right - 1, rc.bottom - 1}})
        EXPECT_EQ(HTCLIENT, SendMessageW(m_hLink, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)))
            << pt.x << ", " << pt.y;

    // The real pointer: the arrow over the dialog's other text, the hand
    // past the end of the link's.
    RECT rcCopyright;
    GetWindowRect(GetWindow(m_hLink, GW_HWNDPREV), &rcCopyright);
    MoveMouse(rcCopyright.left + 2, rcCopyright.top + 2);
    EXPECT_TRUE(WaitUntil([&] { return ThreadCursor() == LoadCursorW(NULL, IDC_ARROW); }));
    MoveMouse(ptPast.x, ptPast.y);
    EXPECT_TRUE(WaitUntil([&] { return IsHandCursor(ThreadCursor()); }));

    const std::wstring address = WindowText(m_hLink);
    ASSERT_EQ(0u, address.find(L"https://"));
    SetClipboardText(L"before");
    ClickPastTheText();
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == address; })) << "clipboard: " << ClipboardText().c_str();
    EXPECT_TRUE(IsWindowVisible(hAbout)) << "nothing else happens";
    EXPECT_EQ(address, WindowText(m_hLink));
}

TEST_F(AboutBoxTest, ClickHandsTheAddressToTheRegisteredHandler)
{
    wchar_t tempDir[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, tempDir));
    const std::wstring outFile = std::wstring(tempDir) + L"vx_about_open.txt";
    DeleteFileW(outFile.c_str());
    CHttpsHandler recorder(L"\"" + testsupport::ExeDir() + L"\\vx_record_args.exe\" \"" + outFile + L"\" \"%1\"");

    ASSERT_NE(nullptr, OpenAbout());
    SetClipboardText(L"before");
    ClickPastTheText();
    std::string opened;
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::ifstream in(outFile.c_str());
            opened.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return !opened.empty() && opened.back() == '\n';
        },
        10000));
    const std::wstring address = WindowText(m_hLink);
    EXPECT_EQ(std::string(address.begin(), address.end()) + "\n", opened);
    EXPECT_EQ(L"before", ClipboardText()) << "the clipboard is only the fallback";
    DeleteFileW(outFile.c_str());
}

TEST_F(AboutBoxTest, LinkWithAnotherLowStyleBitIsColouredPlainButStillActsAsALink)
{
    CHttpsHandler noHandler(L"");
    HWND hAbout = OpenAbout();
    ASSERT_NE(nullptr, hAbout);
    // SS_NOPREFIX is outside SS_TYPEMASK but inside the low byte.
    SetWindowLongW(m_hLink, GWL_STYLE, GetWindowLongW(m_hLink, GWL_STYLE) | SS_NOPREFIX);

    const Colouring c = ColouringOf(hAbout, m_hLink);
    EXPECT_NE(GetStockObject(NULL_BRUSH), c.hBrush);
    EXPECT_NE(RGB(0, 0, 255), c.crText);
    EXPECT_TRUE(IsHandCursor(ThreadCursor(true)));
    SetClipboardText(L"before");
    ClickPastTheText();
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == WindowText(m_hLink); }));
}

TEST_F(AboutBoxTest, OpeningAndClosingLeavesNoFontOrCursorBehind)
{
    struct Showing
    {
        HFONT hFont;
        HCURSOR hCursor;
    };
    auto show = [&](UINT nCommand) {
        HWND hAbout = OpenAbout(nCommand);
        EXPECT_NE(nullptr, hAbout);
        Showing showing = {ColouringOf(hAbout, m_hLink).hFont, ThreadCursor(true)};
        EXPECT_TRUE(IsHandCursor(showing.hCursor));
        PostMessageW(hAbout, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitClosed(hAbout));
        return showing;
    };

    // The first showing loads what the system keeps for the process (the
    // dialog's icon, for one).
    show(IDM_ABOUTBOX);
    const int nFonts = CountLiveFonts();
    const int nIcons = CountLiveIconsAndCursors();
    ASSERT_GT(nFonts, 0) << "the count sees this process's objects";
    ASSERT_GT(nIcons, 0);

    for (UINT i = 0; i < 4; ++i) {
        SCOPED_TRACE(::testing::Message() << "showing " << i);
        const Showing showing = show(IDM_ABOUTBOX | i);
        EXPECT_EQ(0u, GetObjectType(showing.hFont)) << "underlined font deleted";
        ICONINFO info;
        EXPECT_FALSE(GetIconInfo(showing.hCursor, &info)) << "hand cursor destroyed";
    }
    EXPECT_EQ(nFonts, CountLiveFonts());
    EXPECT_EQ(nIcons, CountLiveIconsAndCursors());
}

}  // namespace
