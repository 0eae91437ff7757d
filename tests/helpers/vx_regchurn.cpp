// A registry writer for the tests: rewrites, deletes and edits uninstall
// entries named VxChurn-NN in HKEY_CURRENT_USER and in both views of
// HKEY_LOCAL_MACHINE as fast as it can, until the event named on its command
// line is signalled (at most a minute). It leaves the entries as they are.
//   vx_regchurn SEED EVENT-NAME ICON-FILE
// Commands all begin with "VxChurn:"; icon locations name ICON-FILE with an
// index, or a missing file. Exit code 0, or 1 for bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <stdlib.h>

#include <random>
#include <string>

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const int kNames = 30;

struct Place
{
    HKEY root;
    REGSAM view;
};
const Place kPlaces[] = {
    {HKEY_CURRENT_USER, 0},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
};

class CChurn
{
public:
    CChurn(unsigned seed, const std::wstring& iconFile) : m_random(seed), m_iconFile(iconFile) {}

    void Step()
    {
        const Place& place = kPlaces[Pick(3)];
        wchar_t name[32];
        wsprintfW(name, L"VxChurn-%02d", Pick(kNames));
        const std::wstring path = kUninstall + std::wstring(name);
        const int nOperation = Pick(10);
        if (nOperation < 2) {
            RegDeleteKeyExW(place.root, path.c_str(), place.view, 0);
            return;
        }
        HKEY hKey;
        if (RegCreateKeyExW(place.root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | place.view, NULL,
                            &hKey, NULL) != ERROR_SUCCESS)
            return;
        static const wchar_t* const s_values[] = {L"DisplayName", L"UninstallString",
                                                  L"QuietUninstallString", L"ParentKeyName",
                                                  L"DisplayIcon"};
        if (nOperation < 6) {
            for (int i = 0; i < 5; ++i)
                WriteValue(hKey, s_values[i]);
        } else if (nOperation < 8) {
            WriteValue(hKey, s_values[Pick(5)]);
        } else {
            RegDeleteValueW(hKey, s_values[Pick(5)]);
        }
        RegCloseKey(hKey);
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::wstring Number() { return std::to_wstring(Pick(100000)); }

    static void SetString(HKEY hKey, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        RegSetValueExW(hKey, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // One value in one of its forms, or none.
    void WriteValue(HKEY hKey, const wchar_t* name)
    {
        const std::wstring strName = name;
        const int nForm = Pick(10);
        if (strName == L"DisplayName") {
            if (nForm < 7)
                SetString(hKey, name, L"Churn " + Number());
            else if (nForm < 8)
                SetString(hKey, name, std::wstring(600, L'N'));
            else if (nForm < 9)
                RegSetValueExW(hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nForm), 4);
            else
                RegDeleteValueW(hKey, name);
        } else if (strName == L"UninstallString" || strName == L"QuietUninstallString") {
            if (nForm < 5)
                SetString(hKey, name, L"VxChurn:" + Number());
            else if (nForm < 6)
                SetString(hKey, name, L"");
            else if (nForm < 7)
                SetString(hKey, name, L"VxChurn:%TEMP%\\" + Number(), REG_EXPAND_SZ);
            else if (nForm < 8)
                SetString(hKey, name, L"VxChurn:" + std::wstring(520, L'c'));
            else
                RegDeleteValueW(hKey, name);
        } else if (strName == L"ParentKeyName") {
            if (nForm < 3)
                SetString(hKey, name, L"VxChurn-00");
            else
                RegDeleteValueW(hKey, name);
        } else {
            if (nForm < 4)
                SetString(hKey, name, m_iconFile + L"," + std::to_wstring(Pick(3)));
            else if (nForm < 5)
                SetString(hKey, name, m_iconFile + L",7");
            else if (nForm < 6)
                SetString(hKey, name, L"C:\\VxChurn\\missing.exe,0");
            else
                RegDeleteValueW(hKey, name);
        }
    }

    std::mt19937 m_random;
    std::wstring m_iconFile;
};

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL || argc != 4)
        return 1;
    HANDLE hStop = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
    if (hStop == NULL)
        return 1;

    CChurn churn(wcstoul(argv[1], NULL, 10), argv[3]);
    const DWORD dwStart = GetTickCount();
    while (WaitForSingleObject(hStop, 0) == WAIT_TIMEOUT && GetTickCount() - dwStart < 60000)
        churn.Step();
    CloseHandle(hStop);
    return 0;
}
