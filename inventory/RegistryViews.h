#pragma once

#include <windows.h>

// Which registry views the inventory reads, and the access mask of each.
// Every key of the inventory and of the icon lookup is opened for reading
// with the mask of the view in use.

bool IsWindows2000();
bool IsNative64BitWindows();

// KEY_READ on Windows 2000, which knows no view flags; otherwise KEY_READ
// with KEY_WOW64_32KEY or KEY_WOW64_64KEY.
REGSAM ViewAccessMask(bool bWindows2000, bool b64BitView);

// The mask of a view on the running system.
REGSAM ViewAccessMask(bool b64BitView);

// True when root's Uninstall key is one and the same key in the 32-bit and
// the 64-bit view (HKEY_CURRENT_USER on 64-bit Windows), so that scanning
// both views would list every entry twice. False when either view lacks the
// key or its identity cannot be told.
bool ViewsShareUninstallKey(HKEY root);
