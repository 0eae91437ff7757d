#include "inventory/UninstallScan.h"

#include <string.h>

#include "inventory/ProductCode.h"
#include "inventory/RegistryKey.h"
#include "inventory/RegistryViews.h"

const wchar_t kUninstallKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

const DWORD kNameChars = 512;
const DWORD kValueBytes = 1024;
const DWORD kValueChars = kValueBytes / sizeof(wchar_t);

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The text of a string value: up to the first NUL, and never past the data
// returned, which need not be terminated nor of even length. Text that would
// leave no room for a terminator counts as too long, as larger data does.
bool QueryText(const CRegistryKey& key, const wchar_t* valueName,
               wchar_t (&buffer)[kValueChars], CWideString& str)
{
    DWORD type = REG_NONE;
    DWORD cb = kValueBytes;
    if (key.QueryValue(valueName, &type, buffer, &cb) != ERROR_SUCCESS || !IsTextType(type))
        return false;
    const DWORD cch = (cb < kValueBytes ? cb : kValueBytes) / sizeof(wchar_t);
    DWORD length = 0;
    while (length < cch && buffer[length] != 0)
        ++length;
    if (length == kValueChars)
        return false;
    buffer[length] = 0;
    str = buffer;
    return true;
}

// The command, by the first rule that gives one: UninstallString (settled
// even when empty), QuietUninstallString, or msiexec for a product code.
bool ReadCommand(const CRegistryKey& key, wchar_t (&buffer)[kValueChars],
                 UninstallRecord& record)
{
    if (QueryText(key, L"UninstallString", buffer, record.strUninstallString) ||
        QueryText(key, L"QuietUninstallString", buffer, record.strUninstallString))
        return !record.strUninstallString.IsEmpty();
    if (!IsProductCode(record.strKeyName))
        return false;
    record.strUninstallString.Format(L"msiexec.exe /x %s", record.strKeyName.GetText());
    return true;
}

}  // namespace

void ScanUninstallEntries(HKEY root, bool b64BitView, bool bShowUpdates,
                          IUninstallRecordSink& sink)
{
    const REGSAM sam = ViewAccessMask(b64BitView);
    CRegistryKey uninstallKey;
    if (uninstallKey.Open(root, kUninstallKeyPath, sam) != ERROR_SUCCESS)
        return;

    // One set of buffers for the whole scan.
    wchar_t name[kNameChars];
    wchar_t value[kValueChars];
    UninstallRecord record;
    for (DWORD index = 0;; ++index) {
        DWORD cchName = kNameChars;
        if (uninstallKey.EnumKey(index, name, &cchName) != ERROR_SUCCESS)
            break;
        name[cchName < kNameChars ? cchName : kNameChars - 1] = 0;

        CRegistryKey entryKey;
        if (entryKey.Open(uninstallKey.Get(), name, sam) != ERROR_SUCCESS)
            continue;
        if (!bShowUpdates &&
            entryKey.QueryValue(L"ParentKeyName", NULL, NULL, NULL) == ERROR_SUCCESS)
            continue;

        // The command decides whether there is a row at all, so the display
        // name is only read for entries that get one.
        record.strKeyName = name;
        if (!ReadCommand(entryKey, value, record))
            continue;
        if (!QueryText(entryKey, L"DisplayName", value, record.strDisplayName))
            record.strDisplayName = record.strKeyName;
        sink.OnRecord(record);
    }
}

namespace {

// KEY_NAME_INFORMATION, with room for any name this program asks about.
struct KeyNameInformation
{
    ULONG cbName;
    wchar_t name[1024];
};

typedef LONG(NTAPI* NtQueryKeyFn)(HANDLE, int, void*, ULONG, ULONG*);
const int kKeyNameInformationClass = 3;

bool QueryKernelName(NtQueryKeyFn pNtQueryKey, HKEY hKey, KeyNameInformation& info)
{
    ULONG cbResult = 0;
    LONG status = pNtQueryKey(hKey, kKeyNameInformationClass, &info, sizeof(info), &cbResult);
    return status >= 0 && info.cbName <= sizeof(info.name);
}

}  // namespace

bool ViewsShareUninstallKey(HKEY root)
{
    // Only the kernel names tell whether two handles are one key: the
    // contents of two distinct keys can be alike.
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    if (hNtdll == NULL)
        return false;
    NtQueryKeyFn pNtQueryKey = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(hNtdll, "NtQueryKey")));
    if (pNtQueryKey == NULL)
        return false;

    CRegistryKey key32;
    CRegistryKey key64;
    if (key32.Open(root, kUninstallKeyPath, ViewAccessMask(false)) != ERROR_SUCCESS ||
        key64.Open(root, kUninstallKeyPath, ViewAccessMask(true)) != ERROR_SUCCESS)
        return false;
    KeyNameInformation name32;
    KeyNameInformation name64;
    if (!QueryKernelName(pNtQueryKey, key32.Get(), name32) ||
        !QueryKernelName(pNtQueryKey, key64.Get(), name64))
        return false;
    return name32.cbName == name64.cbName &&
           memcmp(name32.name, name64.name, name32.cbName) == 0;
}
