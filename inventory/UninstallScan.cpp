#include "inventory/UninstallScan.h"

#include "inventory/IconSources.h"
#include "inventory/ProductCode.h"
#include "inventory/RegistryKey.h"
#include "inventory/RegistryViews.h"

const wchar_t kUninstallKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

const DWORD kValueBytes = 1024;
const DWORD kValueChars = kValueBytes / sizeof(wchar_t);

// The text of a string value. Text that would leave no room for a
// terminator counts as too long, as larger data does.
bool QueryText(const CRegistryKey& key, const wchar_t* valueName,
               wchar_t (&buffer)[kValueChars], CWideString& str)
{
    DWORD type = REG_NONE;
    DWORD cb = kValueBytes;
    if (key.QueryValue(valueName, &type, buffer, &cb) != ERROR_SUCCESS || !IsTextType(type))
        return false;
    const DWORD length = TextLength(buffer, cb, kValueBytes);
    if (length == kValueChars)
        return false;
    buffer[length] = 0;
    str = buffer;
    return true;
}

// The command, by the first rule that gives one: UninstallString (settled
// even when empty), QuietUninstallString, or msiexec for a product code.
bool ReadCommand(const CRegistryKey& key, wchar_t (&buffer)[kValueChars], UninstallEntry& entry)
{
    if (QueryText(key, L"UninstallString", buffer, entry.strUninstallString) ||
        QueryText(key, L"QuietUninstallString", buffer, entry.strUninstallString))
        return !entry.strUninstallString.IsEmpty();
    if (!IsProductCode(entry.strKeyName))
        return false;
    entry.strUninstallString.Format(L"msiexec.exe /x %s", entry.strKeyName.GetText());
    return true;
}

}  // namespace

struct CUninstallKeyCache::Key
{
    const CWideString& Name() const { return entry.strKeyName; }

    FILETIME ftWrite;  // of the key when its values were read
    bool bListed;      // it has a command
    int nParent;       // ParentKeyName: -1 not asked yet, 0 absent, 1 present
    UninstallEntry entry;
};

CUninstallKeyCache::CUninstallKeyCache() : m_root(NULL), m_b64BitView(false) {}

CUninstallKeyCache::~CUninstallKeyCache() {}

void CUninstallKeyCache::Scan(HKEY root, bool b64BitView, bool bShowUpdates,
                              std::vector<const UninstallEntry*>& entries)
{
    if (root != m_root || b64BitView != m_b64BitView) {
        m_keys.Clear();
        m_root = root;
        m_b64BitView = b64BitView;
    }
    const REGSAM sam = ViewAccessMask(b64BitView);
    CRegistryKey uninstallKey;
    if (uninstallKey.Open(root, kUninstallKeyPath, sam) != ERROR_SUCCESS) {
        m_keys.Clear();
        return;
    }

    // One buffer for the whole scan.
    wchar_t value[kValueChars];
    wchar_t location[kIconTextChars];
    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    m_keys.Enumerate(uninstallKey, [&](const wchar_t* pszName, const FILETIME& ftWrite,
                                       std::unique_ptr<Key>& key) {
        const bool bFresh = key && CompareFileTime(&key->ftWrite, &ftWrite) == 0;
        if (!bFresh || (!bShowUpdates && key->nParent < 0)) {
            CRegistryKey entryKey;
            if (entryKey.Open(uninstallKey.Get(), pszName, sam) != ERROR_SUCCESS)
                return false;
            if (!bFresh) {
                if (!key)
                    key.reset(new Key);
                key->ftWrite = TrustedTime(ftWrite, ftNow);
                key->nParent = -1;
                UninstallEntry& entry = key->entry;
                entry.strKeyName = pszName;
                entry.b64BitView = b64BitView;
                entry.bDisplayIcon = false;
                entry.strDisplayIcon.Free();
                // The command decides whether there is a row at all, so the
                // display name and icon are only read for entries that get one.
                key->bListed = ReadCommand(entryKey, value, entry);
                if (key->bListed) {
                    if (!QueryText(entryKey, L"DisplayName", value, entry.strDisplayName))
                        entry.strDisplayName = entry.strKeyName;
                    const wchar_t* pszIcon = NULL;
                    entry.bDisplayIcon = ReadIconSource(entryKey.Get(), kDisplayIcon, location, &pszIcon);
                    if (entry.bDisplayIcon)
                        entry.strDisplayIcon = pszIcon;
                }
            }
            if (!bShowUpdates && key->nParent < 0)
                key->nParent = entryKey.QueryValue(L"ParentKeyName", NULL, NULL, NULL) == ERROR_SUCCESS;
        }
        if (key->bListed && (bShowUpdates || key->nParent == 0))
            entries.push_back(&key->entry);
        return true;
    });
}

SubkeyMatch CUninstallKeyCache::Contains(const wchar_t* pszName)
{
    Key* pKey = NULL;
    return m_keys.Find(pszName, &pKey);
}
