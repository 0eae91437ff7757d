#include "icons/IconLookup.h"

#include "icons/Path.h"
#include "inventory/ProductCode.h"
#include "inventory/RegistryKey.h"
#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"

#include <shellapi.h>

namespace {

const wchar_t kProductsKeyPath[] = L"SOFTWARE\\Classes\\Installer\\Products";
const wchar_t kArpCacheKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";

const DWORD kLocationBytes = 520;
const DWORD kRecordBytes = 552;
const DWORD kRecordPathOffset = 28;

struct IconSource
{
    HKEY hHive;
    const wchar_t* pszParentPath;
    const wchar_t* pszValueName;
    bool bRecord;  // SlowInfoCache: binary, path at an offset, no index
};

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Reads one source in one view and parses its location into path. Every
// attempt that reaches a value sets the index, 0 when it carries none.
void ReadLocation(const IconSource& source, const CWideString& strSubkey, REGSAM sam,
                  CPath& path, int& nIndex)
{
    CWideString strKeyPath(source.pszParentPath);
    strKeyPath += L'\\';
    strKeyPath += strSubkey;
    CRegistryKey key;
    if (key.Open(source.hHive, strKeyPath.GetText(), sam) != ERROR_SUCCESS)
        return;

    // One spare character so that text filling the whole buffer still ends.
    wchar_t buffer[kRecordBytes / sizeof(wchar_t) + 1];
    const DWORD cbBuffer = source.bRecord ? kRecordBytes : kLocationBytes;
    DWORD type = REG_NONE;
    DWORD cbData = cbBuffer;
    if (key.QueryValue(source.pszValueName, &type, buffer, &cbData) != ERROR_SUCCESS)
        return;
    if (source.bRecord ? type != REG_BINARY : !IsStringType(type))
        return;

    // The data need not be terminated nor of even length.
    const DWORD nEnd = (cbData < cbBuffer ? cbData : cbBuffer) / sizeof(wchar_t);
    const DWORD nStart = source.bRecord ? kRecordPathOffset / sizeof(wchar_t) : 0;
    buffer[nEnd] = 0;
    CWideString strText(nStart < nEnd ? buffer + nStart : NULL);

    nIndex = 0;
    int nComma = source.bRecord ? -1 : strText.Find(L',');
    if (nComma < 0) {
        path.Parse(strText, NULL);
    } else {
        path.Parse(strText.Left(nComma), NULL);
        nIndex = IndexFromText(strText.Mid(nComma + 1));
    }
}

// Extracts only the wanted small icon: a library may hold hundreds, and
// extracting them all to keep one would slow every refresh.
HICON ExtractSmallIcon(const CPath& path, int nIndex)
{
    CWideString strPath = path.ToString();
    UINT nCount = ExtractIconExW(strPath.GetText(), -1, NULL, NULL, 0);
    if (nIndex < 0 || static_cast<UINT>(nIndex) >= nCount)
        return NULL;
    HICON hSmall = NULL;
    if (ExtractIconExW(strPath.GetText(), nIndex, NULL, &hSmall, 1) == 0)
        return NULL;
    return hSmall;
}

}  // namespace

HICON LoadEntryIcon(HKEY root, const CWideString& keyName)
{
    const bool bWindows2000 = IsWindows2000();
    const REGSAM views[2] = {ViewAccessMask(bWindows2000, false),
                             ViewAccessMask(bWindows2000, true)};
    const IconSource sources[3] = {
        {HKEY_LOCAL_MACHINE, kProductsKeyPath, L"ProductIcon", false},
        {root, kUninstallKeyPath, L"DisplayIcon", false},
        {root, kArpCacheKeyPath, L"SlowInfoCache", true},
    };

    CPath path;
    int nIndex = 0;
    const bool bProductCode = IsProductCode(keyName);
    for (int nSource = bProductCode ? 0 : 1; nSource < 3 && path.GetCount() == 0; ++nSource) {
        CWideString strSubkey = nSource == 0 ? PackProductCode(keyName) : keyName;
        for (int nView = 0; nView < 2 && path.GetCount() == 0; ++nView)
            ReadLocation(sources[nSource], strSubkey, views[nView], path, nIndex);
    }

    // A well-formed path to a missing file ends the search: later sources
    // describe the same program and are not more trustworthy.
    if (path.GetCount() == 0 || !FileExists(path))
        return NULL;
    return ExtractSmallIcon(path, nIndex);
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

bool FileExists(const CPath& path)
{
    DWORD attributes = GetFileAttributesW(path.ToString().GetText());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
