#pragma once

#include "base/WideString.h"

#include <windows.h>

class CPath;

// The small icon of one uninstall entry, found through the installer's
// ProductIcon, the entry's DisplayIcon or the ARP cache record, each read in
// the 32-bit view before the 64-bit one. root is HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER (no view), keyName the entry's subkey under Uninstall.
// The caller destroys the icon; NULL when there is none.
HICON LoadEntryIcon(HKEY root, const CWideString& keyName);

// The icon index after the comma of a location. Each character adds a digit
// in base ten: 0-9, then A-Z and a-z as 10-35; any other character repeats
// the digit before it, and counts 0 when it comes first. A leading '-' makes
// the value negative, so "-101" (a resource id elsewhere) selects no icon
// rather than an unrelated one. Overflow wraps.
int IndexFromText(const CWideString& text);

// The rendered path names something that is not a directory.
bool FileExists(const CPath& path);
