// A registry writer for the tests: rewrites, deletes and edits uninstall
// entries in HKEY_CURRENT_USER and in both views of HKEY_LOCAL_MACHINE, with
// their installer ProductIcon and ARP cache records, as fast as it can, until
// the event named on its command line is signalled (at most a minute). It
// leaves everything as it is then.
//   vx_regchurn SEED EVENT-NAME ICON-FILE
// Entries are named VxChurn-00 to VxChurn-29, or are the product codes
// {7E57C0DE-0000-4000-8000-0000000000NN}, NN 00 to 09. Stored commands all
// begin with "VxChurn:"; icon locations name ICON-FILE with an index, or a
// missing file. Exit code 0, or 1 for bad arguments.
#include "inventory/ProductCode.h"

#include <windows.h>
#include <shellapi.h>

#include <stdlib.h>

#include <random>
#include <string>

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCache[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const int kNames = 30;
const int kProductCodes = 10;

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
        wchar_t name[64];
        const int nName = Pick(kNames + kProductCodes);
        if (nName < kNames)
            wsprintfW(name, L"VxChurn-%02d", nName);
        else
            wsprintfW(name, L"{7E57C0DE-0000-4000-8000-0000000000%02d}", nName - kNames);
        const int nOperation = Pick(10);
        if (nOperation == 9) {
            WriteSideData(place, name, nName >= kNames);
            return;
        }
        const std::wstring path = kUninstall + std::wstring(name);
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

    // The entry's ProductIcon (product codes) or its ARP cache record: set in
    // one of their forms, or deleted with their key.
    void WriteSideData(const Place& place, const wchar_t* name, bool bProductCode)
    {
        std::wstring path;
        const wchar_t* pszValue;
        HKEY root = place.root;
        if (bProductCode && Pick(2) == 0) {
            path = kProducts + std::wstring(PackProductCode(CWideString(name)).GetText());
            pszValue = L"ProductIcon";
            root = HKEY_LOCAL_MACHINE;
        } else {
            path = kArpCache + std::wstring(name);
            pszValue = L"SlowInfoCache";
        }
        const int nForm = Pick(5);
        if (nForm == 0) {
            RegDeleteKeyExW(root, path.c_str(), place.view, 0);
            return;
        }
        HKEY hKey;
        if (RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | place.view, NULL, &hKey,
                            NULL) != ERROR_SUCCESS)
            return;
        const std::wstring file = nForm == 1 ? L"C:\\VxChurn\\missing.exe" : m_iconFile;
        if (pszValue[0] == L'P') {
            SetString(hKey, pszValue, file + L"," + std::to_wstring(Pick(3)));
        } else {
            // A 28-byte header that says nothing, then the path.
            std::wstring record = std::wstring(14, wchar_t(0xABAB)) + file;
            RegSetValueExW(hKey, pszValue, 0, nForm == 2 ? REG_SZ : REG_BINARY,
                           reinterpret_cast<const BYTE*>(record.c_str()),
                           static_cast<DWORD>((record.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(hKey);
    }

    // One value in one of its forms, or none.
    void WriteValue(HKEY hKey, const wchar_t* name)
    {
        const std::wstring strName = name;
        const int nForm = Pick(10);
        if (strName == L"DisplayName") {
            if (nForm < 6)
                SetString(hKey, name, L"Churn " + Number());
            else if (nForm < 7)
                SetString(hKey, name, L"");
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
