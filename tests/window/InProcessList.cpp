#include "window/InProcessList.h"

#include <commctrl.h>

#include <vector>

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntilImagesSettle(HWND hList)
{
    std::vector<int> images;
    const DWORD dwStart = GetTickCount();
    DWORD dwChanged = dwStart;
    while (GetTickCount() - dwStart < 20000 && GetTickCount() - dwChanged < 1000) {
        PumpMessages();
        std::vector<int> now;
        const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < nRows; ++i)
            now.push_back(ListItemImage(hList, i));
        if (now != images) {
            images.swap(now);
            dwChanged = GetTickCount();
        }
        Sleep(10);
    }
    return GetTickCount() - dwChanged >= 1000;
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
