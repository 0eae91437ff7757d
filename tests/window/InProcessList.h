#pragma once

#include <windows.h>

#include <string>

// The program list window run in this process, read through its list control.

// Handles whatever the thread's windows have been sent or posted.
void PumpMessages();

std::wstring ListItemText(HWND hList, int nRow, int nColumn);
int ListItemImage(HWND hList, int nRow);
