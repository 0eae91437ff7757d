#pragma once

#include <windows.h>

#include "support/TestSupport.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>

// The program list window run modally on a thread of its own, as the program
// runs it (an application object names it the main window), so that the test
// thread can drive it with real messages and real input. Code that needs the
// dialog thread's own state (its cursor, a modal box's objects) runs there
// through Invoke.
class CProgramDialogThread
{
public:
    CProgramDialogThread() = default;
    ~CProgramDialogThread() { Close(); }
    CProgramDialogThread(const CProgramDialogThread&) = delete;
    CProgramDialogThread& operator=(const CProgramDialogThread&) = delete;

    // Starts the thread and waits (bounded) until the window is shown.
    bool Start();
    HWND Window() const { return m_hWnd; }
    HWND Control(int nID) const { return GetDlgItem(m_hWnd, nID); }

    // Runs fn on the dialog's thread, inside whichever message loop runs there.
    void Invoke(const std::function<void()>& fn) const;
    // The cursor that the dialog's thread has set.
    HCURSOR Cursor() const;
    // Closes the window if it is still up and waits for the thread.
    void Close();

private:
    void ThreadMain();

    std::thread m_thread;
    HANDLE m_hReady = NULL;
    DWORD m_dwThreadId = 0;
    HWND m_hWnd = NULL;
    HWND m_hInvoker = NULL;
};

// Polls pred every 20 ms until it holds; false after timeoutMs.
template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs = 5000)
{
    DWORD dwStart = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - dwStart > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

// Real mouse input, as a user's hand would give it (screen coordinates).
void MoveMouse(int x, int y);
void ClickLeft();

// Moves the pointer to (x, y) until pred holds. Under X a motion left over
// from an earlier move can come after a new one and put the pointer back,
// so the move is made again while waiting.
template <class Pred>
bool PointUntil(int x, int y, Pred pred, DWORD timeoutMs = 5000)
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        MoveMouse(x, y);
        if (WaitUntil(pred, 500))
            return true;
        if (GetTickCount() - dwStart > timeoutMs)
            return false;
    }
}

// A list control of this process, read from any thread.
std::wstring ListItemText(HWND hList, int nRow, int nColumn);
int ListItemImage(HWND hList, int nRow);
// The first row whose name is that, or -1.
int FindListRow(HWND hList, const std::wstring& name);

// Writes the entry kUninstallKey\name with those string values; written
// deletes it afterwards. False when a write failed.
bool WriteUninstallEntry(testsupport::CWrittenKeys& written, const std::wstring& name,
                         std::initializer_list<std::pair<const wchar_t*, std::wstring>> values,
                         HKEY root = HKEY_CURRENT_USER, REGSAM view = 0);
