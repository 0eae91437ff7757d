// The program list window's sizing: control layout, size grip, minimum size,
// maximize and minimize, with the real window under Xvfb.
#include "res/resource.h"
#include "window/ProgramDialogThread.h"

#include <gtest/gtest.h>

namespace {

class LayoutTest : public ::testing::Test
{
protected:
    // Away and back, so that the layout itself has placed everything.
    void SetUp() override
    {
        ASSERT_TRUE(m_dialog.Start());
        m_hWnd = m_dialog.Window();
        GetWindowRect(m_hWnd, &m_rcStart);
        ResizeBy(53, 41);
        ResizeBy(0, 0);
        m_rcLabel = ControlRect(IDC_LIST_LABEL);
        for (int i = 0; i < 3; ++i)
            m_nButtonLeft[i] = ControlRect(kButtons[i]).left;
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

    SIZE Client() const
    {
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        return {rc.right, rc.bottom};
    }

    // Screen point of the client area's bottom-right corner pixel, less (d, d).
    POINT ClientCorner(int d) const
    {
        POINT pt = {Client().cx - 1 - d, Client().cy - 1 - d};
        ClientToScreen(m_hWnd, &pt);
        return pt;
    }

    UINT HitTest(POINT pt) const
    {
        return static_cast<UINT>(SendMessageW(m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)));
    }

    // Grip lines in the square at the given client corner, below the
    // buttons' row, where no control covers them.
    int GripPixelsAt(SIZE client) const
    {
        // Twice: the grip's painting invalidates the Close button.
        for (int i = 0; i < 2; ++i)
            m_dialog.Invoke([this] { UpdateWindow(m_hWnd); });
        RECT rc = {client.cx - GetSystemMetrics(SM_CXHSCROLL), ControlRect(IDC_CLOSE).bottom, client.cx, client.cy};
        return CountClientPixels(m_hWnd, rc, GetSysColor(COLOR_3DSHADOW));
    }

    // The list and Close keep the label's distance from the client area's
    // right and bottom edges, the other buttons their place in Close's row;
    // the grip shows, and sizes, unless the window is maximized.
    void ExpectLaidOut() const
    {
        const SIZE client = Client();
        const RECT rcLabel = ControlRect(IDC_LIST_LABEL), rcList = ControlRect(IDC_PROGRAM_LIST),
                   rcClose = ControlRect(IDC_CLOSE);
        EXPECT_TRUE(EqualRect(&m_rcLabel, &rcLabel));
        EXPECT_EQ(client.cx - rcLabel.left, rcList.right);
        EXPECT_EQ(client.cx - rcLabel.left, rcClose.right);
        EXPECT_EQ(client.cy - rcLabel.top, rcClose.bottom);
        EXPECT_EQ(rcClose.top - rcLabel.top, rcList.bottom);
        for (int i = 0; i < 3; ++i) {
            const RECT rc = ControlRect(kButtons[i]);
            EXPECT_EQ(m_nButtonLeft[i], rc.left) << kButtons[i];
            EXPECT_EQ(rcClose.top + (kButtons[i] == IDC_SHOW_UPDATES ? 3 : 0), rc.top) << kButtons[i];
        }
        const bool bGrip = !IsZoomed(m_hWnd);
        EXPECT_EQ(static_cast<UINT>(bGrip ? HTBOTTOMRIGHT : HTCLIENT), HitTest(ClientCorner(1)));
        const int nGripPixels = GripPixelsAt(client);
        EXPECT_TRUE(bGrip ? nGripPixels > 0 : nGripPixels == 0) << nGripPixels << " grip pixels";
    }

    const int kButtons[3] = {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES};
    CProgramDialogThread m_dialog;
    HWND m_hWnd = NULL;
    RECT m_rcStart = {}, m_rcLabel = {};
    int m_nButtonLeft[3] = {};
};

TEST_F(LayoutTest, ControlsAndGripFollowResizingDraggingMaximizeAndMinimize)
{
    // Wide enough that the grip's old corner lies on bare dialog background,
    // between the check box and Close: it must be painted afresh.
    const SIZE start = Client();
    ResizeBy(150, 0);
    ASSERT_LT(ControlRect(IDC_SHOW_UPDATES).right, start.cx - GetSystemMetrics(SM_CXHSCROLL));
    ASSERT_GT(ControlRect(IDC_CLOSE).left, start.cx);
    EXPECT_EQ(0, GripPixelsAt(start));
    for (POINT d : {POINT{150, 0}, POINT{211, 157}, POINT{-45, -33}}) {
        SCOPED_TRACE(::testing::Message() << "grown by " << d.x << " x " << d.y);
        ResizeBy(d.x, d.y);
        ExpectLaidOut();
    }

    // The grip is drawn in the client area's corner; the square that sizes
    // is measured from the outer frame, so only their overlap sizes. A real
    // drag from there, far past the minimum.
    EXPECT_EQ(static_cast<UINT>(HTCLIENT), HitTest(ClientCorner(GetSystemMetrics(SM_CXHSCROLL) - 2)));
    RECT rcBefore, rc;
    GetWindowRect(m_hWnd, &rcBefore);
    const POINT from = ClientCorner(1);
    MoveMouse(from.x, from.y);
    // The press must come where the pointer has arrived.
    WaitUntil([&] {
        POINT pt;
        return GetCursorPos(&pt) && pt.x == from.x && pt.y == from.y;
    });
    Sleep(50);
    PressLeft(true);
    for (int i = 1; i <= 8; ++i) {
        MoveMouse(from.x - 250 * i, from.y - 250 * i);
        Sleep(20);
    }
    PressLeft(false);
    EXPECT_TRUE(WaitUntil([&] {
        return GetWindowRect(m_hWnd, &rc) && rc.right - rc.left == 400 && rc.bottom - rc.top == 200;
    })) << "outer size " << rc.right - rc.left << " x " << rc.bottom - rc.top;
    EXPECT_EQ(rcBefore.left, rc.left);
    EXPECT_EQ(rcBefore.top, rc.top);
    // The window's rectangle changes before its controls move: read them
    // once the window's thread has handled the last move.
    SIZE normal = {};
    m_dialog.Invoke([&] {
        ExpectLaidOut();
        normal = Client();
    });

    // Not the template's size, so only a fresh layout can put things back;
    // maximized, also when minimized from there and restored, there is no
    // grip. With no window manager under Xvfb, Wine takes the next configure
    // event for the window having been restored; so the commands run, and
    // their results are read, before the window's thread goes back to its loop.
    m_dialog.Invoke([&] {
        const UINT commands[] = {SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE, SC_RESTORE, SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE};
        const char expected[] = "ZNINZIZ";  // zoomed, normal or iconic after each
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(::testing::Message() << "command " << i);
            SendMessageW(m_hWnd, WM_SYSCOMMAND, commands[i], 0);
            const char state = IsIconic(m_hWnd) ? 'I' : IsZoomed(m_hWnd) ? 'Z' : 'N';
            ASSERT_EQ(expected[i], state);
            if (state == 'I')
                continue;
            ExpectLaidOut();
            EXPECT_TRUE(state == 'Z' || (Client().cx == normal.cx && Client().cy == normal.cy)) << "restored size";
        }
    });
}

}  // namespace
