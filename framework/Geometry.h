#pragma once

#include <windows.h>

class CPoint : public POINT
{
public:
    CPoint()
    {
        x = 0;
        y = 0;
    }
    CPoint(int initX, int initY)
    {
        x = initX;
        y = initY;
    }
    CPoint(POINT pt)
    {
        x = pt.x;
        y = pt.y;
    }
    // Mouse messages pack signed 16-bit coordinates into an LPARAM, so the
    // keyboard's (-1, -1) and points left of or above the screen survive.
    // (windowsx.h's GET_X_LPARAM comes with macros that clash with CWnd.)
    explicit CPoint(LPARAM lParam)
    {
        x = static_cast<short>(LOWORD(lParam));
        y = static_cast<short>(HIWORD(lParam));
    }
};

class CRect : public RECT
{
public:
    CRect()
    {
        left = top = right = bottom = 0;
    }
    CRect(int l, int t, int r, int b)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    CRect(const RECT& rc)
    {
        left = rc.left;
        top = rc.top;
        right = rc.right;
        bottom = rc.bottom;
    }

    BOOL PtInRect(POINT pt) const { return ::PtInRect(this, pt); }

    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};
