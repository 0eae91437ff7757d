// The About box, opened from the program window's system menu, and its link
// control, with real windows, real mouse input and the real clipboard.
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

bool Underlined(HFONT hFont)
{
    LOGFONTW lf = {};
    return GetObjectW(hFont, sizeof(lf), &lf) == sizeof(lf) && lf.lfUnderline;
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

    // A point in the link's rectangle but right of its text: the whole
    // rectangle is the link.
    POINT PastTheText() const
    {
        RECT rc;
        GetWindowRect(m_hLink, &rc);
        return {rc.right - 4, (rc.top + rc.bottom) / 2};
    }

    // Clicks once the pointer is seen to be there.
    void ClickPastTheText() const
    {
        const POINT pt = PastTheText();
        EXPECT_TRUE(PointUntil(pt.x, pt.y, [&] { return IsHandCursor(m_dialog.Cursor()); }));
        PressLeft(true);
        PressLeft(false);
    }

    CProgramDialogThread m_dialog;
    HWND m_hLink = NULL;
};

TEST_F(AboutBoxTest, SystemMenuOpensAModalBoxWhoseLinkOpensOrCopiesItsAddress)
{
    HMENU hSysMenu = GetSystemMenu(m_dialog.Window(), FALSE);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hSysMenu, GetMenuItemCount(hSysMenu) - 1));
    HWND hAbout = OpenAbout(IDM_ABOUTBOX);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(m_dialog.Window(), GetWindow(hAbout, GW_OWNER));
    HWND hText = GetWindow(m_hLink, GW_HWNDPREV);

    // Static controls select their own font to draw: the link is given an
    // underlined font, once and not at every paint, and drawn in blue.
    const HFONT hLinkFont = FontOf(m_hLink);
    Repaint(hAbout);
    EXPECT_EQ(hLinkFont, FontOf(m_hLink));
    EXPECT_TRUE(Underlined(hLinkFont));
    RECT rcLink, rcText;
    GetWindowRect(m_hLink, &rcLink);
    GetWindowRect(hText, &rcText);
    MapWindowPoints(NULL, hAbout, reinterpret_cast<POINT*>(&rcLink), 2);
    EXPECT_GT(CountClientPixels(hAbout, rcLink, RGB(0, 0, 255)), 0);

    // The real pointer: the arrow over the dialog's other text; the hand past
    // the end of the link's, where each click comes.
    EXPECT_TRUE(PointUntil(rcText.left + 2, rcText.top + 2,
                           [&] { return m_dialog.Cursor() == LoadCursorW(NULL, IDC_ARROW); }));

    // With nothing to open the address, a click copies it; otherwise the
    // registered handler gets it, and the clipboard is left alone.
    wchar_t savedHandler[1024] = {};
    LONG cb = sizeof(savedHandler) - sizeof(wchar_t);
    RegQueryValueW(HKEY_CLASSES_ROOT, kHttpsCommand, savedHandler, &cb);
    const std::wstring address = WindowText(m_hLink);
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

    // The box is modal. Escape typed at its focused button closes it, and
    // its underlined font and hand cursor go with it. The low four bits of a
    // system command are the system's own.
    EXPECT_FALSE(IsWindowEnabled(m_dialog.Window()));
    HCURSOR hHand = NULL;
    m_dialog.Invoke([&] {
        SendMessageW(m_hLink, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hLink), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        hHand = GetCursor();
    });
    EXPECT_TRUE(IsHandCursor(hHand));
    PostMessageW(GetDlgItem(hAbout, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout); }, 10000));
    EXPECT_TRUE(IsWindowEnabled(m_dialog.Window()));
    EXPECT_EQ(0u, GetObjectType(hLinkFont)) << "underlined font deleted";
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(hHand, &info)) << "hand cursor destroyed";
    EXPECT_NE(nullptr, OpenAbout(IDM_ABOUTBOX | 1));
}

}  // namespace
