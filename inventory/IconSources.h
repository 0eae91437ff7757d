#pragma once

#include "base/WideString.h"
#include "inventory/SubkeyList.h"

#include <windows.h>

// The registry values that can name an entry's icon, read in the order that
// decides it: the installer's ProductIcon (product codes only), the entry's
// DisplayIcon, then its ARP cache record, each in the 32-bit view before the
// 64-bit one.

enum IconSource
{
    kProductIcon,    // HKEY_LOCAL_MACHINE\...\Installer\Products\<packed code>
    kDisplayIcon,    // <root>\...\Uninstall\<key name>
    kSlowInfoCache,  // <root>\...\App Management\ARPCache\<key name>, a binary record
};

// The key that holds one subkey per entry for a source.
const wchar_t* IconSourceParent(IconSource source);

// A location value (DisplayIcon, ProductIcon): a string value of at most
// 520 bytes, its text up to the first NUL.
const DWORD kLocationBytes = 520;
// Room for the text of any source, terminator included.
const int kIconTextChars = 552 / 2 + 1;

// Reads a source's value through the entry's open subkey: the location text
// (for a record, the path in it), which buffer receives and *ppszText points
// into. The text never runs past the data returned. False when the value is
// missing, of another type or too long.
bool ReadIconSource(HKEY hKey, IconSource source, wchar_t (&buffer)[kIconTextChars],
                    const wchar_t** ppszText);

// The same for pszSubkey (the packed code for ProductIcon, else the key
// name) under hive in the view of sam, opening the subkey.
bool ReadIconSource(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
                    wchar_t (&buffer)[kIconTextChars], const wchar_t** ppszText);

// One source's parent key in one view (the installer's products, an ARP
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

    // The source's text for a subkey as of the last Update, in *ppszText
    // (valid until the next Update) when it is present. Absent also when the
    // subkey has no value that qualifies.
    SubkeyMatch Read(const wchar_t* pszSubkey, const wchar_t** ppszText);

private:
    struct Subkey;

    IconSource m_source;
    HKEY m_hive;
    REGSAM m_sam;
    CSubkeyList<Subkey> m_subkeys;
    wchar_t m_buffer[kIconTextChars];
};
