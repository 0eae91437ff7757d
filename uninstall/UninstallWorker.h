#pragma once

#include <windows.h>

#include "base/WideString.h"

// Posted by the worker to its owner window when the uninstaller has exited or
// the wait was stopped; wParam and lParam are 0.
#define WM_UNINSTALL_DONE (WM_USER + 1000)

// Option bits of RunCommandAndWait.
enum
{
    RUN_HIDDEN = 1,   // start the child with SW_HIDE
    RUN_NO_WAIT = 2,  // return 0 as soon as the child has started
};

// Runs a command line as stored (the first token names the program) and waits
// until the child and every process it started have ended, or until hExtra
// (may be NULL) is signalled. Returns the first process's exit code,
// STILL_ACTIVE when hExtra ended the wait, 0 with RUN_NO_WAIT, or the error
// code when the command could not be started. The child is never stopped.
DWORD RunCommandAndWait(const CWideString& commandLine, unsigned options, HANDLE hExtra);

// The worker's argument. Everything in it is the worker's own: it never
// touches the window object, only posts to hwndOwner.
struct UninstallJob
{
    HWND hwndOwner;
    HANDLE hStopEvent;  // duplicate of the window's stop event, or NULL
    CWideString strCommand;
};

// Runs the job's command, closes its stop event, posts WM_UNINSTALL_DONE,
// deletes the job and returns 0. Never closes its own thread handle.
unsigned __stdcall UninstallThreadProc(void* pJob);

// Creates the job (with its own duplicate of hStopEvent, which may be NULL)
// and starts the worker thread. Returns the thread handle, which the caller
// owns and alone closes, or NULL, in which case the job has been released and
// no WM_UNINSTALL_DONE follows.
HANDLE StartUninstallWorker(HWND hwndOwner, HANDLE hStopEvent, const CWideString& command);
