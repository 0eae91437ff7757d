#include "icons/IconLocation.h"

#include "icons/Path.h"

#include <shellapi.h>

bool ParseIconLocation(const wchar_t* pszText, bool bRecord, CPath& path, IconLocation& location)
{
    CWideString strText(pszText);
    location.nIndex = 0;
    const int nComma = bRecord ? -1 : strText.Find(L',');
    if (nComma < 0) {
        path.Parse(strText, NULL);
    } else {
        path.Parse(strText.Left(nComma), NULL);
        location.nIndex = IndexFromText(strText.Mid(nComma + 1));
    }
    if (path.GetCount() == 0)
        return false;
    location.strPath = path.ToString();
    return true;
}

HICON ExtractSmallIcon(const wchar_t* pszPath, int nIndex)
{
    // Only the wanted icon: a library may hold hundreds, and extracting them
    // all to keep one would slow every refresh. A negative index would name a
    // resource id; one beyond the file's icons extracts nothing.
    if (nIndex < 0)
        return NULL;
    HICON hSmall = NULL;
    if (ExtractIconExW(pszPath, nIndex, NULL, &hSmall, 1) == 0)
        return NULL;
    return hSmall;
}

int IndexFromText(const CWideString& text)
{
    // Unsigned arithmetic: the value wraps like a 32-bit register.
    unsigned int nValue = 0;
    unsigned int nDigit = 0;
    const int nLength = text.GetLength();
    for (int i = 0; i < nLength; ++i) {
        wchar_t ch = text.GetAt(i);
        if (ch >= L'0' && ch <= L'9')
            nDigit = ch - L'0';
        else if (ch >= L'A' && ch <= L'Z')
            nDigit = ch - L'A' + 10;
        else if (ch >= L'a' && ch <= L'z')
            nDigit = ch - L'a' + 10;
        nValue = nValue * 10 + nDigit;
    }
    if (text.GetAt(0) == L'-')
        nValue = 0u - nValue;
    return static_cast<int>(nValue);
}
