#pragma once

#include <windows.h>

#include <string>

// The framework's string type, for the texts that the window system hands out
// (window texts, loaded string resources). The program's own texts live in
// CWideString.
class CString
{
public:
    CString() {}
    CString(LPCWSTR pszText);

    CString& operator=(LPCWSTR pszText);

    // Loads a string resource from the resource module. An id that names no
    // string leaves the string empty and answers FALSE.
    BOOL LoadString(UINT nID);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator LPCWSTR() const { return m_str.c_str(); }

    // Room for nMinBufLength characters and a terminator; the text already
    // there is kept. ReleaseBuffer(-1) takes the length from the terminator.
    LPWSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::wstring m_str;
};

bool operator==(const CString& str1, const CString& str2);
bool operator==(const CString& str, LPCWSTR psz);
bool operator==(LPCWSTR psz, const CString& str);
bool operator!=(const CString& str1, const CString& str2);
bool operator!=(const CString& str, LPCWSTR psz);
bool operator!=(LPCWSTR psz, const CString& str);
