#pragma once

#include "icons/IconLocation.h"
#include "icons/Path.h"
#include "inventory/IconSources.h"
#include "inventory/UninstallScan.h"

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

// The installed programs as the registry's uninstall entries describe them,
// each with where its icon is, read without a window and kept from one
// refresh to the next: a refresh opens only the keys that changed.
//
// The entries of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are read in the
// 32-bit view and, on 64-bit Windows, in the 64-bit view too, unless the two
// views are one key there. An entry's icon is the first location that
// parses among the installer's ProductIcon (product codes only), the entry's
// DisplayIcon and its ARP cache record, each read in the 32-bit view before
// the 64-bit one, whatever view the entry came from. A location whose file
// is missing is still the entry's: the icon is then the default one.
class CInstalledPrograms
{
public:
    struct Program
    {
        const UninstallEntry* pEntry;
        const IconLocation* pIcon;  // NULL: the default icon
    };

    CInstalledPrograms();
    CInstalledPrograms(const CInstalledPrograms&) = delete;
    CInstalledPrograms& operator=(const CInstalledPrograms&) = delete;

    // Reads the registry again. The programs, valid until the next Refresh,
    // come in the order that a list appending them shows among equals: each
    // scan's entries in enumeration order, later scans first.
    const std::vector<Program>& Refresh(bool bShowUpdates);
    const std::vector<Program>& GetPrograms() const { return m_programs; }

private:
    struct Location
    {
        bool bPath;
        IconLocation location;
        unsigned int nRefresh;
    };

    const IconLocation* FindIcon(int nRoot, const UninstallEntry& entry);
    bool ReadSource(IconSource source, int nRoot, const UninstallEntry& entry,
                    const wchar_t* pszSubkey, bool b64BitView, const wchar_t** ppszText);
    const IconLocation* Parse(const wchar_t* pszText, bool bRecord);

    bool m_bWindows2000;
    bool m_bViewsShareKey[2];  // [root], as of this refresh
    unsigned int m_nRefresh;
    CUninstallKeyCache m_uninstallKeys[2][2];  // [root][view]
    // Read once a refresh, when first asked.
    CSourceKeyCache m_products[2];      // [view]
    CSourceKeyCache m_arpCaches[2][2];  // [root][view]
    unsigned int m_nProductsRefresh[2];
    unsigned int m_nArpCachesRefresh[2][2];

    // A stored text always parses the same way: parsed once, by kind and text.
    std::unordered_map<std::wstring, Location> m_locations;
    // Reused from one refresh to the next.
    std::vector<const UninstallEntry*> m_entries[4];  // per scan: [root + 2 * view]
    std::vector<Program> m_programs;
    std::wstring m_strKey;
    CPath m_path;
    wchar_t m_buffer[kIconTextChars];
};
