// The registry changes underneath a refreshing window: another process
// (vx_regchurn.exe) rewrites uninstall entries while the window, in this
// process, refreshes in a loop. Nothing may crash or hang, and the first
// refresh after the writer has stopped shows exactly what the registry holds.
#include "framework/Afx.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "ui/ProgramListDlg.h"
#include "window/InProcessList.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kChurnPrefix[] = L"VxChurn-";
const wchar_t kCommandPrefix[] = L"VxChurn:";
const DWORD kChurnMs = 8000;
const DWORD kRefreshBoundMs = 5000;

std::wstring IconFile()
{
    return testsupport::ExeDir() + L"\\vx_three_icons.exe";
}

// A row as the user sees it: name, command, and the colour of its icon
// (0 red, 1 green, 2 blue: vx_three_icons.exe's icons by index; -1 for the
// default icon).
typedef std::tuple<std::wstring, std::wstring, int> Row;

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// A plain reading of one value by the rules: a string type, data that fits
// 1024 bytes, text up to the first NUL that leaves room for a terminator.
bool ReadText(HKEY hKey, const wchar_t* name, std::wstring& text)
{
    std::vector<wchar_t> data(2048, 0);
    DWORD cb = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = REG_NONE;
    if (RegQueryValueExW(hKey, name, NULL, &type, reinterpret_cast<BYTE*>(data.data()), &cb) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) || cb > 1024)
        return false;
    text.assign(data.data(), wcsnlen(data.data(), cb / sizeof(wchar_t)));
    return text.size() < 512;
}

// The icon that the entry's DisplayIcon gives, read in the 32-bit view
// before the 64-bit one whatever view the entry is in. Every location the
// writer stores parses, so the first one found decides.
int ExpectedColor(HKEY root, const std::wstring& name, bool bReads64)
{
    for (REGSAM view : {KEY_WOW64_32KEY, bReads64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY}) {
        testsupport::CRegKey key;
        std::wstring location;
        if (key.Open(root, (std::wstring(kUninstall) + L"\\" + name).c_str(), KEY_READ | view) ==
                ERROR_SUCCESS &&
            ReadText(key.Get(), L"DisplayIcon", location) && !location.empty()) {
            const std::wstring file = IconFile() + L",";
            if (!StartsWith(location, file.c_str()) || location.size() != file.size() + 1)
                return -1;
            const int nIndex = location.back() - L'0';
            return nIndex >= 0 && nIndex < 3 ? nIndex : -1;
        }
    }
    return -1;
}

void AppendExpectedRows(HKEY root, REGSAM view, bool bReads64, std::vector<Row>& rows)
{
    testsupport::CRegKey uninstall;
    if (uninstall.Open(root, kUninstall, KEY_READ | view) != ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (DWORD i = 0, cch = 256;
         RegEnumKeyExW(uninstall.Get(), i, name, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         ++i, cch = 256) {
        if (!StartsWith(name, kChurnPrefix))
            continue;
        testsupport::CRegKey entry;
        if (entry.Open(uninstall.Get(), name, KEY_READ | view) != ERROR_SUCCESS)
            continue;
        std::wstring display, command;
        if (!ReadText(entry.Get(), L"UninstallString", command) &&
            !ReadText(entry.Get(), L"QuietUninstallString", command))
            continue;
        if (command.empty())
            continue;
        if (!ReadText(entry.Get(), L"DisplayName", display))
            display = name;
        rows.push_back(Row(display, command, ExpectedColor(root, name, bReads64)));
    }
}

// Which of the three solid icons an image shows, by its strongest channel.
int ImageColor(HIMAGELIST hImages, int nImage)
{
    if (nImage == 0)
        return -1;
    HICON hIcon = ImageList_GetIcon(hImages, nImage, ILD_NORMAL);
    ICONINFO info;
    if (hIcon == NULL || !GetIconInfo(hIcon, &info)) {
        if (hIcon != NULL)
            DestroyIcon(hIcon);
        return -2;
    }
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = 16;
    format.bmiHeader.biHeight = -16;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    DWORD pixels[16 * 16] = {};
    HDC hdc = GetDC(NULL);
    GetDIBits(hdc, info.hbmColor, 0, 16, pixels, &format, DIB_RGB_COLORS);
    ReleaseDC(NULL, hdc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(hIcon);
    const DWORD pixel = pixels[8 * 16 + 8];
    const int channels[3] = {static_cast<int>((pixel >> 16) & 0xFF),
                             static_cast<int>((pixel >> 8) & 0xFF), static_cast<int>(pixel & 0xFF)};
    return static_cast<int>(std::max_element(channels, channels + 3) - channels);
}

class RegistryChurnTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        DeleteChurnEntries();
    }

    void TearDown() override { DeleteChurnEntries(); }

    static void DeleteChurnEntries()
    {
        for (int i = 0; i < 30; ++i) {
            wchar_t path[128];
            wsprintfW(path, L"%ls\\VxChurn-%02d", kUninstall, i);
            testsupport::DeleteTree(HKEY_CURRENT_USER, path);
            testsupport::DeleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
            testsupport::DeleteTree(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
        }
    }
};

}  // namespace

TEST_F(RegistryChurnTest, RefreshesWhileEntriesChangeAndExactlyOnceTheyStop)
{
    const bool bReads64 = !testsupport::PrefixReportsWindows2000();
    wchar_t eventName[64];
    wsprintfW(eventName, L"VxChurnStop-%lu", GetCurrentProcessId());
    HANDLE hStop = CreateEventW(NULL, TRUE, FALSE, eventName);
    ASSERT_NE(static_cast<HANDLE>(NULL), hStop);
    std::wstring writer = L"\"" + testsupport::ExeDir() + L"\\vx_regchurn.exe\" 20240611 " +
                          eventName + L" \"" + IconFile() + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(NULL, &writer[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    CloseHandle(pi.hThread);

    CProgramListDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hList = GetDlgItem(dlg.GetSafeHwnd(), IDC_PROGRAM_LIST);
    int nRefreshes = 0;
    DWORD dwSlowest = 0;
    for (DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < kChurnMs; ++nRefreshes) {
        const DWORD dwBefore = GetTickCount();
        dlg.Refresh();
        PumpMessages();
        dwSlowest = std::max(dwSlowest, GetTickCount() - dwBefore);
    }
    SetEvent(hStop);
    DWORD nExitCode = 1;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &nExitCode) && nExitCode == 0);
    CloseHandle(pi.hProcess);
    CloseHandle(hStop);
    EXPECT_GT(nRefreshes, 10);
    EXPECT_LT(dwSlowest, kRefreshBoundMs);

    dlg.Refresh();
    PumpMessages();
    std::vector<Row> expected;
    AppendExpectedRows(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, bReads64, expected);
    AppendExpectedRows(HKEY_CURRENT_USER, 0, bReads64, expected);
    if (bReads64)
        AppendExpectedRows(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, bReads64, expected);
    std::vector<Row> actual;
    HIMAGELIST hImages = reinterpret_cast<HIMAGELIST>(SendMessageW(hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < nRows; ++i) {
        const std::wstring command = ListItemText(hList, i, 1);
        if (StartsWith(command, kCommandPrefix))
            actual.push_back(Row(ListItemText(hList, i, 0), command, ImageColor(hImages, ListItemImage(hList, i))));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    ASSERT_GT(expected.size(), 5u) << "the writer leaves entries behind";
    EXPECT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        EXPECT_EQ(std::get<0>(expected[i]), std::get<0>(actual[i])) << "row " << i;
        EXPECT_EQ(std::get<1>(expected[i]), std::get<1>(actual[i])) << "row " << i;
        EXPECT_EQ(std::get<2>(expected[i]), std::get<2>(actual[i])) << "icon of row " << i;
    }
    dlg.DestroyWindow();
}
