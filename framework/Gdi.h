#pragma once

#include <windows.h>

class CWnd;

// Owns one font object and deletes it in its destructor.
class CFont
{
public:
    CFont() : m_hObject(NULL) {}
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // Takes ownership; fails, leaving the caller the owner, when this object
    // already holds a font or hFont is NULL.
    BOOL Attach(HFONT hFont);
    BOOL DeleteObject();

    HFONT GetSafeHandle() const { return m_hObject; }
    operator HFONT() const { return m_hObject; }

private:
    HFONT m_hObject;
};

// A device context borrowed for the duration of one use.
class CDC
{
public:
    explicit CDC(HDC hDC = NULL) : m_hDC(hDC) {}
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC;

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    HGDIOBJ SelectObject(HGDIOBJ hObject);
    HFONT SelectObject(CFont* pFont);
    COLORREF SetTextColor(COLORREF crColor);
    int SetBkMode(int nBkMode);
    BOOL DrawIcon(int x, int y, HICON hIcon);
    BOOL DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState);
};

// BeginPaint / EndPaint, for WM_PAINT handlers.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

// GetDC / ReleaseDC: the client area, outside WM_PAINT.
class CClientDC : public CDC
{
public:
    explicit CClientDC(CWnd* pWnd);
    ~CClientDC();

private:
    HWND m_hWnd;
};
