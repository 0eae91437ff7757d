#include "framework/AfxString.h"

#include "framework/App.h"

#include <wchar.h>

CString::CString(LPCWSTR pszText)
{
    if (pszText != NULL)
        m_str = pszText;
}

CString& CString::operator=(LPCWSTR pszText)
{
    if (pszText != NULL)
        m_str = pszText;
    else
        m_str.clear();
    return *this;
}

BOOL CString::LoadString(UINT nID)
{
    // A buffer size of 0 asks for a pointer to the resource's own text,
    // which is not terminated.
    const wchar_t* pText = NULL;
    int nLength = ::LoadStringW(AfxGetResourceHandle(), nID, reinterpret_cast<LPWSTR>(&pText), 0);
    if (nLength <= 0 || pText == NULL) {
        m_str.clear();
        return FALSE;
    }
    m_str.assign(pText, static_cast<size_t>(nLength));
    return TRUE;
}

LPWSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength > GetLength())
        m_str.resize(static_cast<size_t>(nMinBufLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = static_cast<int>(wcsnlen(m_str.c_str(), m_str.size()));
    if (nNewLength < GetLength())
        m_str.resize(static_cast<size_t>(nNewLength));
}

bool operator==(const CString& str1, const CString& str2)
{
    return wcscmp(str1, str2) == 0;
}

bool operator==(const CString& str, LPCWSTR psz)
{
    return wcscmp(str, psz != NULL ? psz : L"") == 0;
}

bool operator==(LPCWSTR psz, const CString& str)
{
    return str == psz;
}

bool operator!=(const CString& str1, const CString& str2)
{
    return !(str1 == str2);
}

bool operator!=(const CString& str, LPCWSTR psz)
{
    return !(str == psz);
}

bool operator!=(LPCWSTR psz, const CString& str)
{
    return !(str == psz);
}
