#pragma once

// The rows of message maps. Each ON_xxx macro names the handler by its bare
// name, resolved in the class of BEGIN_MESSAGE_MAP, and binds it with the
// framework's signature; a handler of another signature does not compile.

#include "framework/Gdi.h"
#include "framework/Wnd.h"

#include <commctrl.h>

namespace afxmsg {

template<class T> struct MemberClass;
template<class C, class F> struct MemberClass<F C::*>
{
    typedef C Type;
};

// The object as the class that declares the handler.
template<auto Pfn> typename MemberClass<decltype(Pfn)>::Type* Target(CWnd* pWnd)
{
    return static_cast<typename MemberClass<decltype(Pfn)>::Type*>(pWnd);
}

// The CWnd argument of a handler: the window's own object, else a wrapper
// that borrows the handle for the duration of the call.
class CWndArg
{
public:
    explicit CWndArg(WPARAM wParam)
        : m_pPermanent(CWnd::FromHandlePermanent(reinterpret_cast<HWND>(wParam))),
          m_wndTemp(reinterpret_cast<HWND>(wParam))
    {
    }
    CWnd* Get()
    {
        if (m_pPermanent != NULL)
            return m_pPermanent;
        return m_wndTemp.m_hWnd != NULL ? &m_wndTemp : NULL;
    }

private:
    CWnd* m_pPermanent;
    CWnd m_wndTemp;
};

template<auto Pfn> bool Void(CWnd* pWnd, WPARAM, LPARAM, LRESULT*)
{
    (Target<Pfn>(pWnd)->*Pfn)();
    return true;
}

template<auto Pfn> bool SysCommand(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    (Target<Pfn>(pWnd)->*Pfn)(static_cast<UINT>(wParam), lParam);
    return true;
}

template<auto Pfn> bool QueryDragIcon(CWnd* pWnd, WPARAM, LPARAM, LRESULT* pResult)
{
    HCURSOR hCursor = (Target<Pfn>(pWnd)->*Pfn)();
    *pResult = reinterpret_cast<LRESULT>(hCursor);
    return true;
}

template<auto Pfn> bool NcHitTest(CWnd* pWnd, WPARAM, LPARAM lParam, LRESULT* pResult)
{
    UINT nHit = (Target<Pfn>(pWnd)->*Pfn)(CPoint(lParam));
    // Hit-test codes are signed (HTERROR is -2).
    *pResult = static_cast<LRESULT>(static_cast<int>(nHit));
    return true;
}

template<auto Pfn> bool GetMinMaxInfo(CWnd* pWnd, WPARAM, LPARAM lParam, LRESULT*)
{
    (Target<Pfn>(pWnd)->*Pfn)(reinterpret_cast<MINMAXINFO*>(lParam));
    return true;
}

template<auto Pfn> bool Size(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    (Target<Pfn>(pWnd)->*Pfn)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return true;
}

template<auto Pfn> bool CursorQuery(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    CWndArg wnd(wParam);
    BOOL bResult = (Target<Pfn>(pWnd)->*Pfn)(wnd.Get(), LOWORD(lParam), HIWORD(lParam));
    *pResult = bResult;
    return true;
}

template<auto Pfn> bool ContextMenu(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    CWndArg wnd(wParam);
    (Target<Pfn>(pWnd)->*Pfn)(wnd.Get(), CPoint(lParam));
    return true;
}

template<auto Pfn> bool Mouse(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    (Target<Pfn>(pWnd)->*Pfn)(static_cast<UINT>(wParam), CPoint(lParam));
    return true;
}

template<auto Pfn> bool Message(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    *pResult = (Target<Pfn>(pWnd)->*Pfn)(wParam, lParam);
    return true;
}

template<auto Pfn> bool Notify(CWnd* pWnd, WPARAM, LPARAM lParam, LRESULT* pResult)
{
    *pResult = 0;
    (Target<Pfn>(pWnd)->*Pfn)(reinterpret_cast<NMHDR*>(lParam), pResult);
    return true;
}

// Reflected: wParam is the DC, lParam the CTLCOLOR_xxx kind. A NULL brush
// leaves the colouring to the parent.
template<auto Pfn> bool CtlColorReflect(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    CDC dc(reinterpret_cast<HDC>(wParam));
    HBRUSH hBrush = (Target<Pfn>(pWnd)->*Pfn)(&dc, static_cast<UINT>(lParam));
    if (hBrush == NULL)
        return false;
    *pResult = reinterpret_cast<LRESULT>(hBrush);
    return true;
}

}  // namespace afxmsg

#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &afxmsg::SysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &afxmsg::Void<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, &afxmsg::QueryDragIcon<&ThisClass::OnQueryDragIcon>},
#define ON_WM_NCHITTEST() {WM_NCHITTEST, 0, 0, &afxmsg::NcHitTest<&ThisClass::OnNcHitTest>},
#define ON_WM_GETMINMAXINFO() \
    {WM_GETMINMAXINFO, 0, 0, &afxmsg::GetMinMaxInfo<&ThisClass::OnGetMinMaxInfo>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, &afxmsg::Size<&ThisClass::OnSize>},
#define ON_WM_SETCURSOR() {WM_SETCURSOR, 0, 0, &afxmsg::CursorQuery<&ThisClass::OnSetCursor>},
#define ON_WM_SYSCOLORCHANGE() \
    {WM_SYSCOLORCHANGE, 0, 0, &afxmsg::Void<&ThisClass::OnSysColorChange>},
#define ON_WM_CONTEXTMENU() \
    {WM_CONTEXTMENU, 0, 0, &afxmsg::ContextMenu<&ThisClass::OnContextMenu>},
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, &afxmsg::Mouse<&ThisClass::OnLButtonDown>},
#define ON_WM_CTLCOLOR_REFLECT() \
    {WM_REFLECT_BASE + AFX_WM_CTLCOLOR, 0, 0, &afxmsg::CtlColorReflect<&ThisClass::CtlColor>},

// A menu item, an accelerator or a button click (BN_CLICKED).
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, static_cast<UINT>(id), &afxmsg::Void<&ThisClass::memberFxn>},
#define ON_MESSAGE(message, memberFxn) \
    {(message), 0, 0, &afxmsg::Message<&ThisClass::memberFxn>},
// The handler's *pResult (0 unless it sets one) is the notification's result.
#define ON_NOTIFY(wNotifyCode, id, memberFxn) \
    {WM_NOTIFY, static_cast<UINT>(wNotifyCode), static_cast<UINT>(id), &afxmsg::Notify<&ThisClass::memberFxn>},
