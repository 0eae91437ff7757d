// The registry changes underneath a refreshing window: another process
// (vx_regchurn.exe) rewrites uninstall entries and their icon sources while
// the window, in this process, refreshes in a loop. Nothing may crash or
// hang, and the first refresh after the writer has stopped shows exactly what
// the registry holds, names, commands and icons, with and without updates.
#include "framework/Afx.h"
#include "inventory/ProductCode.h"
#include "res/resource.h"
#include "support/ImagePixels.h"
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

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCache[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const wchar_t kNamePrefix[] = L"VxChurn-";
const wchar_t kCodePrefix[] = L"{7E57C0DE-";
const wchar_t kCommandPrefix[] = L"VxChurn:";
const wchar_t kMsiPrefix[] = L"msiexec.exe /x {7E57C0DE-";
const DWORD kChurnMs = 8000;
const DWORD kRefreshBoundMs = 5000;

std::wstring IconFile()
{
    return testsupport::ExeDir() + L"\\vx_three_icons.exe";
}

// The writer's entry names: VxChurn-NN and its product codes.
std::vector<std::wstring> ChurnNames()
{
    std::vector<std::wstring> names;
    for (int i = 0; i < 30; ++i)
        names.push_back(kNamePrefix + std::to_wstring(i / 10) + std::to_wstring(i % 10));
    for (int i = 0; i < 10; ++i)
        names.push_back(kCodePrefix + std::wstring(L"0000-4000-8000-00000000000") + std::to_wstring(i) + L"}");
    return names;
}

// A row as the user sees it: name, command, and the colour of its icon
// (0 red, 1 green, 2 blue: vx_three_icons.exe's icons by index; -1 for the
// default icon).
typedef std::tuple<std::wstring, std::wstring, int> Row;

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// A plain reading of one value by the rules: one of the types, data that
// fits the buffer, text up to the first NUL within the data (for a record,
// from byte 28 on).
bool ReadValue(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name, bool bRecord,
               DWORD cbBuffer, std::wstring& text)
{
    testsupport::CRegKey key;
    if (key.Open(root, path.c_str(), KEY_READ | view) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> data(2048, 0);
    DWORD cb = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key.Get(), name, NULL, &type, reinterpret_cast<BYTE*>(data.data()), &cb) !=
            ERROR_SUCCESS || cb > cbBuffer)
        return false;
    if (bRecord ? type != REG_BINARY : type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return false;
    const size_t nStart = bRecord ? 14 : 0;
    const size_t nEnd = cb / sizeof(wchar_t);
    text = nStart < nEnd ? std::wstring(data.data() + nStart, wcsnlen(data.data() + nStart, nEnd - nStart))
                         : std::wstring();
    return true;
}

bool ReadText(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name, std::wstring& text)
{
    return ReadValue(root, path, view, name, false, 1024, text) && text.size() < 512;
}

// The icon by the lookup's order: ProductIcon for product codes, then
// DisplayIcon, then the ARP cache record, each in the 32-bit view before the
// 64-bit one whatever view the entry is in. Every location the writer stores
// parses, so the first one found decides.
int ExpectedColor(HKEY root, const std::wstring& name, bool bReads64)
{
    const REGSAM views[2] = {KEY_WOW64_32KEY, static_cast<REGSAM>(bReads64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)};
    const std::wstring product = kProducts + std::wstring(PackProductCode(CWideString(name.c_str())).GetText());
    std::wstring location;
    bool bFound = false;
    for (int nStage = StartsWith(name, kCodePrefix) ? 0 : 1; nStage < 3 && !bFound; ++nStage) {
        for (int nView = 0; nView < 2 && !bFound; ++nView) {
            if (nStage == 0)
                bFound = ReadValue(HKEY_LOCAL_MACHINE, product, views[nView], L"ProductIcon", false, 520, location);
            else if (nStage == 1)
                bFound = ReadValue(root, kUninstall + name, views[nView], L"DisplayIcon", false, 520, location);
            else
                bFound = ReadValue(root, kArpCache + name, views[nView], L"SlowInfoCache", true, 552, location);
            bFound = bFound && !location.empty();
        }
    }
    if (location == IconFile())
        return 0;
    const std::wstring file = IconFile() + L",";
    if (!bFound || !StartsWith(location, file.c_str()) || location.size() != file.size() + 1)
        return -1;
    const int nIndex = location.back() - L'0';
    return nIndex >= 0 && nIndex < 3 ? nIndex : -1;
}

void AppendExpectedRows(HKEY root, REGSAM view, bool bReads64, bool bShowUpdates, std::vector<Row>& rows)
{
    for (const std::wstring& name : ChurnNames()) {
        const std::wstring path = kUninstall + name;
        testsupport::CRegKey entry;
        if (entry.Open(root, path.c_str(), KEY_READ | view) != ERROR_SUCCESS)
            continue;
        if (!bShowUpdates && RegQueryValueExW(entry.Get(), L"ParentKeyName", NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
            continue;
        std::wstring display, command;
        if (!ReadText(root, path, view, L"UninstallString", command) &&
            !ReadText(root, path, view, L"QuietUninstallString", command) && StartsWith(name, kCodePrefix))
            command = L"msiexec.exe /x " + name;
        if (command.empty())
            continue;
        if (!ReadText(root, path, view, L"DisplayName", display))
            display = name;
        rows.push_back(Row(display, command, ExpectedColor(root, name, bReads64)));
    }
}

// Which of the three solid icons an image shows, by the strongest channel of
// its middle pixel.
int ImageColor(HIMAGELIST hImages, int nImage)
{
    if (nImage == 0)
        return -1;
    const std::vector<DWORD> pixels = testsupport::DrawnOnWhite(hImages, nImage);
    if (pixels.empty())
        return -2;
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
        for (const std::wstring& name : ChurnNames()) {
            for (const std::wstring& path : {kUninstall + name, kArpCache + name}) {
                testsupport::DeleteTree(HKEY_CURRENT_USER, path.c_str());
                testsupport::DeleteTree(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_32KEY);
                testsupport::DeleteTree(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY);
            }
            // The writer gives only product codes a ProductIcon, in the
            // entry's own view.
            if (!StartsWith(name, kCodePrefix))
                continue;
            const std::wstring product = kProducts + std::wstring(PackProductCode(CWideString(name.c_str())).GetText());
            testsupport::DeleteTree(HKEY_LOCAL_MACHINE, product.c_str(), KEY_WOW64_32KEY);
            testsupport::DeleteTree(HKEY_LOCAL_MACHINE, product.c_str(), KEY_WOW64_64KEY);
        }
    }

    // The window's rows against a plain reading of the registry.
    void ExpectRowsAsStored(HWND hList, bool bShowUpdates)
    {
        const bool bReads64 = !testsupport::PrefixReportsWindows2000();
        std::vector<Row> expected;
        AppendExpectedRows(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, bReads64, bShowUpdates, expected);
        AppendExpectedRows(HKEY_CURRENT_USER, 0, bReads64, bShowUpdates, expected);
        if (bReads64)
            AppendExpectedRows(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, bReads64, bShowUpdates, expected);
        std::vector<Row> actual;
        HIMAGELIST hImages = reinterpret_cast<HIMAGELIST>(SendMessageW(hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        const int nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < nRows; ++i) {
            const std::wstring command = ListItemText(hList, i, 1);
            if (StartsWith(command, kCommandPrefix) || StartsWith(command, kMsiPrefix))
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
    }
};

}  // namespace

TEST_F(RegistryChurnTest, RefreshesWhileEntriesChangeAndExactlyOnceTheyStop)
{
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
    EXPECT_TRUE(PumpUntilImagesSettle(hList)) << "icons still changing";
    {
        SCOPED_TRACE("updates shown");
        ExpectRowsAsStored(hList, true);
    }
    SendMessageW(GetDlgItem(dlg.GetSafeHwnd(), IDC_SHOW_UPDATES), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntilImagesSettle(hList)) << "icons still changing";
    {
        SCOPED_TRACE("updates hidden");
        ExpectRowsAsStored(hList, false);
    }
    dlg.DestroyWindow();
}
