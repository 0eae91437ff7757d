#pragma once

#include <windows.h>

#include "base/WideString.h"
#include "inventory/SubkeyList.h"

// Reads the uninstall entries of one root key in one registry view, with no
// window involved: the caller turns each record into whatever it shows.

// Relative to HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
extern const wchar_t kUninstallKeyPath[];

// A location value (DisplayIcon, ProductIcon) as the icon lookup reads it: a
// string value of at most 520 bytes, its text up to the first NUL.
const DWORD kLocationBytes = 520;

struct UninstallRecord
{
    CWideString strKeyName;
    CWideString strDisplayName;      // the key name when the entry has none
    CWideString strUninstallString;  // never empty
    // The entry's DisplayIcon as a location value; bDisplayIcon is false when
    // it has none that qualifies.
    bool bDisplayIcon;
    CWideString strDisplayIcon;
};

// Receives the records of a scan. The record is only valid during the call:
// copy what you keep.
class IUninstallRecordSink
{
public:
    virtual ~IUninstallRecordSink() {}
    virtual void OnRecord(const UninstallRecord& record) = 0;
};

// The entries of one root's Uninstall key in one view, kept from one scan to
// the next. Each scan enumerates the subkeys with their last-write times (a
// key's time changes whenever one of its values does) and opens only those
// that are new or changed since the scan before.
class CUninstallKeyCache
{
public:
    CUninstallKeyCache();
    ~CUninstallKeyCache();
    CUninstallKeyCache(const CUninstallKeyCache&) = delete;
    CUninstallKeyCache& operator=(const CUninstallKeyCache&) = delete;

    // Calls the sink once for each entry of root's Uninstall key in that view
    // that has a command, in enumeration order. With bShowUpdates false,
    // entries naming a parent product (ParentKeyName) are left out. Another
    // root or view than last time starts the cache afresh.
    void Scan(HKEY root, bool b64BitView, bool bShowUpdates, IUninstallRecordSink& sink);

    // Whether the last scan met a key of that name (letter case aside);
    // *pbSure is false when a name beyond ASCII leaves that in doubt.
    bool Contains(const wchar_t* pszName, bool* pbSure);

private:
    struct Entry;

    HKEY m_root;
    bool m_b64BitView;
    CSubkeyList<Entry> m_entries;
};

// The same rules without keeping anything: one scan read in full.
void ScanUninstallEntries(HKEY root, bool b64BitView, bool bShowUpdates,
                          IUninstallRecordSink& sink);

// Reads a location value (kLocationBytes) into buffer, which holds
// kLocationBytes / 2 + 1 characters; the text ends at its first NUL and never
// runs past the data returned. False for a missing value, another type, or
// data that does not fit.
bool QueryLocationText(HKEY hKey, const wchar_t* valueName, wchar_t* buffer);

// True when root's Uninstall key is one and the same key in the 32-bit and
// the 64-bit view (HKEY_CURRENT_USER on 64-bit Windows), so that scanning
// both views would list every entry twice. False when either view lacks the
// key or its identity cannot be told.
bool ViewsShareUninstallKey(HKEY root);
