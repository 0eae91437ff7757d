#pragma once

#include <windows.h>

#include "base/WideString.h"
#include "inventory/SubkeyList.h"

#include <vector>

// Reads the uninstall entries of one root key in one registry view, with no
// window involved.

// Relative to HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
extern const wchar_t kUninstallKeyPath[];

// One uninstall entry that has a command: the record behind one list row.
struct UninstallEntry
{
    CWideString strKeyName;
    CWideString strDisplayName;      // the key name when the entry has none
    CWideString strUninstallString;  // never empty
    bool b64BitView;                 // read in the 64-bit view
    // The entry's DisplayIcon as a location value; bDisplayIcon is false when
    // it has none that qualifies.
    bool bDisplayIcon;
    CWideString strDisplayIcon;
};

// The entries of one root's Uninstall key in one view, kept from one scan to
// the next. Each scan enumerates the subkeys with their last-write times (a
// key's time changes whenever one of its values does) and opens only those
// that are new or changed since the scan before. An entry keeps its address
// for as long as its key is there.
class CUninstallKeyCache
{
public:
    CUninstallKeyCache();
    ~CUninstallKeyCache();
    CUninstallKeyCache(const CUninstallKeyCache&) = delete;
    CUninstallKeyCache& operator=(const CUninstallKeyCache&) = delete;

    // Appends each entry of root's Uninstall key in that view that has a
    // command, in enumeration order. With bShowUpdates false, entries naming
    // a parent product (ParentKeyName) are left out. Another root or view
    // than last time starts the cache afresh.
    void Scan(HKEY root, bool b64BitView, bool bShowUpdates,
              std::vector<const UninstallEntry*>& entries);

    // Whether the last scan met a key of that name.
    SubkeyMatch Contains(const wchar_t* pszName);

private:
    struct Key;

    HKEY m_root;
    bool m_b64BitView;
    CSubkeyList<Key> m_keys;
};
