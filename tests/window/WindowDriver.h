#pragma once

#include <windows.h>

#include "support/TestSupport.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>

// The program run in this process, its main window on a thread of its own,
// driven as a user would: real messages, real input, real processes.

// Polls pred every 20 ms until it holds; false after timeoutMs.
template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs = 20000)
{
    for (const DWORD dwStart = GetTickCount(); !pred(); Sleep(20)) {
        if (GetTickCount() - dwStart > timeoutMs)
            return false;
    }
    return true;
}

// The program's own start (the application object's InitInstance, through
// AfxWinMain) on a thread. Invoke runs code on that thread: for its own state
// (its cursor), or inside its modal loop.
class CProgramThread
{
public:
    CProgramThread() = default;
    ~CProgramThread() { Close(); }
    CProgramThread(const CProgramThread&) = delete;
    CProgramThread& operator=(const CProgramThread&) = delete;

    // Starts the thread and waits (bounded) until the main window shows.
    bool Start();
    HWND Window() const { return m_hWnd; }
    HWND Control(int nID) const { return GetDlgItem(m_hWnd, nID); }
    void Invoke(const std::function<void()>& fn) const;
    HCURSOR Cursor() const;
    // Closes the window if it is still up and waits (bounded) for the thread.
    void Close();

private:
    void ThreadMain();

    std::thread m_thread;
    HANDLE m_hReady = NULL;
    HANDLE m_hEnded = NULL;
    DWORD m_dwThreadId = 0;
    HWND m_hWnd = NULL;
    HWND m_hInvoker = NULL;
};

// A list control of this process, read from any thread.
std::wstring ListText(HWND hList, int nRow, int nColumn);
int ListImage(HWND hList, int nRow);  // -2 when it cannot be read
int FindRow(HWND hList, const std::wstring& name);  // the first row of that name, or -1

// Moves the real pointer to (x, y) until pred holds. Under X a motion left
// over from an earlier move can come after a new one: the move is repeated.
bool PointUntil(int x, int y, const std::function<bool()>& pred);
void ClickLeft();

// Writes the entry kUninstallKey\name with those string values; written
// deletes it afterwards. False when a write failed.
bool WriteUninstallEntry(testsupport::CWrittenKeys& written, const std::wstring& name,
                         std::initializer_list<std::pair<const wchar_t*, std::wstring>> values,
                         HKEY root = HKEY_CURRENT_USER, REGSAM view = 0);
