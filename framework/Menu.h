#pragma once

#include <windows.h>

// Owns a menu it loaded (or was given) and destroys it in its destructor.
class CMenu
{
public:
    CMenu() : m_hMenu(NULL) {}
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu;

    // From the program's resources. Fail when this object holds a menu already.
    BOOL LoadMenu(UINT nIDResource);
    BOOL LoadMenu(HINSTANCE hInstance, UINT nIDResource);
    BOOL DestroyMenu();

    operator HMENU() const { return m_hMenu; }

    // Borrowed: the popup belongs to this menu.
    HMENU GetSubMenu(int nPos) const;
    // The item's previous state, or (UINT)-1 when there is no such item.
    UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
};
