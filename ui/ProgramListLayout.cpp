// Sizing behaviour of the program list window: minimum size, control layout,
// the size grip, and the icon while minimized.
#include "res/resource.h"
#include "ui/ProgramListDlg.h"

namespace {

// Empty when the control is missing.
RECT ClientRectOf(CWnd* pParent, int nID)
{
    RECT rc = {};
    CWnd control = pParent->GetDlgItem(nID);
    if (control.GetWindowRect(&rc))
        pParent->ScreenToClient(&rc);
    return rc;
}

}  // namespace

void CProgramListDlg::OnGetMinMaxInfo(MINMAXINFO* pInfo)
{
    pInfo->ptMinTrackSize.x = 400;
    pInfo->ptMinTrackSize.y = 200;
    CDialog::OnGetMinMaxInfo(pInfo);
}

void CProgramListDlg::OnSize(UINT nType, int cx, int cy)
{
    CDialog::OnSize(nType, cx, cy);
    if (!IsWindowVisible())
        return;

    if (s_nMarginX == 0) {
        RECT rcLabel = ClientRectOf(this, IDC_LIST_LABEL);
        s_nMarginX = rcLabel.left;
        s_nMarginY = rcLabel.top;
        RECT rcClose = {};
        GetDlgItem(IDC_CLOSE).GetWindowRect(&rcClose);
        s_nButtonHeight = rcClose.bottom - rcClose.top;
    }

    m_bShowGrip = nType != SIZE_MAXIMIZED;
    InvalidateRect(&m_rcGrip, TRUE);

    // A minimized window has no client area to lay out; the restore that
    // follows lays everything out again.
    if (nType == SIZE_MINIMIZED)
        return;

    const int nButtonTop = cy - s_nMarginY - s_nButtonHeight;
    HDWP hdwp = BeginDeferWindowPos(5);

    RECT r = ClientRectOf(this, IDC_PROGRAM_LIST);
    int nListWidth = cx - 2 * s_nMarginX;
    int nListHeight = cy - 2 * s_nMarginY - s_nButtonHeight - r.top;
    if (hdwp != NULL)
        hdwp = DeferWindowPos(hdwp, GetDlgItem(IDC_PROGRAM_LIST), NULL, 0, 0,
                              nListWidth > 0 ? nListWidth : 0, nListHeight > 0 ? nListHeight : 0,
                              SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);

    static const int s_anButtons[] = {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES};
    for (int nID : s_anButtons) {
        r = ClientRectOf(this, nID);
        int y = nID == IDC_SHOW_UPDATES ? nButtonTop + 3 : nButtonTop;
        if (hdwp != NULL)
            hdwp = DeferWindowPos(hdwp, GetDlgItem(nID), NULL, r.left, y, 0, 0,
                                  SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
    }

    r = ClientRectOf(this, IDC_CLOSE);
    if (hdwp != NULL)
        hdwp = DeferWindowPos(hdwp, GetDlgItem(IDC_CLOSE), NULL,
                              cx - s_nMarginX - (r.right - r.left), nButtonTop, 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
    if (hdwp != NULL)
        EndDeferWindowPos(hdwp);
}

void CProgramListDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        RECT rc;
        GetClientRect(&rc);
        int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }

    CDialog::OnPaint();
    if (m_bShowGrip) {
        RECT rc;
        GetClientRect(&rc);
        rc.left = rc.right - GetSystemMetrics(SM_CXHSCROLL);
        rc.top = rc.bottom - GetSystemMetrics(SM_CYVSCROLL);
        m_rcGrip = rc;
        CClientDC dc(this);
        dc.DrawFrameControl(&rc, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
        GetDlgItem(IDC_CLOSE).InvalidateRect(NULL, TRUE);
    }
}

UINT CProgramListDlg::OnNcHitTest(CPoint point)
{
    UINT nHit = CDialog::OnNcHitTest(point);
    if (nHit == HTCLIENT && m_bShowGrip) {
        RECT rc;
        GetWindowRect(&rc);
        rc.left = rc.right - GetSystemMetrics(SM_CXHSCROLL);
        rc.top = rc.bottom - GetSystemMetrics(SM_CYVSCROLL);
        if (PtInRect(&rc, point))
            return HTBOTTOMRIGHT;
    }
    return nHit;
}

HCURSOR CProgramListDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hSmallIcon);
}
