#pragma once

#include "base/WideString.h"
#include "icons/IconLocation.h"
#include "inventory/SubkeyList.h"

#include <windows.h>

// One icon source's parent key in one view (the installer's products, an ARP
// cache) as last enumerated: its subkeys with their last-write times and, once
// asked for, their values. An Update costs one call per subkey; a value is
// read again only when its key's time has changed.
class CSourceKeyCache
{
public:
    CSourceKeyCache();
    ~CSourceKeyCache();
    CSourceKeyCache(const CSourceKeyCache&) = delete;
    CSourceKeyCache& operator=(const CSourceKeyCache&) = delete;

    // Enumerates source's parent key under hive in the view of sam; a key
    // that cannot be opened has no subkeys.
    void Update(IconSource source, HKEY hive, REGSAM sam);

    enum Answer
    {
        kNone,     // no such subkey, or no value that qualifies
        kText,     // *ppszText, valid until the next Update
        kUnknown,  // a name beyond ASCII: ask the registry itself
    };
    // What IIconSourceReader::Read would answer, as of the last Update.
    Answer Read(const wchar_t* pszSubkey, const wchar_t** ppszText);

private:
    struct Subkey;

    IconSource m_source;
    HKEY m_hive;
    REGSAM m_sam;
    CSubkeyList<Subkey> m_subkeys;
    CLiveIconSourceReader m_live;
};
