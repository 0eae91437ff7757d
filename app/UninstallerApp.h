#pragma once

#include "framework/Afx.h"

// The application object: runs the program list window modally and makes F5
// work inside it.
class CUninstallerApp : public CWinApp
{
public:
    CUninstallerApp();
    ~CUninstallerApp() override;

    BOOL InitInstance() override;
    BOOL ProcessMessageFilter(int code, LPMSG lpMsg) override;

private:
    HACCEL m_hAccel;
};
