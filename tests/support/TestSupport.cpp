#include "support/TestSupport.h"

namespace testsupport {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring dir(path, n);
    size_t slash = dir.find_last_of(L'\\');
    return slash == std::wstring::npos ? dir : dir.substr(0, slash);
}

std::wstring TempPath(const std::wstring& name)
{
    wchar_t dir[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir, n) + name;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes, const FILETIME* ftWrite)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    bool bWritten = WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, NULL) &&
                    cbWritten == bytes.size();
    if (ftWrite != NULL)
        bWritten = SetFileTime(hFile, NULL, NULL, ftWrite) && bWritten;
    CloseHandle(hFile);
    return bWritten;
}

LONG CRegKey::Create(HKEY root, const wchar_t* path, REGSAM extra)
{
    Close();
    return RegCreateKeyExW(root, path, 0, NULL, 0, KEY_ALL_ACCESS | extra, NULL, &m_hKey, NULL);
}

LONG CRegKey::Open(HKEY root, const wchar_t* path, REGSAM access)
{
    Close();
    return RegOpenKeyExW(root, path, 0, access, &m_hKey);
}

void CRegKey::Close()
{
    if (m_hKey != NULL) {
        RegCloseKey(m_hKey);
        m_hKey = NULL;
    }
}

LONG CRegKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD cb)
{
    return RegSetValueExW(m_hKey, name, 0, type, static_cast<const BYTE*>(data), cb);
}

LONG CRegKey::SetString(const wchar_t* name, const wchar_t* text, DWORD type)
{
    DWORD cb = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t));
    return SetRaw(name, type, text, cb);
}

DWORD RunAndWait(std::wstring commandLine, DWORD timeoutMs)
{
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    commandLine.push_back(0);
    if (!CreateProcessW(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return GetLastError();
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, timeoutMs);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return code;
}

bool PrefixReportsWindows2000()
{
    // Read where Wine takes it from, not through the code under test.
    wchar_t version[32] = {};
    DWORD cb = sizeof(version) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, L"Software\\Wine", KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), L"Version", NULL, &type, reinterpret_cast<BYTE*>(version),
                         &cb) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    return lstrcmpiW(version, L"win2k") == 0;
}

void DeleteTree(HKEY parent, const wchar_t* name, REGSAM extra)
{
    HKEY hKey;
    if (RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS | extra, &hKey) != ERROR_SUCCESS)
        return;
    for (;;) {
        wchar_t child[256];
        DWORD cch = 256;
        if (RegEnumKeyExW(hKey, 0, child, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        DeleteTree(hKey, child, extra);
    }
    RegCloseKey(hKey);
    // RegDeleteKeyExW is not on Windows 2000: a view-less delete suffices
    // there, and elsewhere the view comes from the parent opened with it.
    typedef LONG(WINAPI * RegDeleteKeyExFn)(HKEY, LPCWSTR, REGSAM, DWORD);
    RegDeleteKeyExFn pDelete = reinterpret_cast<RegDeleteKeyExFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    if (pDelete != NULL)
        pDelete(parent, name, extra, 0);
    else
        RegDeleteKeyW(parent, name);
}

CWrittenKeys::~CWrittenKeys()
{
    for (const Key& key : m_keys)
        DeleteTree(key.root, key.path.c_str(), key.extra);
}

void CWrittenKeys::Add(HKEY root, const std::wstring& path, REGSAM extra)
{
    // Set adds its key once per value.
    for (const Key& key : m_keys) {
        if (key.root == root && key.extra == extra && key.path == path)
            return;
    }
    m_keys.push_back({root, path, extra});
}

LONG CWrittenKeys::Set(HKEY root, const std::wstring& path, REGSAM extra, const wchar_t* name, DWORD type,
                       const void* data, DWORD cb)
{
    Add(root, path, extra);
    CRegKey key;
    const LONG result = key.Create(root, path.c_str(), extra);
    return result != ERROR_SUCCESS ? result : key.SetRaw(name, type, data, cb);
}

}  // namespace testsupport
