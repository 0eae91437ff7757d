#pragma once

#include <windows.h>

#include "base/WideString.h"

// Vista's answer for a program whose manifest asks for administrator rights;
// older headers lack it.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

// Posted by the worker to its owner window as its last act: wParam is the
// worker's id, lParam the error that kept the command from starting
// (ERROR_SUCCESS when it ran, or when a person declined to elevate it).
#define WM_UNINSTALL_DONE (WM_APP + 0)

// Runs a stored command as Remove does, and waits until the uninstaller and
// every process it started have ended, or until hStop (may be NULL) is
// signalled; the uninstaller is never stopped. A bare program name runs the
// system's program of that name (see CCommandLine); a command from the 64-bit
// registry view that names a program in the system folder runs the 64-bit
// one; a program that asks for elevation is started through the shell's
// "runas" verb, its prompt owned by hwndOwner. Returns ERROR_SUCCESS when it
// ran, whatever its exit code, or when the person declined; otherwise the
// error that kept it from starting.
DWORD RunCommandAndWait(const CWideString& commandLine, bool b64BitView, HWND hwndOwner, HANDLE hStop);

// The worker's argument. Everything in it is the worker's own: it never
// touches the window object, only posts to hwndOwner.
struct UninstallJob
{
    HWND hwndOwner;
    WPARAM nId;
    HANDLE hStopEvent;  // duplicate of the window's stop event, or NULL
    CWideString strCommand;
    bool b64BitView;
};

// Runs the job's command, closes its stop event, posts WM_UNINSTALL_DONE,
// deletes the job and returns 0. Never closes its own thread handle.
unsigned __stdcall UninstallThreadProc(void* pJob);

// Creates the job (with its own duplicate of hStopEvent, which may be NULL)
// and starts the worker thread, whose completion message carries nId. Returns
// the thread handle, which the caller owns and alone closes, or NULL, in
// which case the job has been released and no WM_UNINSTALL_DONE follows.
HANDLE StartUninstallWorker(HWND hwndOwner, WPARAM nId, HANDLE hStopEvent, const CWideString& command,
                            bool b64BitView);

// For tests: Windows asks for elevation, Wine never does. When set, it is
// asked before every start (bElevated: through the "runas" verb), and an
// answer other than ERROR_SUCCESS fails that start with that error.
typedef DWORD (*StartRefusalFn)(bool bElevated);
void SetStartRefusalForTests(StartRefusalFn pfnRefusal);
