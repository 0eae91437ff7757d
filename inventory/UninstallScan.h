#pragma once

#include <windows.h>

#include "base/WideString.h"

// Reads the uninstall entries of one root key in one registry view, with no
// window involved: the caller turns each record into whatever it shows.

// Relative to HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
extern const wchar_t kUninstallKeyPath[];

struct UninstallRecord
{
    CWideString strKeyName;
    CWideString strDisplayName;      // the key name when the entry has none
    CWideString strUninstallString;  // never empty
};

// Receives the records of a scan. The record is reused for the next entry:
// copy what you keep.
class IUninstallRecordSink
{
public:
    virtual ~IUninstallRecordSink() {}
    virtual void OnRecord(const UninstallRecord& record) = 0;
};

// Calls the sink once for each entry of root's Uninstall key in that view
// that has a command, in enumeration order. With bShowUpdates false, entries
// naming a parent product (ParentKeyName) are left out.
void ScanUninstallEntries(HKEY root, bool b64BitView, bool bShowUpdates,
                          IUninstallRecordSink& sink);

// True when root's Uninstall key is one and the same key in the 32-bit and
// the 64-bit view (HKEY_CURRENT_USER on 64-bit Windows), so that scanning
// both views would list every entry twice. False when either view lacks the
// key or its identity cannot be told.
bool ViewsShareUninstallKey(HKEY root);
