#pragma once

#include "base/IconHandle.h"
#include "icons/IconResource.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A file's version as its icon was read from it: size and last-write time.
struct IconFileVersion
{
    ULONGLONG cbSize;
    FILETIME ftWrite;
};

// One icon file to read, and once read, what it gave.
struct IconRead
{
    enum Outcome
    {
        kUnchanged,  // the version asked about: nothing read
        kMissing,    // no such file, or a directory
        kNoIcon,     // the file gives none: damaged, no such index, not a disk file
        kImage,      // image holds it
        kHandle,     // icon holds it
        kRetry,      // a passing failure (the file is locked): ask again later
    };

    // Asked: which icon, the file and index, and with bCheckOnly the version
    // whose icon the asker holds.
    int nIcon = 0;
    unsigned int nSerial = 0;
    std::shared_ptr<const std::wstring> path;
    int nIndex = 0;
    bool bCheckOnly = false;
    IconFileVersion version = {};  // out: the version read

    Outcome outcome = kNoIcon;
    IconImage image = {};
    CIconHandle icon;
};

// Reads one icon file as the reader's thread does: the small icon of the
// system's size, decoded where it can be with bDecode.
void ReadIcon(IconRead& read, bool bDecode);

// Reads icon files on a thread of its own, so that no file holds up the
// caller: a share that does not answer, a FIFO that never opens. Reads are
// answered in the order asked. A thread stuck on one file for a second is
// left to it, a new one takes the rest, and that file is not read again
// while the old thread is stuck on it.
class CIconReader
{
public:
    // Reads one file: with bDecode, the image the reader decodes itself where
    // it can, else every icon through ExtractIconExW.
    typedef void (*ReadFn)(IconRead& read, bool bDecode);

    // Tests may read otherwise.
    explicit CIconReader(ReadFn pRead = ReadIcon);
    ~CIconReader();
    CIconReader(const CIconReader&) = delete;
    CIconReader& operator=(const CIconReader&) = delete;

    void SetDecode(bool bDecode);
    // Posts nMessage to hwnd whenever the thread has answered every read
    // asked; hwnd NULL posts nothing.
    void NotifyWhenIdle(HWND hwnd, UINT nMessage);
    void Ask(IconRead&& read);
    // Appends the answers so far to reads, waiting up to dwWaitMs for every
    // read asked to be answered. False when none was.
    bool Take(std::vector<IconRead>& reads, DWORD dwWaitMs);
    // Whether reads asked are not yet answered or taken.
    bool IsBusy();

private:
    struct Thread;

    static void Run(std::shared_ptr<Thread> thread);
    bool Start();
    bool IsStuckOn(const std::wstring& path);
    void LeaveStuckThread();

    std::shared_ptr<Thread> m_thread;
    std::vector<IconRead> m_answered;  // at once, without the thread
    // Threads left behind, each stuck on one file.
    std::vector<std::shared_ptr<Thread>> m_stuck;
    ReadFn m_pRead;
    bool m_bDecode;
    HWND m_hwndNotify;
    UINT m_nNotifyMessage;
};

