#pragma once

#include <windows.h>

#include <string>

// Times another program from its start until its list shows a given number
// of rows, watching it from outside as a user's eye would: the first visible
// top-level window of the process that holds a list view with that many rows.

struct ProbeResult
{
    bool bOk;
    double seconds;
    int nRows;  // the rows seen last
};

ProbeResult TimeToFilledList(const std::wstring& commandLine, int nExpectedRows, DWORD timeoutMs);

// Runs a console program and counts the lines of its output; -1 on failure.
int CountOutputLines(const std::wstring& commandLine, DWORD timeoutMs);
