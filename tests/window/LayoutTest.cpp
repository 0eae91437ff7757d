// The program list window's sizing: control layout, size grip, minimum size,
// maximize and minimize, with the real window under Xvfb.
#include "res/resource.h"
#include "window/ProgramDialogThread.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <vector>

namespace {

const int kControls[] = {IDC_LIST_LABEL, IDC_PROGRAM_LIST, IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES, IDC_CLOSE};

typedef std::map<int, RECT> Controls;

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual, int nSlack = 0)
{
    if (abs(expected.left - actual.left) <= nSlack && abs(expected.top - actual.top) <= nSlack &&
        abs(expected.right - actual.right) <= nSlack && abs(expected.bottom - actual.bottom) <= nSlack)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected (" << expected.left << ", " << expected.top << ")-("
                                         << expected.right << ", " << expected.bottom << "), actual ("
                                         << actual.left << ", " << actual.top << ")-(" << actual.right << ", "
                                         << actual.bottom << ")";
}

::testing::AssertionResult SameControls(const Controls& expected, const Controls& actual)
{
    for (int nID : kControls) {
        ::testing::AssertionResult result = SameRect(expected.at(nID), actual.at(nID));
        if (!result)
            return result << " for control " << nID;
    }
    return ::testing::AssertionSuccess();
}

RECT Moved(RECT rc, int dx, int dy)
{
    OffsetRect(&rc, dx, dy);
    return rc;
}

class LayoutTest : public ::testing::Test
{
protected:
    // What the window shows at one moment.
    struct State
    {
        bool bZoomed;
        bool bIconic;
        SIZE client;
        Controls controls;
        UINT nCornerHit;  // at the client area's corner pixel
        int nGripPixels;  // -1: nothing to read
    };

    void SetUp() override
    {
        ASSERT_TRUE(m_dialog.Start());
        m_hWnd = m_dialog.Window();
        GetWindowRect(m_hWnd, &m_rcStart);
    }

    // Outer size = the size it opened with, plus (dx, dy).
    void ResizeBy(int dx, int dy)
    {
        SetWindowPos(m_hWnd, NULL, 0, 0, m_rcStart.right - m_rcStart.left + dx, m_rcStart.bottom - m_rcStart.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    RECT ControlRect(int nID) const
    {
        RECT rc;
        GetWindowRect(m_dialog.Control(nID), &rc);
        MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    // The template's rectangle in pixels, converted as the dialog manager does.
    RECT FromDialogUnits(int x, int y, int cx, int cy) const
    {
        RECT rc = {x, y, cx, cy};
        MapDialogRect(m_hWnd, &rc);
        return {rc.left, rc.top, rc.left + rc.right, rc.top + rc.bottom};
    }

    SIZE ClientSize() const
    {
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        return {rc.right, rc.bottom};
    }

    // Screen point of the client area's bottom-right corner pixel, less (d, d).
    POINT ClientCorner(int d) const
    {
        SIZE size = ClientSize();
        POINT pt = {size.cx - 1 - d, size.cy - 1 - d};
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
        CClientPixels pixels(m_hWnd);
        if (!pixels.IsValid())
            return -1;
        RECT rc = {client.cx - GetSystemMetrics(SM_CXHSCROLL), ControlRect(IDC_CLOSE).bottom, client.cx, client.cy};
        return pixels.Count(rc, GetSysColor(COLOR_3DSHADOW));
    }

    State Capture() const
    {
        State state;
        state.bZoomed = IsZoomed(m_hWnd) != FALSE;
        state.bIconic = IsIconic(m_hWnd) != FALSE;
        state.client = ClientSize();
        for (int nID : kControls)
            state.controls[nID] = ControlRect(nID);
        state.nCornerHit = state.bIconic ? HTNOWHERE : HitTest(ClientCorner(1));
        state.nGripPixels = state.bIconic ? -1 : GripPixelsAt(state.client);
        return state;
    }

    // The window's state after each command. With no window manager under
    // Xvfb, Wine takes the next configure event for the window having been
    // restored; so the commands run, and their results are read, before the
    // window's thread goes back to its message loop.
    std::vector<State> SysCommandsOnWindowThread(std::initializer_list<UINT> commands) const
    {
        std::vector<State> states;
        m_dialog.Invoke([&] {
            for (UINT nCommand : commands) {
                SendMessageW(m_hWnd, WM_SYSCOMMAND, nCommand, 0);
                states.push_back(Capture());
            }
        });
        return states;
    }

    // The margins are the label's distance from the client area's corner.
    static void ExpectMargins(const State& state)
    {
        const RECT& rcLabel = state.controls.at(IDC_LIST_LABEL);
        EXPECT_EQ(state.client.cx - rcLabel.left, state.controls.at(IDC_PROGRAM_LIST).right);
        EXPECT_EQ(state.client.cx - rcLabel.left, state.controls.at(IDC_CLOSE).right);
        EXPECT_EQ(state.client.cy - rcLabel.top, state.controls.at(IDC_CLOSE).bottom);
        EXPECT_EQ(state.controls.at(IDC_CLOSE).top - rcLabel.top, state.controls.at(IDC_PROGRAM_LIST).bottom);
    }

    CProgramDialogThread m_dialog;
    HWND m_hWnd = NULL;
    RECT m_rcStart = {};
};

TEST_F(LayoutTest, ControlsFollowTheClientSizeFromTheTemplateArrangement)
{
    const RECT rcOpenedLabel = ControlRect(IDC_LIST_LABEL);
    // Away and back, so that the layout itself has placed everything.
    ResizeBy(53, 41);
    ResizeBy(0, 0);
    const State base = Capture();
    const Controls& at = base.controls;

    EXPECT_TRUE(SameRect(rcOpenedLabel, at.at(IDC_LIST_LABEL)));
    EXPECT_TRUE(SameRect(FromDialogUnits(7, 7, 88, 8), at.at(IDC_LIST_LABEL)));
    // Margins and sizes are whole pixels, the template's dialog units are not.
    EXPECT_TRUE(SameRect(FromDialogUnits(7, 17, 380, 195), at.at(IDC_PROGRAM_LIST), 2));
    EXPECT_TRUE(SameRect(FromDialogUnits(7, 219, 50, 14), at.at(IDC_REMOVE), 2));
    EXPECT_TRUE(SameRect(FromDialogUnits(64, 219, 50, 14), at.at(IDC_REFRESH), 2));
    EXPECT_TRUE(SameRect(FromDialogUnits(337, 219, 50, 14), at.at(IDC_CLOSE), 2));
    RECT rcCheck = FromDialogUnits(121, 221, 61, 10);
    EXPECT_TRUE(SameRect(Moved(rcCheck, 0, at.at(IDC_REMOVE).top + 3 - rcCheck.top), at.at(IDC_SHOW_UPDATES)))
        << "3 pixels below the buttons' top";

    HWND hList = m_dialog.Control(IDC_PROGRAM_LIST);
    const int nColumn0 = ListView_GetColumnWidth(hList, 0);
    const int nColumn1 = ListView_GetColumnWidth(hList, 1);
    const POINT deltas[] = {{37, 0}, {0, 29}, {211, 157}, {-45, -33}};
    for (POINT d : deltas) {
        SCOPED_TRACE(::testing::Message() << "grown by " << d.x << " x " << d.y);
        ResizeBy(d.x, d.y);
        const State now = Capture();
        RECT rcList = at.at(IDC_PROGRAM_LIST);
        rcList.right += d.x;
        rcList.bottom += d.y;
        EXPECT_TRUE(SameRect(rcList, now.controls.at(IDC_PROGRAM_LIST)));
        EXPECT_TRUE(SameRect(at.at(IDC_LIST_LABEL), now.controls.at(IDC_LIST_LABEL)));
        for (int nID : {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES})
            EXPECT_TRUE(SameRect(Moved(at.at(nID), 0, d.y), now.controls.at(nID))) << "control " << nID;
        EXPECT_TRUE(SameRect(Moved(at.at(IDC_CLOSE), d.x, d.y), now.controls.at(IDC_CLOSE)));
        ExpectMargins(now);
        EXPECT_EQ(nColumn0, ListView_GetColumnWidth(hList, 0));
        EXPECT_EQ(nColumn1, ListView_GetColumnWidth(hList, 1));
    }
}

TEST_F(LayoutTest, GripIsRepaintedWhereTheCornerNowIs)
{
    const SIZE before = ClientSize();
    ASSERT_GT(GripPixelsAt(before), 0);
    // Wide enough that the old corner lies on bare dialog background,
    // between the check box and Close.
    ResizeBy(150, 0);
    ASSERT_LT(ControlRect(IDC_SHOW_UPDATES).right, before.cx - GetSystemMetrics(SM_CXHSCROLL));
    ASSERT_GT(ControlRect(IDC_CLOSE).left, before.cx);
    EXPECT_EQ(0, GripPixelsAt(before)) << "the grip's old place is painted afresh";
    EXPECT_GT(GripPixelsAt(ClientSize()), 0);
}

TEST_F(LayoutTest, GripCornerSizesTheWindowDownToTheMinimum)
{
    // The grip is drawn in the client area's corner; the square that sizes
    // is measured from the outer frame, so only their overlap sizes.
    const POINT ptOverlap = ClientCorner(1);
    EXPECT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), HitTest(ptOverlap));
    EXPECT_EQ(static_cast<UINT>(HTCLIENT), HitTest(ClientCorner(GetSystemMetrics(SM_CXHSCROLL) - 2)));

    // Real drags, as a hand on the mouse would make them.
    auto drag = [](POINT from, int dx, int dy) {
        MoveMouse(from.x, from.y);
        // The press must come where the pointer has arrived.
        WaitUntil([&] {
            POINT pt;
            return GetCursorPos(&pt) && pt.x == from.x && pt.y == from.y;
        });
        Sleep(50);
        PressLeft(true);
        for (int i = 1; i <= 8; ++i) {
            MoveMouse(from.x + dx * i / 8, from.y + dy * i / 8);
            Sleep(20);
        }
        PressLeft(false);
    };
    RECT rc;
    drag(ptOverlap, 60, 45);
    const RECT rcDragged = {m_rcStart.left, m_rcStart.top, m_rcStart.right + 60, m_rcStart.bottom + 45};
    EXPECT_TRUE(WaitUntil([&] { return GetWindowRect(m_hWnd, &rc) && SameRect(rcDragged, rc); }));
    // The window's rectangle changes before its controls move: read them
    // once the window's thread has handled the last move.
    State state;
    m_dialog.Invoke([&] { state = Capture(); });
    ExpectMargins(state);

    drag(ClientCorner(1), -2000, -2000);
    EXPECT_TRUE(WaitUntil([&] {
        return GetWindowRect(m_hWnd, &rc) && rc.right - rc.left == 400 && rc.bottom - rc.top == 200;
    })) << "outer size " << rc.right - rc.left << " x " << rc.bottom - rc.top;
    EXPECT_EQ(m_rcStart.left, rc.left);
    EXPECT_EQ(m_rcStart.top, rc.top);
}

TEST_F(LayoutTest, MaximizedHasNoGripAndRestoringLaysEverythingOutAgain)
{
    // Not the template's size, so only a fresh layout can put things back.
    ResizeBy(61, 47);
    const State normal = Capture();
    ASSERT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), normal.nCornerHit);
    ASSERT_GT(normal.nGripPixels, 0);

    const std::vector<State> s = SysCommandsOnWindowThread(
        {SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE, SC_RESTORE, SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE});
    ASSERT_TRUE(s[0].bZoomed);
    EXPECT_EQ(static_cast<UINT>(HTCLIENT), s[0].nCornerHit);
    EXPECT_EQ(0, s[0].nGripPixels);
    ExpectMargins(s[0]);

    for (const State& restored : {s[1], s[3]}) {
        ASSERT_FALSE(restored.bZoomed || restored.bIconic);
        EXPECT_TRUE(SameControls(normal.controls, restored.controls));
        EXPECT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), restored.nCornerHit);
        EXPECT_GT(restored.nGripPixels, 0);
    }
    ASSERT_TRUE(s[2].bIconic);
    EXPECT_EQ(0, s[2].client.cx);
    EXPECT_EQ(0, s[2].client.cy);

    // Minimized from maximized, it comes back maximized, still without a grip.
    ASSERT_TRUE(s[5].bIconic);
    ASSERT_TRUE(s[6].bZoomed);
    EXPECT_TRUE(SameControls(s[4].controls, s[6].controls));
    EXPECT_EQ(static_cast<UINT>(HTCLIENT), s[6].nCornerHit);
    EXPECT_EQ(0, s[6].nGripPixels);
}

}  // namespace
