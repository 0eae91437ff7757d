#include "support/TestSupport.h"

#include <algorithm>

namespace testsupport {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    const std::wstring dir(path, GetModuleFileNameW(NULL, path, MAX_PATH));
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring TempPath(const std::wstring& name)
{
    wchar_t dir[MAX_PATH];
    return std::wstring(dir, GetTempPathW(MAX_PATH, dir)) + name;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes, const FILETIME* ftWrite)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const bool bWritten = WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, NULL) &&
                          cbWritten == bytes.size() && (ftWrite == NULL || SetFileTime(hFile, NULL, NULL, ftWrite));
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
    if (m_hKey != NULL)
        RegCloseKey(m_hKey);
    m_hKey = NULL;
}

LONG CRegKey::SetString(const wchar_t* name, const wchar_t* text, DWORD type)
{
    return RegSetValueExW(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
}

DWORD RunAndWait(std::wstring commandLine, DWORD timeoutMs)
{
    STARTUPINFOW si = {};
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
    wchar_t version[32] = {};
    DWORD cb = sizeof(version) - sizeof(wchar_t), type = REG_NONE;
    CRegKey key;
    return key.Open(HKEY_CURRENT_USER, L"Software\\Wine", KEY_QUERY_VALUE) == ERROR_SUCCESS &&
           RegQueryValueExW(key.Get(), L"Version", NULL, &type, reinterpret_cast<BYTE*>(version), &cb) ==
               ERROR_SUCCESS &&
           type == REG_SZ && lstrcmpiW(version, L"win2k") == 0;
}

void DeleteTree(HKEY parent, const wchar_t* name, REGSAM extra)
{
    CRegKey key;
    if (key.Open(parent, name, KEY_ALL_ACCESS | extra) != ERROR_SUCCESS)
        return;
    wchar_t child[256];
    for (DWORD cch = 256; RegEnumKeyExW(key.Get(), 0, child, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; cch = 256)
        DeleteTree(key.Get(), child, extra);
    key.Close();
    RegDeleteKeyExW(parent, name, extra, 0);
}

CWrittenKeys::~CWrittenKeys()
{
    for (const auto& [root, path, extra] : m_keys)
        DeleteTree(root, path.c_str(), extra);
}

void CWrittenKeys::Add(HKEY root, const std::wstring& path, REGSAM extra)
{
    if (std::find(m_keys.begin(), m_keys.end(), std::make_tuple(root, path, extra)) == m_keys.end())
        m_keys.emplace_back(root, path, extra);
}

LONG CWrittenKeys::Set(HKEY root, const std::wstring& path, REGSAM extra, const wchar_t* name, DWORD type,
                       const void* data, DWORD cb)
{
    Add(root, path, extra);
    CRegKey key;
    const LONG result = key.Create(root, path.c_str(), extra);
    return result != ERROR_SUCCESS ? result : RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), cb);
}

}  // namespace testsupport
