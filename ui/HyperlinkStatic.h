#pragma once

#include "framework/Afx.h"

// A static text control that looks and acts like a web link: underlined blue
// text, a hand cursor, and a click that opens its own text with the shell (or,
// failing that, puts the text on the clipboard).
class CHyperlinkStatic : public CStatic
{
public:
    CHyperlinkStatic();
    ~CHyperlinkStatic() override;

protected:
    HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
    UINT OnNcHitTest(CPoint point);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    void OnLButtonDown(UINT nFlags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    void CopyToClipboard(const CString& strText);

    CFont m_font;
    HCURSOR m_hCursor;
};
