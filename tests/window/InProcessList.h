#pragma once

#include <windows.h>

#include <string>

// The program list window run in this process, read through its list control.

// Handles whatever the thread's windows have been sent or posted.
void PumpMessages();
// Handles messages until the rows' images have stayed the same for a second,
// well beyond the window's pause between showings of new icons: icons that a
// refresh finds new come in on a timer after it.
// False when they were still changing after 20 s.
bool PumpUntilImagesSettle(HWND hList);

std::wstring ListItemText(HWND hList, int nRow, int nColumn);
int ListItemImage(HWND hList, int nRow);
