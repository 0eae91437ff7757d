#include "inventory/IconSources.h"

#include "inventory/RegistryKey.h"
#include "inventory/UninstallScan.h"

#include <string.h>
#include <wchar.h>

namespace {

const wchar_t kProductsKeyPath[] = L"SOFTWARE\\Classes\\Installer\\Products";
const wchar_t kArpCacheKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";

const DWORD kRecordBytes = 552;
const DWORD kRecordPathOffset = 28;
// The longest parent path above, a backslash and a key name as the scan
// enumerates them; a longer name is beyond the registry's limit anyway.
const size_t kKeyPathChars = 100 + 512;

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
    const bool bRecord = source == kSlowInfoCache;
    const DWORD cbBuffer = bRecord ? kRecordBytes : kLocationBytes;
    DWORD type = REG_NONE;
    DWORD cbData = cbBuffer;
    if (RegQueryValueExW(hKey, bRecord ? L"SlowInfoCache" : source == kProductIcon ? L"ProductIcon" : L"DisplayIcon",
                         NULL, &type, reinterpret_cast<BYTE*>(buffer), &cbData) != ERROR_SUCCESS ||
        (bRecord ? type != REG_BINARY : !IsTextType(type)))
        return false;
    if (!bRecord) {
        buffer[TextLength(buffer, cbData, cbBuffer)] = 0;
        return true;
    }
    // The record's path starts past its header; the buffer has a spare
    // character for text that fills the whole record.
    const DWORD nStart = kRecordPathOffset / sizeof(wchar_t);
    const DWORD cbPath = cbData > kRecordPathOffset ? cbData - kRecordPathOffset : 0;
    buffer[nStart + TextLength(buffer + nStart, cbPath, cbBuffer - kRecordPathOffset)] = 0;
    *ppszText = buffer + nStart;
    return true;
}

bool ReadIconSource(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
                    wchar_t (&buffer)[kIconTextChars], const wchar_t** ppszText)
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
    return ReadIconSource(key.Get(), source, buffer, ppszText);
}

struct CSourceKeyCache::Subkey
{
    const CWideString& Name() const { return strName; }

    CWideString strName;
    FILETIME ftWrite;
    int nValue;  // -1 not read for this time, 0 none, 1 strText
    CWideString strText;
};

CSourceKeyCache::CSourceKeyCache() : m_source(kProductIcon), m_hive(NULL), m_sam(0) {}

CSourceKeyCache::~CSourceKeyCache() {}

void CSourceKeyCache::Update(IconSource source, HKEY hive, REGSAM sam)
{
    if (source != m_source || hive != m_hive || sam != m_sam)
        m_subkeys.Clear();
    m_source = source;
    m_hive = hive;
    m_sam = sam;
    CRegistryKey key;
    if (key.Open(hive, IconSourceParent(source), sam) != ERROR_SUCCESS) {
        m_subkeys.Clear();
        return;
    }
    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    m_subkeys.Enumerate(key, [&](const wchar_t* pszName, const FILETIME& ftWrite,
                                 std::unique_ptr<Subkey>& subkey) {
        if (!subkey) {
            subkey.reset(new Subkey);
            subkey->strName = pszName;
            subkey->nValue = -1;
        } else if (CompareFileTime(&subkey->ftWrite, &ftWrite) != 0) {
            subkey->nValue = -1;
        }
        subkey->ftWrite = TrustedTime(ftWrite, ftNow);
        return true;
    });
}

SubkeyMatch CSourceKeyCache::Read(const wchar_t* pszSubkey, const wchar_t** ppszText)
{
    Subkey* pSubkey = NULL;
    const SubkeyMatch match = m_subkeys.Find(pszSubkey, &pSubkey);
    if (match != kSubkeyPresent)
        return match;
    if (pSubkey->nValue < 0) {
        const wchar_t* pszText = NULL;
        pSubkey->nValue = ReadIconSource(m_source, m_hive, pSubkey->strName.GetText(), m_sam,
                                         m_buffer, &pszText);
        if (pSubkey->nValue > 0)
            pSubkey->strText = pszText;
        else
            pSubkey->strText.Free();
    }
    if (pSubkey->nValue == 0)
        return kSubkeyAbsent;
    *ppszText = pSubkey->strText.GetText() != NULL ? pSubkey->strText.GetText() : L"";
    return kSubkeyPresent;
}
