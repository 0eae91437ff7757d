#pragma once

#include <windows.h>

#include "base/WideString.h"

// A stored command line, read the way CreateProcessW reads it: its first
// token, quoted or up to the first blank, names the program. Borrows the
// string it is made from.
class CCommandLine
{
public:
    explicit CCommandLine(const CWideString& commandLine);

    // The whole line as stored; never null.
    const wchar_t* GetText() const { return m_pszText; }
    // The first token without its quotes.
    const CWideString& GetProgramToken() const { return m_strToken; }

    // The application name to hand CreateProcessW. A first token with a
    // folder or a drive is left to CreateProcessW: the path stays empty. A
    // bare file name is looked up, ".exe" added when it has none, in the
    // system folder, the Windows folder and PATH's absolute folders, never in
    // this program's folder or the current folder, where anybody may have put
    // a file of that name. ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND.
    DWORD FindApplication(CWideString& strPath) const;

    // The file and the parameters that the shell is given to start the same
    // program; strApplication is what FindApplication found.
    void SplitForShell(const CWideString& strApplication, CWideString& strFile,
                       const wchar_t*& pszParameters) const;

private:
    const wchar_t* m_pszText;
    CWideString m_strToken;
    bool m_bQuoted;
    const wchar_t* m_pszRest;  // after the token and the blanks that follow it
};

// True when the path names something inside the system folder.
bool IsInSystemFolder(const CWideString& path);
