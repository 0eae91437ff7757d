#pragma once

#include <windows.h>

// An open registry key, owned: closed when the object goes.
class CRegistryKey
{
public:
    CRegistryKey() : m_hKey(NULL) {}
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Closes the key held before, if any.
    LONG Open(HKEY hParent, const wchar_t* name, REGSAM sam);
    LONG Close();

    // cchName is the buffer's capacity in, the name's length out.
    LONG EnumKey(DWORD index, wchar_t* name, DWORD* pcchName, FILETIME* pftLastWrite) const
    {
        return RegEnumKeyExW(m_hKey, index, name, pcchName, NULL, NULL, NULL, pftLastWrite);
    }
    // cbData is the buffer's size in, the data's size out. All pointers may
    // be null to ask only whether the value exists.
    LONG QueryValue(const wchar_t* name, DWORD* pType, void* pData, DWORD* pcbData) const
    {
        return RegQueryValueExW(m_hKey, name, NULL, pType, static_cast<BYTE*>(pData), pcbData);
    }

    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey;
};

// A value counts as text only in these types; its text is never expanded.
inline bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The characters of text data up to the first NUL, never past the data
// returned (cbData, capped at the buffer's cbBuffer), which need not be
// terminated nor of even length.
inline DWORD TextLength(const wchar_t* buffer, DWORD cbData, DWORD cbBuffer)
{
    const DWORD cch = (cbData < cbBuffer ? cbData : cbBuffer) / sizeof(wchar_t);
    DWORD length = 0;
    while (length < cch && buffer[length] != 0)
        ++length;
    return length;
}
