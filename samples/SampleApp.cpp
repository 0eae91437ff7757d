// A tiny windowed program for the sample installers to put on the machine.
// Its only distinguishing mark is its icon, which the list should show.
#include <windows.h>

#include "SampleApp.h"

static const wchar_t s_szClass[] = L"VantixSampleApp";

static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg)
    {
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
        {
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        HDC hDC = BeginPaint(hWnd, &ps);
        RECT rc;
        if (hDC && GetClientRect(hWnd, &rc))
            DrawTextW(hDC, L"A sample program installed for Vantix.", -1, &rc,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

static HICON LoadSampleIcon(HINSTANCE hInstance, int nMetricX, int nMetricY)
{
    return static_cast<HICON>(LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_SAMPLE), IMAGE_ICON,
                                         GetSystemMetrics(nMetricX), GetSystemMetrics(nMetricY), 0));
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nShowCmd)
{
    wchar_t szTitle[128];
    if (!LoadStringW(hInstance, IDS_TITLE, szTitle, ARRAYSIZE(szTitle)))
        return 1;

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadSampleIcon(hInstance, SM_CXICON, SM_CYICON);
    wc.hIconSm = LoadSampleIcon(hInstance, SM_CXSMICON, SM_CYSMICON);
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = s_szClass;
    if (!RegisterClassExW(&wc))
        return 1;

    HWND hWnd = CreateWindowExW(0, s_szClass, szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                400, 150, NULL, NULL, hInstance, NULL);
    if (!hWnd)
        return 1;
    ShowWindow(hWnd, nShowCmd);
    UpdateWindow(hWnd);

    MSG msg;
    BOOL bRet;
    while ((bRet = GetMessageW(&msg, NULL, 0, 0)) != 0)
    {
        if (bRet == -1)
            return 1;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
