#include "icons/SourceKeyCache.h"

#include "inventory/RegistryKey.h"

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
        subkey->ftWrite = IsSettled(ftWrite, ftNow) ? ftWrite : kUnsettledTime;
        return true;
    });
}

CSourceKeyCache::Answer CSourceKeyCache::Read(const wchar_t* pszSubkey, const wchar_t** ppszText)
{
    bool bSure = true;
    Subkey* pSubkey = m_subkeys.Find(pszSubkey, &bSure);
    if (pSubkey == NULL)
        return bSure ? kNone : kUnknown;
    if (pSubkey->nValue < 0) {
        const wchar_t* pszText = NULL;
        pSubkey->nValue =
            m_live.Read(m_source, m_hive, pSubkey->strName.GetText(), m_sam, &pszText) ? 1 : 0;
        if (pSubkey->nValue > 0)
            pSubkey->strText = pszText;
        else
            pSubkey->strText.Free();
    }
    if (pSubkey->nValue == 0)
        return kNone;
    *ppszText = pSubkey->strText.GetText() != NULL ? pSubkey->strText.GetText() : L"";
    return kText;
}
