#include "uninstall/CommandLine.h"

#include <wchar.h>

namespace {

bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}

const wchar_t* SkipBlanks(const wchar_t* p)
{
    while (IsBlank(*p))
        ++p;
    return p;
}

bool IsFolderMark(wchar_t ch)
{
    return ch == L'\\' || ch == L'/' || ch == L':';
}

// CreateProcessW adds ".exe" to a program name without an extension.
CWideString WithExeExtension(const CWideString& name)
{
    CWideString result(name);
    bool bExtension = false;
    for (int i = 0; i < name.GetLength(); ++i) {
        if (IsFolderMark(name.GetAt(i)))
            bExtension = false;
        else if (name.GetAt(i) == L'.')
            bExtension = true;
    }
    if (!bExtension)
        result += L".exe";
    return result;
}

bool IsFile(const CWideString& path)
{
    const DWORD attributes = path.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.GetText());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// "X:\..." or "\\server\...": a PATH entry that does not depend on the
// current folder.
bool IsAbsoluteFolder(const CWideString& folder)
{
    return (folder.GetAt(1) == L':' && (folder.GetAt(2) == L'\\' || folder.GetAt(2) == L'/')) ||
           (folder.GetAt(0) == L'\\' && folder.GetAt(1) == L'\\');
}

void AppendFolder(CWideString& path, const CWideString& folder)
{
    if (!path.IsEmpty())
        path += L';';
    path += folder;
}

// The system folder, the Windows folder, then PATH's absolute folders.
CWideString SystemSearchPath()
{
    CWideString result;
    wchar_t folder[MAX_PATH];
    UINT cch = GetSystemDirectoryW(folder, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH)
        AppendFolder(result, folder);
    cch = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH)
        AppendFolder(result, folder);

    CWideString path;
    const DWORD cchPath = GetEnvironmentVariableW(L"PATH", NULL, 0);
    wchar_t* pBuffer = cchPath > 0 ? path.GetBuffer(static_cast<int>(cchPath)) : NULL;
    if (pBuffer == NULL || GetEnvironmentVariableW(L"PATH", pBuffer, cchPath) >= cchPath)
        return result;
    path.ReleaseBuffer(-1);
    for (int nStart = 0; nStart < path.GetLength();) {
        int nEnd = path.Find(L';', nStart);
        if (nEnd == -1)
            nEnd = path.GetLength();
        const CWideString entry = path.Mid(nStart, nEnd - nStart);
        if (IsAbsoluteFolder(entry))
            AppendFolder(result, entry);
        nStart = nEnd + 1;
    }
    return result;
}

}  // namespace

CCommandLine::CCommandLine(const CWideString& commandLine)
    : m_pszText(commandLine.GetText() != NULL ? commandLine.GetText() : L""), m_bQuoted(false), m_pszRest(NULL)
{
    const wchar_t* pszStart = SkipBlanks(m_pszText);
    const wchar_t* pszEnd = pszStart;
    m_bQuoted = *pszStart == L'"';
    if (m_bQuoted) {
        ++pszStart;
        pszEnd = wcschr(pszStart, L'"');
        if (pszEnd == NULL)
            pszEnd = pszStart + wcslen(pszStart);
    } else {
        while (*pszEnd != 0 && !IsBlank(*pszEnd))
            ++pszEnd;
    }
    m_strToken = CWideString(pszStart).Left(static_cast<int>(pszEnd - pszStart));
    m_pszRest = SkipBlanks(*pszEnd == L'"' ? pszEnd + 1 : pszEnd);
}

DWORD CCommandLine::FindApplication(CWideString& strPath) const
{
    strPath.Free();
    for (int i = 0; i < m_strToken.GetLength(); ++i) {
        if (IsFolderMark(m_strToken.GetAt(i)))
            return ERROR_SUCCESS;
    }
    const CWideString folders = SystemSearchPath();
    wchar_t found[MAX_PATH];
    const DWORD cch = m_strToken.IsEmpty() || folders.IsEmpty()
                          ? 0
                          : SearchPathW(folders.GetText(), m_strToken.GetText(), L".exe", MAX_PATH, found, NULL);
    if (cch == 0 || cch >= MAX_PATH)
        return ERROR_FILE_NOT_FOUND;
    strPath = found;
    return ERROR_SUCCESS;
}

void CCommandLine::SplitForShell(const CWideString& strApplication, CWideString& strFile,
                                 const wchar_t*& pszParameters) const
{
    strFile = strApplication.IsEmpty() ? WithExeExtension(m_strToken) : strApplication;
    pszParameters = m_pszRest;
    if (!strApplication.IsEmpty() || m_bQuoted)
        return;
    // An unquoted program path may hold blanks: CreateProcessW takes the
    // shortest run of tokens that names a file.
    const wchar_t* pszStart = SkipBlanks(m_pszText);
    for (const wchar_t* pszEnd = pszStart; *pszEnd != 0; ++pszEnd) {
        while (*pszEnd != 0 && !IsBlank(*pszEnd))
            ++pszEnd;
        const CWideString candidate =
            WithExeExtension(CWideString(pszStart).Left(static_cast<int>(pszEnd - pszStart)));
        if (IsFile(candidate)) {
            strFile = candidate;
            pszParameters = SkipBlanks(pszEnd);
            return;
        }
        if (*pszEnd == 0)
            return;
    }
}

bool IsInSystemFolder(const CWideString& path)
{
    wchar_t folder[MAX_PATH];
    const UINT cch = GetSystemDirectoryW(folder, MAX_PATH);
    return cch > 0 && cch < MAX_PATH && path.GetLength() > static_cast<int>(cch) && path.GetAt(cch) == L'\\' &&
           _wcsnicmp(path.GetText(), folder, cch) == 0;
}
