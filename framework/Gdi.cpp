#include "framework/Gdi.h"

#include "framework/Wnd.h"

CFont::~CFont()
{
    DeleteObject();
}

BOOL CFont::Attach(HFONT hFont)
{
    if (m_hObject != NULL || hFont == NULL)
        return FALSE;
    m_hObject = hFont;
    return TRUE;
}

BOOL CFont::DeleteObject()
{
    if (m_hObject == NULL)
        return FALSE;
    BOOL bResult = ::DeleteObject(m_hObject);
    m_hObject = NULL;
    return bResult;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ hObject)
{
    return ::SelectObject(m_hDC, hObject);
}

HFONT CDC::SelectObject(CFont* pFont)
{
    return static_cast<HFONT>(::SelectObject(m_hDC, pFont->GetSafeHandle()));
}

COLORREF CDC::SetTextColor(COLORREF crColor)
{
    return ::SetTextColor(m_hDC, crColor);
}

int CDC::SetBkMode(int nBkMode)
{
    return ::SetBkMode(m_hDC, nBkMode);
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon)
{
    return ::DrawIcon(m_hDC, x, y, hIcon);
}

BOOL CDC::DrawFrameControl(LPRECT lpRect, UINT nType, UINT nState)
{
    return ::DrawFrameControl(m_hDC, lpRect, nType, nState);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd())
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    if (m_hDC != NULL)
        ::EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd())
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC != NULL)
        ::ReleaseDC(m_hWnd, m_hDC);
}
