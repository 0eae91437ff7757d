#include "inventory/InstalledPrograms.h"

#include "inventory/ProductCode.h"
#include "inventory/RegistryViews.h"

namespace {

const HKEY s_roots[2] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

}  // namespace

CInstalledPrograms::CInstalledPrograms()
    : m_bWindows2000(false), m_bViewsShareKey(), m_nRefresh(0), m_nProductsRefresh(),
      m_nArpCachesRefresh()
{
}

const std::vector<CInstalledPrograms::Program>& CInstalledPrograms::Refresh(bool bShowUpdates)
{
    ++m_nRefresh;
    m_programs.clear();
    m_bWindows2000 = IsWindows2000();
    // A key that is one in both views (HKEY_CURRENT_USER's on 64-bit Windows,
    // every key on 32-bit Windows) is scanned once, and the icon lookup takes
    // both views' answers from it.
    const bool bNative64 = IsNative64BitWindows();
    for (int nRoot = 0; nRoot < 2; ++nRoot)
        m_bViewsShareKey[nRoot] = !bNative64 || ViewsShareUninstallKey(s_roots[nRoot]);

    // Every scan before any icon: a 64-bit entry's icon asks whether the
    // 32-bit view holds its key. Later scans first, each in its own order.
    for (int nScan = 0; nScan < 4; ++nScan) {
        const int nRoot = nScan % 2;
        const int nView = nScan / 2;
        m_entries[nScan].clear();
        if (nView == 0 || !m_bViewsShareKey[nRoot])
            m_uninstallKeys[nRoot][nView].Scan(s_roots[nRoot], nView == 1, bShowUpdates, m_entries[nScan]);
    }
    for (int nScan = 4; nScan-- > 0;) {
        for (const UninstallEntry* pEntry : m_entries[nScan])
            m_programs.push_back(Program{pEntry, FindIcon(nScan % 2, *pEntry)});
    }

    for (auto it = m_locations.begin(); it != m_locations.end();) {
        if (it->second.nRefresh != m_nRefresh)
            it = m_locations.erase(it);
        else
            ++it;
    }
    return m_programs;
}

const IconLocation* CInstalledPrograms::FindIcon(int nRoot, const UninstallEntry& entry)
{
    const wchar_t* pszKeyName = entry.strKeyName.GetText() != NULL ? entry.strKeyName.GetText() : L"";
    const wchar_t* pszText = NULL;
    if (IsProductCode(entry.strKeyName)) {
        const CWideString strPacked = PackProductCode(entry.strKeyName);
        for (bool b64BitView : {false, true}) {
            if (ReadSource(kProductIcon, nRoot, entry, strPacked.GetText(), b64BitView, &pszText)) {
                if (const IconLocation* pIcon = Parse(pszText, false))
                    return pIcon;
            }
        }
    }
    for (IconSource source : {kDisplayIcon, kSlowInfoCache}) {
        for (bool b64BitView : {false, true}) {
            if (ReadSource(source, nRoot, entry, pszKeyName, b64BitView, &pszText)) {
                if (const IconLocation* pIcon = Parse(pszText, source == kSlowInfoCache))
                    return pIcon;
            }
        }
    }
    return NULL;
}

bool CInstalledPrograms::ReadSource(IconSource source, int nRoot, const UninstallEntry& entry,
                                    const wchar_t* pszSubkey, bool b64BitView,
                                    const wchar_t** ppszText)
{
    // Windows 2000 knows no views: both attempts read the one key.
    const int nView = m_bWindows2000 ? 0 : b64BitView;
    const REGSAM sam = ViewAccessMask(m_bWindows2000, b64BitView);
    const HKEY hive = source == kProductIcon ? HKEY_LOCAL_MACHINE : s_roots[nRoot];
    if (source == kDisplayIcon) {
        if (b64BitView == entry.b64BitView || m_bViewsShareKey[nRoot] || m_bWindows2000) {
            *ppszText = entry.strDisplayIcon.GetText() != NULL ? entry.strDisplayIcon.GetText() : L"";
            return entry.bDisplayIcon;
        }
        // The 32-bit view was scanned before the 64-bit entries' icons.
        if (!b64BitView && m_uninstallKeys[nRoot][0].Contains(pszSubkey) == kSubkeyAbsent)
            return false;
        return ReadIconSource(source, hive, pszSubkey, sam, m_buffer, ppszText);
    }

    CSourceKeyCache& cache = source == kProductIcon ? m_products[nView] : m_arpCaches[nRoot][nView];
    unsigned int& nRefresh = source == kProductIcon ? m_nProductsRefresh[nView] : m_nArpCachesRefresh[nRoot][nView];
    if (nRefresh != m_nRefresh) {
        nRefresh = m_nRefresh;
        cache.Update(source, hive, sam);
    }
    switch (cache.Read(pszSubkey, ppszText)) {
    case kSubkeyPresent:
        return true;
    case kSubkeyAbsent:
        return false;
    default:
        return ReadIconSource(source, hive, pszSubkey, sam, m_buffer, ppszText);
    }
}

const IconLocation* CInstalledPrograms::Parse(const wchar_t* pszText, bool bRecord)
{
    m_strKey.assign(1, bRecord ? L'R' : L'S');
    m_strKey += pszText;
    auto it = m_locations.find(m_strKey);
    if (it == m_locations.end()) {
        Location location;
        location.bPath = ParseIconLocation(pszText, bRecord, m_path, location.location);
        it = m_locations.emplace(m_strKey, location).first;
    }
    it->second.nRefresh = m_nRefresh;
    return it->second.bPath ? &it->second.location : NULL;
}
