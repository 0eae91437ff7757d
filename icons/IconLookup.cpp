#include "icons/IconLookup.h"

#include "icons/IconLocation.h"
#include "icons/Path.h"
#include "inventory/ProductCode.h"
#include "inventory/RegistryKey.h"
#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"

#include <shellapi.h>
#include <string.h>

namespace {

const wchar_t kProductsKeyPath[] = L"SOFTWARE\\Classes\\Installer\\Products";
const wchar_t kArpCacheKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";

const DWORD kRecordBytes = 552;
const DWORD kRecordPathOffset = 28;
// The longest parent path above, a backslash and a key name as the scan
// enumerates them; a longer name is beyond the registry's limit anyway.
const int kKeyPathChars = 100 + 512;

const wchar_t* const s_valueNames[kIconSourceCount] = {L"ProductIcon", L"DisplayIcon",
                                                       L"SlowInfoCache"};

class CParsingVisitor : public IIconLocationVisitor
{
public:
    CParsingVisitor(CPath& path, int& nIndex) : m_path(path), m_nIndex(nIndex) {}
    bool OnLocation(const wchar_t* pszText, bool bRecord) override
    {
        ParseIconLocation(pszText, bRecord, m_path, m_nIndex);
        return m_path.GetCount() > 0;
    }

private:
    CPath& m_path;
    int& m_nIndex;
};

}  // namespace

const wchar_t* IconSourceParent(IconSource source)
{
    switch (source) {
    case kProductIcon:
        return kProductsKeyPath;
    case kDisplayIcon:
        return kUninstallKeyPath;
    default:
        return kArpCacheKeyPath;
    }
}

bool ReadIconSource(HKEY hKey, IconSource source, wchar_t (&buffer)[kIconTextChars],
                    const wchar_t** ppszText)
{
    *ppszText = buffer;
    if (source != kSlowInfoCache)
        return QueryLocationText(hKey, s_valueNames[source], buffer);

    DWORD type = REG_NONE;
    DWORD cbData = kRecordBytes;
    if (RegQueryValueExW(hKey, s_valueNames[source], NULL, &type, reinterpret_cast<BYTE*>(buffer),
                         &cbData) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return false;
    // The data need not be terminated nor of even length; the buffer has a
    // spare character for text that fills the whole record.
    const DWORD nEnd = (cbData < kRecordBytes ? cbData : kRecordBytes) / sizeof(wchar_t);
    const DWORD nStart = kRecordPathOffset / sizeof(wchar_t);
    buffer[nEnd] = 0;
    if (nStart < nEnd)
        *ppszText = buffer + nStart;
    else
        buffer[0] = 0;
    return true;
}

bool CLiveIconSourceReader::Read(IconSource source, HKEY hive, const wchar_t* pszSubkey,
                                 REGSAM sam, const wchar_t** ppszText)
{
    const wchar_t* pszParent = IconSourceParent(source);
    wchar_t keyPath[kKeyPathChars];
    const size_t cchParent = wcslen(pszParent);
    const size_t cchSubkey = wcslen(pszSubkey);
    if (cchParent + 1 + cchSubkey >= kKeyPathChars)
        return false;
    memcpy(keyPath, pszParent, cchParent * sizeof(wchar_t));
    keyPath[cchParent] = L'\\';
    memcpy(keyPath + cchParent + 1, pszSubkey, (cchSubkey + 1) * sizeof(wchar_t));

    CRegistryKey key;
    if (key.Open(hive, keyPath, sam) != ERROR_SUCCESS)
        return false;
    return ReadIconSource(key.Get(), source, m_buffer, ppszText);
}

void VisitIconLocations(HKEY root, const CWideString& keyName, bool bWindows2000,
                        IIconSourceReader& reader, IIconLocationVisitor& visitor)
{
    const REGSAM views[2] = {ViewAccessMask(bWindows2000, false),
                             ViewAccessMask(bWindows2000, true)};
    const wchar_t* pszKeyName = keyName.GetText() != NULL ? keyName.GetText() : L"";
    const wchar_t* pszText = NULL;

    if (IsProductCode(keyName)) {
        CWideString strPacked = PackProductCode(keyName);
        for (REGSAM sam : views) {
            if (reader.Read(kProductIcon, HKEY_LOCAL_MACHINE, strPacked.GetText(), sam, &pszText) &&
                visitor.OnLocation(pszText, false))
                return;
        }
    }
    for (IconSource source : {kDisplayIcon, kSlowInfoCache}) {
        for (REGSAM sam : views) {
            if (reader.Read(source, root, pszKeyName, sam, &pszText) &&
                visitor.OnLocation(pszText, source == kSlowInfoCache))
                return;
        }
    }
}

void ParseIconLocation(const wchar_t* pszText, bool bRecord, CPath& path, int& nIndex)
{
    CWideString strText(pszText);
    nIndex = 0;
    int nComma = bRecord ? -1 : strText.Find(L',');
    if (nComma < 0) {
        path.Parse(strText, NULL);
    } else {
        path.Parse(strText.Left(nComma), NULL);
        nIndex = IndexFromText(strText.Mid(nComma + 1));
    }
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

HICON LoadEntryIcon(HKEY root, const CWideString& keyName)
{
    CPath path;
    int nIndex = 0;
    CParsingVisitor visitor(path, nIndex);
    CLiveIconSourceReader reader;
    VisitIconLocations(root, keyName, IsWindows2000(), reader, visitor);

    // A well-formed path to a missing file ends the search: later sources
    // describe the same program and are not more trustworthy.
    if (path.GetCount() == 0 || !FileExists(path))
        return NULL;
    return ExtractSmallIcon(path.ToString().GetText(), nIndex);
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
