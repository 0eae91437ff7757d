#include "ui/HyperlinkStatic.h"

#include "res/resource.h"

#include <shellapi.h>

BEGIN_MESSAGE_MAP(CHyperlinkStatic, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_NCHITTEST()
    ON_WM_SETCURSOR()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CHyperlinkStatic::CHyperlinkStatic()
    : m_hCursor(static_cast<HCURSOR>(LoadImageW(AfxGetInstanceHandle(),
                                                MAKEINTRESOURCEW(IDC_HAND_CURSOR), IMAGE_CURSOR,
                                                GetSystemMetrics(SM_CXCURSOR),
                                                GetSystemMetrics(SM_CYCURSOR), LR_DEFAULTCOLOR)))
{
}

CHyperlinkStatic::~CHyperlinkStatic()
{
    if (m_hCursor != NULL)
        DestroyCursor(m_hCursor);
}

HBRUSH CHyperlinkStatic::CtlColor(CDC* pDC, UINT)
{
    // Only plain left, centred or right text is drawn as a link.
    if ((GetStyle() & 0xFF) > SS_RIGHT)
        return NULL;

    if (m_font.GetSafeHandle() == NULL) {
        HFONT hFont = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT, 0, 0));
        LOGFONTW lf;
        if (hFont != NULL && GetObjectW(hFont, sizeof(lf), &lf) == sizeof(lf)) {
            lf.lfUnderline = TRUE;
            // Some static controls select their own font after asking for
            // colours, which would drop the underline; so the control is
            // given the font too. m_font outlives the window (the dialog
            // destroys its controls before their objects go).
            if (m_font.Attach(CreateFontIndirectW(&lf)))
                SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.GetSafeHandle()), FALSE);
        }
    }
    if (m_font.GetSafeHandle() != NULL)
        pDC->SelectObject(&m_font);
    pDC->SetTextColor(RGB(0, 0, 255));
    pDC->SetBkMode(TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

UINT CHyperlinkStatic::OnNcHitTest(CPoint)
{
    // The control has no SS_NOTIFY; claiming the client area brings it the
    // cursor and mouse messages over its whole rectangle.
    return HTCLIENT;
}

BOOL CHyperlinkStatic::OnSetCursor(CWnd*, UINT, UINT)
{
    ::SetCursor(m_hCursor);
    return TRUE;
}

void CHyperlinkStatic::OnLButtonDown(UINT, CPoint)
{
    CString strLink;
    GetWindowText(strLink);
    HINSTANCE hResult = ShellExecuteW(NULL, L"open", strLink, NULL, NULL, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(hResult) <= 32)
        CopyToClipboard(strLink);
    Default();
}

void CHyperlinkStatic::CopyToClipboard(const CString& strText)
{
    if (!OpenClipboard(m_hWnd))
        return;
    if (EmptyClipboard()) {
        SIZE_T cb = (static_cast<SIZE_T>(strText.GetLength()) + 1) * sizeof(wchar_t);
        HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, cb);
        if (hMem != NULL) {
            wchar_t* pText = static_cast<wchar_t*>(GlobalLock(hMem));
            if (pText != NULL) {
                lstrcpyW(pText, strText);
                GlobalUnlock(hMem);
                // The clipboard owns the block once it accepts it.
                if (SetClipboardData(CF_UNICODETEXT, hMem) == NULL)
                    GlobalFree(hMem);
            } else {
                GlobalFree(hMem);
            }
        }
    }
    CloseClipboard();
}
