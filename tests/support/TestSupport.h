#pragma once

#include <windows.h>

#include "base/WideString.h"

#include <string>
#include <tuple>
#include <vector>

namespace testsupport {

// Where the tests write what the program reads, spelled out here rather than
// taken from the program, so that a wrong path in it shows.
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCacheKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProductsKey[] = L"SOFTWARE\\Classes\\Installer\\Products\\";

// The folder of the test executables and helper programs.
std::wstring ExeDir();
std::wstring TempPath(const std::wstring& name);
// Writes a file whole; with ftWrite, that last-write time.
bool WriteBytes(const std::wstring& path, const std::string& bytes, const FILETIME* ftWrite = NULL);

inline std::wstring Text(const CWideString& str)
{
    return str.GetText() != NULL ? str.GetText() : L"";
}

class CRegKey
{
public:
    CRegKey() : m_hKey(NULL) {}
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    LONG Create(HKEY root, const wchar_t* path, REGSAM extra = 0);
    LONG Open(HKEY root, const wchar_t* path, REGSAM access);
    void Close();
    HKEY Get() const { return m_hKey; }

    LONG SetString(const wchar_t* name, const wchar_t* text, DWORD type = REG_SZ);

private:
    HKEY m_hKey;
};

// The process's exit code after a bounded wait, or the error that kept it
// from starting.
DWORD RunAndWait(std::wstring commandLine, DWORD timeoutMs = 120000);

// Read from Wine's setting (scripts/testenv), not through the code under test.
bool PrefixReportsWindows2000();

// Deletes a key and everything below it in one view (extra), if it is there.
void DeleteTree(HKEY root, const wchar_t* path, REGSAM extra = 0);

// Keys a test has written, deleted with everything below them at the end.
class CWrittenKeys
{
public:
    CWrittenKeys() = default;
    ~CWrittenKeys();
    CWrittenKeys(const CWrittenKeys&) = delete;
    CWrittenKeys& operator=(const CWrittenKeys&) = delete;

    void Add(HKEY root, const std::wstring& path, REGSAM extra = 0);
    // Creates the key, adds it, and sets one value byte for byte.
    LONG Set(HKEY root, const std::wstring& path, REGSAM extra, const wchar_t* name, DWORD type,
             const void* data, DWORD cb);

private:
    std::vector<std::tuple<HKEY, std::wstring, REGSAM>> m_keys;
};

}  // namespace testsupport
