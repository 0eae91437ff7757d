#pragma once

#include "base/WideString.h"

#include <windows.h>

class CPath;

// The stored icon locations of one uninstall entry, read in the order that
// decides its icon: the installer's ProductIcon (product codes only), the
// entry's DisplayIcon, then its ARP cache record, each in the 32-bit view
// before the 64-bit one. Shared by LoadEntryIcon and CIconCache.

enum IconSource
{
    kProductIcon,    // HKEY_LOCAL_MACHINE\...\Installer\Products\<packed code>
    kDisplayIcon,    // <root>\...\Uninstall\<key name>
    kSlowInfoCache,  // <root>\...\App Management\ARPCache\<key name>, a binary record
    kIconSourceCount
};

// The key that holds one subkey per entry for a source.
const wchar_t* IconSourceParent(IconSource source);

// Room for the text of any source, terminator included.
const int kIconTextChars = 552 / 2 + 1;

// Reads a source's value through the entry's open subkey: the location text
// (for a record, the path in it), which buffer receives and *ppszText points
// into. False when the value is missing, of another type or too long.
bool ReadIconSource(HKEY hKey, IconSource source, wchar_t (&buffer)[kIconTextChars],
                    const wchar_t** ppszText);

// Where the walk gets each value from.
class IIconSourceReader
{
public:
    virtual ~IIconSourceReader() {}
    // The text of a source for pszSubkey (the packed code for ProductIcon,
    // else the key name) under hive in the view of sam; false when the key or
    // a value that qualifies is missing. *ppszText lasts until the next call.
    virtual bool Read(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
                      const wchar_t** ppszText) = 0;
};

// Opens each key as it is asked for.
class CLiveIconSourceReader : public IIconSourceReader
{
public:
    bool Read(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
              const wchar_t** ppszText) override;

private:
    wchar_t m_buffer[kIconTextChars];
};

class IIconLocationVisitor
{
public:
    virtual ~IIconLocationVisitor() {}
    // One value read: a location (path, optional comma and index) or, with
    // bRecord, the path of a SlowInfoCache record. Answer true when the text
    // named a path: that ends the walk.
    virtual bool OnLocation(const wchar_t* pszText, bool bRecord) = 0;
};

void VisitIconLocations(HKEY root, const CWideString& keyName, bool bWindows2000,
                        IIconSourceReader& reader, IIconLocationVisitor& visitor);

// A location's path and index: the path before the first comma, the index
// (IndexFromText) after it, 0 without a comma. A record is all path. A text
// that does not parse leaves the path empty.
void ParseIconLocation(const wchar_t* pszText, bool bRecord, CPath& path, int& nIndex);

// The small icon at nIndex of the file, owned by the caller; NULL when the
// index is negative or beyond the file's icons.
HICON ExtractSmallIcon(const wchar_t* pszPath, int nIndex);
