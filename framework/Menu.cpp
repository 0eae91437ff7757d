#include "framework/Menu.h"

#include "framework/App.h"

CMenu::~CMenu()
{
    DestroyMenu();
}

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    return LoadMenu(AfxFindResourceHandle(MAKEINTRESOURCEW(nIDResource), RT_MENU), nIDResource);
}

BOOL CMenu::LoadMenu(HINSTANCE hInstance, UINT nIDResource)
{
    if (m_hMenu != NULL)
        return FALSE;
    m_hMenu = ::LoadMenuW(hInstance, MAKEINTRESOURCEW(nIDResource));
    return m_hMenu != NULL;
}

BOOL CMenu::DestroyMenu()
{
    if (m_hMenu == NULL)
        return FALSE;
    BOOL bResult = ::DestroyMenu(m_hMenu);
    m_hMenu = NULL;
    return bResult;
}

HMENU CMenu::GetSubMenu(int nPos) const
{
    return ::GetSubMenu(m_hMenu, nPos);
}

UINT CMenu::EnableMenuItem(UINT nIDEnableItem, UINT nEnable)
{
    return static_cast<UINT>(::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable));
}
