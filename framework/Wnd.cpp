#include "framework/Wnd.h"

#include "framework/MessageMap.h"

#include <atomic>

namespace {

// The window property that names the object receiving a window's messages.
const wchar_t kObjectProp[] = L"Vantix.CWnd";

// Every message to a bound window looks its object up, and GetPropW is a
// round trip to the window server under Wine: each thread remembers its last
// answer until any window is let go of.
std::atomic<unsigned int> s_nUnbinds(0);
thread_local HWND t_hLastWnd = NULL;
thread_local CWnd* t_pLastWnd = NULL;
thread_local unsigned int t_nLastUnbinds = 0;

bool IsOnThisThread(HWND hWnd)
{
    return ::GetWindowThreadProcessId(hWnd, NULL) == ::GetCurrentThreadId();
}

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID)
{
    for (; pMap != NULL; pMap = pMap->pfnGetBaseMap != NULL ? pMap->pfnGetBaseMap() : NULL) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->pfnDispatch != NULL; ++pEntry) {
            if (pEntry->nMessage == nMessage && pEntry->nCode == nCode && pEntry->nID == nID)
                return pEntry;
        }
    }
    return NULL;
}

}  // namespace

// Keeps the message being handled for Default(), and restores the outer one
// when handlers nest.
class CWnd::CCurrentMessage
{
public:
    CCurrentMessage(CWnd* pWnd, UINT message, WPARAM wParam, LPARAM lParam)
        : m_pWnd(pWnd), m_msgSaved(pWnd->m_msgCur)
    {
        pWnd->m_msgCur.hwnd = pWnd->m_hWnd;
        pWnd->m_msgCur.message = message;
        pWnd->m_msgCur.wParam = wParam;
        pWnd->m_msgCur.lParam = lParam;
    }
    ~CCurrentMessage() { m_pWnd->m_msgCur = m_msgSaved; }
    CCurrentMessage(const CCurrentMessage&) = delete;
    CCurrentMessage& operator=(const CCurrentMessage&) = delete;

private:
    CWnd* m_pWnd;
    MSG m_msgSaved;
};

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, NULL}};
    static const AFX_MSGMAP messageMap = {NULL, &entries[0]};
    return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_msgCur()
{
}

CWnd::CWnd(HWND hWnd) : m_hWnd(hWnd), m_pfnSuper(NULL), m_msgCur()
{
}

CWnd::~CWnd()
{
    // No message may reach an object that is gone.
    if (m_pfnSuper != NULL)
        UnsubclassWindow();
    else if (IsBound())
        UnbindWindow();
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (IsBound() || hWnd == NULL)
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    // Another thread's (or process's) property would be a foreign pointer.
    if (hWnd == NULL || !IsOnThisThread(hWnd))
        return NULL;
    const unsigned int nUnbinds = s_nUnbinds.load();
    if (hWnd == t_hLastWnd && nUnbinds == t_nLastUnbinds)
        return t_pLastWnd;
    CWnd* pWnd = static_cast<CWnd*>(::GetPropW(hWnd, kObjectProp));
    if (pWnd != NULL) {
        t_hLastWnd = hWnd;
        t_pLastWnd = pWnd;
        t_nLastUnbinds = nUnbinds;
    }
    return pWnd;
}

BOOL CWnd::BindWindow(HWND hWnd)
{
    if (IsBound() || FromHandlePermanent(hWnd) != NULL || !IsOnThisThread(hWnd))
        return FALSE;
    if (!::SetPropW(hWnd, kObjectProp, this))
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

void CWnd::UnbindWindow()
{
    ++s_nUnbinds;
    ::RemovePropW(m_hWnd, kObjectProp);
    m_hWnd = NULL;
}

bool CWnd::IsBound() const
{
    return m_hWnd != NULL && FromHandlePermanent(m_hWnd) == this;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == NULL || !BindWindow(hWnd))
        return FALSE;
    LONG_PTR pfnOld = ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc));
    if (pfnOld == 0) {
        UnbindWindow();
        return FALSE;
    }
    m_pfnSuper = reinterpret_cast<WNDPROC>(pfnOld);
    return TRUE;
}

HWND CWnd::UnsubclassWindow()
{
    if (m_pfnSuper == NULL)
        return NULL;
    HWND hWnd = m_hWnd;
    ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = NULL;
    UnbindWindow();
    return hWnd;
}

bool CWnd::HasMessageHandlers() const
{
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != NULL;
         pMap = pMap->pfnGetBaseMap != NULL ? pMap->pfnGetBaseMap() : NULL) {
        if (pMap->lpEntries[0].pfnDispatch != NULL)
            return true;
    }
    return false;
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == NULL)
        return FALSE;
    if (!::DestroyWindow(m_hWnd))
        return FALSE;
    // WM_NCDESTROY has let go of a bound window already; a borrowed one is
    // simply forgotten.
    m_hWnd = NULL;
    m_pfnSuper = NULL;
    return TRUE;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == NULL || pWnd->m_pfnSuper == NULL)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WNDPROC pfnSuper = pWnd->m_pfnSuper;
        pWnd->UnsubclassWindow();
        return ::CallWindowProcW(pfnSuper, hWnd, message, wParam, lParam);
    }
    try {
        LRESULT lResult = 0;
        if (!pWnd->Dispatch(message, wParam, lParam, &lResult))
            lResult = pWnd->DefWindowProc(message, wParam, lParam);
        return lResult;
    } catch (...) {
        return 0;
    }
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    CCurrentMessage current(this, message, wParam, lParam);
    return OnWndMsg(message, wParam, lParam, pResult);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    UINT nCode = 0;
    UINT nID = 0;
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        CWnd* pChild = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
        if (pChild != NULL && pChild != this && pChild->ReflectCtlColor(message, wParam, pResult))
            return true;
    } else if (message == WM_COMMAND) {
        // Menus and accelerators (no control) count as BN_CLICKED; an
        // accelerator's code of 1 would otherwise miss ON_COMMAND.
        nCode = lParam == 0 ? 0 : HIWORD(wParam);
        nID = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const NMHDR* pNMHDR = reinterpret_cast<const NMHDR*>(lParam);
        if (pNMHDR == NULL)
            return false;
        nCode = pNMHDR->code;
        nID = static_cast<UINT>(pNMHDR->idFrom);
    }
    const AFX_MSGMAP_ENTRY* pEntry = FindEntry(GetMessageMap(), message, nCode, nID);
    return pEntry != NULL && pEntry->pfnDispatch(this, wParam, lParam, pResult);
}

bool CWnd::ReflectCtlColor(UINT message, WPARAM wParam, LRESULT* pResult)
{
    const AFX_MSGMAP_ENTRY* pEntry = FindEntry(GetMessageMap(), WM_REFLECT_BASE + AFX_WM_CTLCOLOR, 0, 0);
    if (pEntry == NULL)
        return false;
    CCurrentMessage current(this, message, wParam, 0);
    return pEntry->pfnDispatch(this, wParam, static_cast<LPARAM>(message - WM_CTLCOLORMSGBOX), pResult);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_msgCur.message, m_msgCur.wParam, m_msgCur.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != NULL)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    return ::EnableWindow(m_hWnd, bEnable);
}

BOOL CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(m_hWnd);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    return ::ShowWindow(m_hWnd, nCmdShow);
}

BOOL CWnd::GetClientRect(LPRECT lpRect) const
{
    return ::GetClientRect(m_hWnd, lpRect);
}

BOOL CWnd::GetWindowRect(LPRECT lpRect) const
{
    return ::GetWindowRect(m_hWnd, lpRect);
}

BOOL CWnd::ScreenToClient(LPPOINT lpPoint) const
{
    return ::ScreenToClient(m_hWnd, lpPoint);
}

BOOL CWnd::ScreenToClient(LPRECT lpRect) const
{
    // Both corners at once; a result of 0 can also mean "no offset".
    ::SetLastError(ERROR_SUCCESS);
    return ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<LPPOINT>(lpRect), 2) != 0 ||
           ::GetLastError() == ERROR_SUCCESS;
}

BOOL CWnd::ClientToScreen(LPPOINT lpPoint) const
{
    return ::ClientToScreen(m_hWnd, lpPoint);
}

BOOL CWnd::InvalidateRect(LPCRECT lpRect, BOOL bErase)
{
    return ::InvalidateRect(m_hWnd, lpRect, bErase);
}

DWORD CWnd::GetStyle() const
{
    return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
}

int CWnd::GetDlgCtrlID() const
{
    return ::GetDlgCtrlID(m_hWnd);
}

void CWnd::GetWindowText(CString& rString) const
{
    int nLength = ::GetWindowTextLengthW(m_hWnd);
    LPWSTR pszText = rString.GetBuffer(nLength);
    int nCopied = ::GetWindowTextW(m_hWnd, pszText, nLength + 1);
    rString.ReleaseBuffer(nCopied);
}

CWnd CWnd::GetDlgItem(int nID) const
{
    return CWnd(::GetDlgItem(m_hWnd, nID));
}

HMENU CWnd::GetSystemMenu(BOOL bRevert) const
{
    return ::GetSystemMenu(m_hWnd, bRevert);
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

HCURSOR CWnd::OnQueryDragIcon()
{
    return reinterpret_cast<HCURSOR>(Default());
}

UINT CWnd::OnNcHitTest(CPoint)
{
    return static_cast<UINT>(Default());
}

void CWnd::OnGetMinMaxInfo(MINMAXINFO*)
{
    Default();
}

void CWnd::OnSize(UINT, int, int)
{
    Default();
}

BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT)
{
    return static_cast<BOOL>(Default());
}

void CWnd::OnSysColorChange()
{
    Default();
}

void CWnd::OnContextMenu(CWnd*, CPoint)
{
    Default();
}

void CWnd::OnLButtonDown(UINT, CPoint)
{
    Default();
}
