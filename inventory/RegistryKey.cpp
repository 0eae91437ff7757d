#include "inventory/RegistryKey.h"

LONG CRegistryKey::Open(HKEY hParent, const wchar_t* name, REGSAM sam)
{
    Close();
    HKEY hKey = NULL;
    LONG result = RegOpenKeyExW(hParent, name, 0, sam, &hKey);
    if (result == ERROR_SUCCESS)
        m_hKey = hKey;
    return result;
}

LONG CRegistryKey::Close()
{
    if (m_hKey == NULL)
        return ERROR_SUCCESS;
    LONG result = RegCloseKey(m_hKey);
    m_hKey = NULL;
    return result;
}
