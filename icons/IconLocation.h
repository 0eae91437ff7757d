#pragma once

#include "base/WideString.h"

#include <windows.h>

class CPath;

// Where an entry's icon is: a file and the index of the icon in it.
struct IconLocation
{
    CWideString strPath;  // a path that parsed, rendered
    int nIndex;
};

// A stored location's path and index: the path before the first comma, the
// index (IndexFromText) after it, 0 without a comma. With bRecord (an ARP
// cache record) the text is all path. False when the path does not parse;
// path is the parser's, lent to save its allocations.
bool ParseIconLocation(const wchar_t* pszText, bool bRecord, CPath& path, IconLocation& location);

// The icon index after the comma of a location. Each character adds a digit
// in base ten: 0-9, then A-Z and a-z as 10-35; any other character repeats
// the digit before it, and counts 0 when it comes first. A leading '-' makes
// the value negative, so "-101" (a resource id elsewhere) selects no icon
// rather than an unrelated one. Overflow wraps.
int IndexFromText(const CWideString& text);

// The small icon at nIndex of the file, owned by the caller; NULL when the
// index is negative or beyond the file's icons.
HICON ExtractSmallIcon(const wchar_t* pszPath, int nIndex);
