// vx_regchurn SEED EVENT-NAME ICON-FILE: until the event is set (at most a
// minute), rewrites and deletes the entries VxChurn-00 to -29 and the product
// codes {7E57C0DE-0000-4000-8000-0000000000NN}, NN 00 to 09, in HKCU and both
// views of HKLM, with ProductIcon and ARP cache records, as fast as it can.
// Commands begin with "VxRows:". Exit code 1 for bad arguments.
#include "inventory/ProductCode.h"

#include <windows.h>
#include <shellapi.h>

#include <stdlib.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<DWORD, std::wstring>> Forms;  // type, text

std::mt19937 s_random;

int Pick(int n)
{
    return std::uniform_int_distribution<int>(0, n - 1)(s_random);
}

// Sets the value in one of its forms, or deletes it (with bKey, the key).
void Write(HKEY root, REGSAM view, const std::wstring& path, const wchar_t* value, const Forms& forms, bool bKey)
{
    const size_t nForm = static_cast<size_t>(Pick(static_cast<int>(forms.size()) + 1));
    HKEY hKey;
    if (nForm == forms.size() && bKey) {
        RegDeleteKeyExW(root, path.c_str(), view, 0);
    } else if (RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &hKey, NULL) == 0) {
        if (nForm == forms.size())
            RegDeleteValueW(hKey, value);
        else
            RegSetValueExW(hKey, value, 0, forms[nForm].first,
                           reinterpret_cast<const BYTE*>(forms[nForm].second.c_str()),
                           static_cast<DWORD>((forms[nForm].second.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(hKey);
    }
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    HANDLE hStop = argv != NULL && argc == 4 ? OpenEventW(SYNCHRONIZE, FALSE, argv[2]) : NULL;
    if (hStop == NULL)
        return 1;
    s_random.seed(wcstoul(argv[1], NULL, 10));
    const std::wstring iconFile = argv[3], missing = L"C:\\VxChurn\\missing.exe";
    const std::wstring header(14, wchar_t(0xABAB));  // an ARP cache record's 28 bytes that say nothing
    const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    const wchar_t* const values[] = {L"DisplayName", L"UninstallString", L"QuietUninstallString", L"ParentKeyName",
                                     L"DisplayIcon"};
    for (const DWORD dwStart = GetTickCount();
         WaitForSingleObject(hStop, 0) == WAIT_TIMEOUT && GetTickCount() - dwStart < 60000;) {
        const HKEY root = Pick(3) == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const REGSAM view = Pick(2) == 0 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        const int nName = Pick(40), nOperation = Pick(10);
        wchar_t name[64];
        wsprintfW(name, nName < 30 ? L"VxChurn-%02d" : L"{7E57C0DE-0000-4000-8000-0000000000%02d}", nName % 30);
        const std::wstring number = std::to_wstring(Pick(100000)), icon = iconFile + L"," + std::to_wstring(Pick(3));
        if (nOperation == 9 && nName >= 30 && Pick(2) == 0) {
            const std::wstring packed = PackProductCode(CWideString(name)).GetText();
            Write(HKEY_LOCAL_MACHINE, view, L"SOFTWARE\\Classes\\Installer\\Products\\" + packed, L"ProductIcon",
                  {{REG_SZ, icon}, {REG_SZ, missing + L",0"}}, true);
        } else if (nOperation == 9) {
            Write(root, view, key + L"App Management\\ARPCache\\" + name,
                  L"SlowInfoCache",
                  {{REG_BINARY, header + iconFile}, {REG_SZ, header + iconFile}, {REG_BINARY, header + missing}}, true);
        } else if (nOperation < 2) {
            RegDeleteKeyExW(root, (key + L"Uninstall\\" + name).c_str(), view, 0);
        } else {
            // Good forms, empty, too long, of the wrong type.
            const Forms commands = {{REG_SZ, L"VxRows:" + number},
                                    {REG_SZ, L""},
                                    {REG_EXPAND_SZ, L"VxRows:%TEMP%\\" + number},
                                    {REG_SZ, L"VxRows:" + std::wstring(520, L'c')}};
            const Forms forms[] = {
                {{REG_SZ, L"Churn " + number}, {REG_SZ, L""}, {REG_SZ, std::wstring(600, L'N')}, {REG_DWORD, L"x"}},
                commands, commands, {{REG_SZ, L"VxChurn-00"}},
                {{REG_SZ, icon}, {REG_SZ, iconFile + L",7"}, {REG_SZ, missing + L",0"}}};
            // All values anew, one value, or one value deleted.
            for (int i = nOperation < 6 ? 0 : Pick(5), nEnd = nOperation < 6 ? 5 : i + 1; i < nEnd; ++i)
                Write(root, view, key + L"Uninstall\\" + name, values[i], nOperation < 8 ? forms[i] : Forms(), false);
        }
    }
    return 0;
}
