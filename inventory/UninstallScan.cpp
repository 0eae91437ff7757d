#include "inventory/UninstallScan.h"

#include <string.h>
#include <wchar.h>

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

struct CUninstallKeyCache::Entry
{
    const CWideString& Name() const { return record.strKeyName; }

    FILETIME ftWrite;  // of the key when its values were read
    bool bListed;      // it has a command
    int nParent;       // ParentKeyName: -1 not asked yet, 0 absent, 1 present
    UninstallRecord record;
};

CUninstallKeyCache::CUninstallKeyCache() : m_root(NULL), m_b64BitView(false) {}

CUninstallKeyCache::~CUninstallKeyCache() {}

void CUninstallKeyCache::Scan(HKEY root, bool b64BitView, bool bShowUpdates,
                              IUninstallRecordSink& sink)
{
    if (root != m_root || b64BitView != m_b64BitView) {
        m_entries.Clear();
        m_root = root;
        m_b64BitView = b64BitView;
    }
    const REGSAM sam = ViewAccessMask(b64BitView);
    CRegistryKey uninstallKey;
    if (uninstallKey.Open(root, kUninstallKeyPath, sam) != ERROR_SUCCESS) {
        m_entries.Clear();
        return;
    }

    // One buffer for the whole scan.
    wchar_t value[kValueChars];
    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    m_entries.Enumerate(uninstallKey, [&](const wchar_t* pszName, const FILETIME& ftWrite,
                                          std::unique_ptr<Entry>& entry) {
        const bool bFresh = entry && CompareFileTime(&entry->ftWrite, &ftWrite) == 0;
        if (!bFresh || (!bShowUpdates && entry->nParent < 0)) {
            CRegistryKey entryKey;
            if (entryKey.Open(uninstallKey.Get(), pszName, sam) != ERROR_SUCCESS)
                return false;
            if (!bFresh) {
                if (!entry)
                    entry.reset(new Entry);
                entry->ftWrite = IsSettled(ftWrite, ftNow) ? ftWrite : kUnsettledTime;
                entry->nParent = -1;
                UninstallRecord& record = entry->record;
                record.strKeyName = pszName;
                record.bDisplayIcon = false;
                record.strDisplayIcon.Free();
                // The command decides whether there is a row at all, so the
                // display name and icon are only read for entries that get one.
                entry->bListed = ReadCommand(entryKey, value, record);
                if (entry->bListed) {
                    if (!QueryText(entryKey, L"DisplayName", value, record.strDisplayName))
                        record.strDisplayName = record.strKeyName;
                    record.bDisplayIcon = QueryLocationText(entryKey.Get(), L"DisplayIcon", value);
                    if (record.bDisplayIcon)
                        record.strDisplayIcon = value;
                }
            }
            if (!bShowUpdates && entry->nParent < 0)
                entry->nParent =
                    entryKey.QueryValue(L"ParentKeyName", NULL, NULL, NULL) == ERROR_SUCCESS;
        }
        if (entry->bListed && (bShowUpdates || entry->nParent == 0))
            sink.OnRecord(entry->record);
        return true;
    });
}

bool CUninstallKeyCache::Contains(const wchar_t* pszName, bool* pbSure)
{
    return m_entries.Find(pszName, pbSure) != NULL;
}

void ScanUninstallEntries(HKEY root, bool b64BitView, bool bShowUpdates,
                          IUninstallRecordSink& sink)
{
    CUninstallKeyCache cache;
    cache.Scan(root, b64BitView, bShowUpdates, sink);
}

bool QueryLocationText(HKEY hKey, const wchar_t* valueName, wchar_t* buffer)
{
    DWORD type = REG_NONE;
    DWORD cbData = kLocationBytes;
    if (RegQueryValueExW(hKey, valueName, NULL, &type, reinterpret_cast<BYTE*>(buffer), &cbData) !=
            ERROR_SUCCESS ||
        !IsTextType(type))
        return false;
    // The data need not be terminated nor of even length.
    const DWORD cch = (cbData < kLocationBytes ? cbData : kLocationBytes) / sizeof(wchar_t);
    DWORD length = 0;
    while (length < cch && buffer[length] != 0)
        ++length;
    buffer[length] = 0;
    return true;
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
