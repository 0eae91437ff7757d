#include "window/InProcessList.h"

#include <commctrl.h>

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring ListItemText(HWND hList, int nRow, int nColumn)
{
    wchar_t text[1024] = {};
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(hList, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return text;
}

int ListItemImage(HWND hList, int nRow)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    return SendMessageW(hList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.iImage : -2;
}
