#pragma once

#include "framework/AfxString.h"
#include "framework/Geometry.h"

#include <windows.h>

class CWnd;

// One row of a message map. The ON_xxx macros of MessageMap.h build them:
// pfnDispatch unpacks the message's parameters, calls the handler, stores its
// result and answers whether the message counts as handled.
struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nCode;  // WM_COMMAND: notification code; WM_NOTIFY: NMHDR::code
    UINT nID;    // WM_COMMAND and WM_NOTIFY: the control or command id
    bool (*pfnDispatch)(CWnd* pWnd, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;  // ends with a row whose pfnDispatch is null
};

// Messages reflected from a parent to the child control's object are looked up
// in the child's map under WM_REFLECT_BASE + the message.
#define WM_REFLECT_BASE 0xBC00
// The WM_CTLCOLORxxx family, as one reflected message; the handler receives
// which one as nCtlColor (CTLCOLOR_STATIC and so on).
#define AFX_WM_CTLCOLOR 0x0019

// Marks message handlers in class declarations; it expands to nothing.
#define afx_msg

#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    virtual const AFX_MSGMAP* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                    \
    {                                                                                  \
        using ThisClass [[maybe_unused]] = theClass;                                   \
        using TheBaseClass = baseClass;                                                \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                        \
            {0, 0, 0, NULL}                                                      \
        };                                                                       \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, \
                                              &entries[0]};                      \
        return &messageMap;                                                      \
    }

// A window. m_hWnd is borrowed: the wrapper never destroys the window unless
// DestroyWindow is called. An object that receives its window's messages
// (a dialog bound at WM_INITDIALOG, or a subclassed window) is "permanent":
// FromHandlePermanent finds it, and it lets go of the window when the window
// is destroyed or the object goes, whichever comes first.
class CWnd
{
public:
    CWnd();
    explicit CWnd(HWND hWnd);
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Borrowing a handle without taking its messages.
    BOOL Attach(HWND hWnd);

    // The object that receives the window's messages on this thread, or NULL.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Routes the window's messages through this object's message map; the
    // window's own procedure is what Default() then calls.
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();
    // True when this class's map (or a base class's, below CWnd) has rows,
    // so the object needs its window's messages.
    bool HasMessageHandlers() const;

    virtual BOOL DestroyWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL ShowWindow(int nCmdShow);
    BOOL GetClientRect(LPRECT lpRect) const;
    BOOL GetWindowRect(LPRECT lpRect) const;
    BOOL ScreenToClient(LPPOINT lpPoint) const;
    BOOL ScreenToClient(LPRECT lpRect) const;
    BOOL ClientToScreen(LPPOINT lpPoint) const;
    BOOL InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    DWORD GetStyle() const;
    int GetDlgCtrlID() const;
    void GetWindowText(CString& rString) const;
    // A borrowed wrapper of the child; its m_hWnd is NULL when there is none.
    CWnd GetDlgItem(int nID) const;
    HMENU GetSystemMenu(BOOL bRevert) const;

protected:
    // Default processing of the message now being handled by this object.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Runs the message through the map (and, for WM_CTLCOLORxxx, first through
    // the child control's object); false when nothing handled it.
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    BOOL BindWindow(HWND hWnd);
    void UnbindWindow();
    bool IsBound() const;

    // Default handlers, for derived handlers to fall back on.
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    UINT OnNcHitTest(CPoint point);
    void OnGetMinMaxInfo(MINMAXINFO* pInfo);
    void OnSize(UINT nType, int cx, int cy);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    void OnSysColorChange();
    void OnContextMenu(CWnd* pWnd, CPoint point);
    void OnLButtonDown(UINT nFlags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    class CCurrentMessage;
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The child's side of a reflected WM_CTLCOLORxxx.
    bool ReflectCtlColor(UINT message, WPARAM wParam, LRESULT* pResult);

    WNDPROC m_pfnSuper;  // the subclassed window's own procedure
    MSG m_msgCur;        // the message being handled, for Default()
};
