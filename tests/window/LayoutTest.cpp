// The program list window's sizing: control layout, size grip, minimum size,
// maximize and minimize, with the real window under Xvfb.
#include "res/resource.h"
#include "window/ProgramDialogThread.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <vector>

namespace {

const int kControls[] = {IDC_LIST_LABEL, IDC_PROGRAM_LIST, IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES, IDC_CLOSE};

// What the window shows at one moment, in client coordinates.
struct State
{
    bool bZoomed;
    bool bIconic;
    SIZE client;
    std::map<int, RECT> controls;
    UINT nCornerHit;  // at the client area's corner pixel
    int nGripPixels;  // grip lines in the corner square below Close; -1: nothing to read
};

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

// The list and Close keep the label's distance from the client area's right
// and bottom edges, the other buttons their place in Close's row.
void ExpectLaidOut(const State& state, const State& base)
{
    const std::map<int, RECT>& at = state.controls;
    const RECT& rcLabel = at.at(IDC_LIST_LABEL);
    const RECT& rcClose = at.at(IDC_CLOSE);
    EXPECT_TRUE(SameRect(base.controls.at(IDC_LIST_LABEL), rcLabel));
    EXPECT_EQ(state.client.cx - rcLabel.left, at.at(IDC_PROGRAM_LIST).right);
    EXPECT_EQ(state.client.cx - rcLabel.left, rcClose.right);
    EXPECT_EQ(state.client.cy - rcLabel.top, rcClose.bottom);
    EXPECT_EQ(rcClose.top - rcLabel.top, at.at(IDC_PROGRAM_LIST).bottom);
    for (int nID : {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES}) {
        EXPECT_EQ(base.controls.at(nID).left, at.at(nID).left) << nID;
        EXPECT_EQ(rcClose.top + (nID == IDC_SHOW_UPDATES ? 3 : 0), at.at(nID).top) << nID;
    }
}

class LayoutTest : public ::testing::Test
{
protected:
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

    // Screen point of the client area's bottom-right corner pixel, less (d, d).
    POINT ClientCorner(int d) const
    {
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        POINT pt = {rc.right - 1 - d, rc.bottom - 1 - d};
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

    State Capture() const
    {
        State state;
        state.bZoomed = IsZoomed(m_hWnd) != FALSE;
        state.bIconic = IsIconic(m_hWnd) != FALSE;
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        state.client = {rc.right, rc.bottom};
        for (int nID : kControls)
            state.controls[nID] = ControlRect(nID);
        state.nCornerHit = state.bIconic ? HTNOWHERE : HitTest(ClientCorner(1));
        state.nGripPixels = state.bIconic ? -1 : GripPixelsAt(state.client);
        return state;
    }

    CProgramDialogThread m_dialog;
    HWND m_hWnd = NULL;
    RECT m_rcStart = {};
};

TEST_F(LayoutTest, ControlsAndGripFollowTheSizeThroughMaximizeAndMinimize)
{
    // Away and back, so that the layout itself has placed everything where
    // the template does; margins and sizes are whole pixels, the template's
    // dialog units are not.
    ResizeBy(53, 41);
    ResizeBy(0, 0);
    const State base = Capture();
    const std::pair<int, RECT> templateRects[] = {{IDC_PROGRAM_LIST, {7, 17, 380, 195}},
                                                  {IDC_REMOVE, {7, 219, 50, 14}},
                                                  {IDC_REFRESH, {64, 219, 50, 14}},
                                                  {IDC_CLOSE, {337, 219, 50, 14}}};
    for (std::pair<int, RECT> t : templateRects) {
        MapDialogRect(m_hWnd, &t.second);
        const RECT& rc = t.second;
        EXPECT_TRUE(SameRect({rc.left, rc.top, rc.left + rc.right, rc.top + rc.bottom}, base.controls.at(t.first), 2))
            << "control " << t.first;
    }
    ExpectLaidOut(base, base);

    // Wide enough that the grip's old corner lies on bare dialog background,
    // between the check box and Close: it must be painted afresh.
    ResizeBy(150, 0);
    ASSERT_LT(ControlRect(IDC_SHOW_UPDATES).right, base.client.cx - GetSystemMetrics(SM_CXHSCROLL));
    ASSERT_GT(ControlRect(IDC_CLOSE).left, base.client.cx);
    EXPECT_EQ(0, GripPixelsAt(base.client));

    for (POINT d : {POINT{150, 0}, POINT{211, 157}, POINT{-45, -33}}) {
        SCOPED_TRACE(::testing::Message() << "grown by " << d.x << " x " << d.y);
        ResizeBy(d.x, d.y);
        const State now = Capture();
        ExpectLaidOut(now, base);
        EXPECT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), now.nCornerHit);
        EXPECT_GT(now.nGripPixels, 0);
    }

    // Not the template's size, so only a fresh layout can put things back.
    // With no window manager under Xvfb, Wine takes the next configure event
    // for the window having been restored; so the commands run, and their
    // results are read, before the window's thread goes back to its loop.
    const State normal = Capture();
    std::vector<State> s;
    m_dialog.Invoke([&] {
        for (UINT nCommand : {SC_MAXIMIZE, SC_RESTORE, SC_MINIMIZE, SC_RESTORE, SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE}) {
            SendMessageW(m_hWnd, WM_SYSCOMMAND, nCommand, 0);
            s.push_back(Capture());
        }
    });
    ASSERT_TRUE(s[0].bZoomed && s[2].bIconic && s[5].bIconic);
    for (const State& restored : {s[1], s[3]}) {
        ASSERT_FALSE(restored.bZoomed || restored.bIconic);
        for (int nID : kControls)
            EXPECT_TRUE(SameRect(normal.controls.at(nID), restored.controls.at(nID))) << "control " << nID;
        EXPECT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), restored.nCornerHit);
        EXPECT_GT(restored.nGripPixels, 0);
    }
    // Maximized, also when minimized from there and restored, it has no grip.
    for (const State& maximized : {s[0], s[6]}) {
        ASSERT_TRUE(maximized.bZoomed);
        ExpectLaidOut(maximized, base);
        EXPECT_EQ(static_cast<UINT>(HTCLIENT), maximized.nCornerHit);
        EXPECT_EQ(0, maximized.nGripPixels);
    }
}

TEST_F(LayoutTest, GripCornerSizesTheWindowDownToTheMinimum)
{
    const State base = Capture();
    // The grip is drawn in the client area's corner; the square that sizes
    // is measured from the outer frame, so only their overlap sizes.
    EXPECT_EQ(static_cast<UINT>(HTBOTTOMRIGHT), HitTest(ClientCorner(1)));
    EXPECT_EQ(static_cast<UINT>(HTCLIENT), HitTest(ClientCorner(GetSystemMetrics(SM_CXHSCROLL) - 2)));

    // A real drag, as a hand on the mouse would make it, far past the minimum.
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
    RECT rc;
    EXPECT_TRUE(WaitUntil([&] {
        return GetWindowRect(m_hWnd, &rc) && rc.right - rc.left == 400 && rc.bottom - rc.top == 200;
    })) << "outer size " << rc.right - rc.left << " x " << rc.bottom - rc.top;
    EXPECT_EQ(m_rcStart.left, rc.left);
    EXPECT_EQ(m_rcStart.top, rc.top);
    // The window's rectangle changes before its controls move: read them
    // once the window's thread has handled the last move.
    State state;
    m_dialog.Invoke([&] { state = Capture(); });
    ExpectLaidOut(state, base);
}

}  // namespace
