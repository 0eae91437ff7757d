#pragma once

#include "framework/Afx.h"
#include "ui/HyperlinkStatic.h"

// The About box: icon, name and version, copyright, and the home page link.
class CAboutDlg : public CDialog
{
public:
    CAboutDlg();
    ~CAboutDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()

private:
    CHyperlinkStatic m_wndHomepageLink;
};
