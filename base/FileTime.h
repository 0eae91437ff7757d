#pragma once

#include <windows.h>

// Whether a last-write time can tell the next change: only once the clock
// has moved well past it, since two writes within one tick of the clock that
// stamps them (or within a FAT file time's two seconds) bear the same time.
inline bool IsSettled(const FILETIME& ftWrite, const FILETIME& ftNow)
{
    const ULONGLONG kMargin = 3 * 10000000ULL;  // 100-ns units
    const ULONGLONG nWrite = (static_cast<ULONGLONG>(ftWrite.dwHighDateTime) << 32) | ftWrite.dwLowDateTime;
    const ULONGLONG nNow = (static_cast<ULONGLONG>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime;
    return nWrite + kMargin < nNow;
}

// A time that matches no key's or file's: what was read under it is read again.
const FILETIME kUnsettledTime = {0, 0};

// The time to keep for what was read under ftWrite.
inline FILETIME TrustedTime(const FILETIME& ftWrite, const FILETIME& ftNow)
{
    return IsSettled(ftWrite, ftNow) ? ftWrite : kUnsettledTime;
}
