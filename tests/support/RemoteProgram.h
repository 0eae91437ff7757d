#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Drives a running Vantix.exe from the outside, the way a user would: finds
// its window, reads its list rows and sends it real messages.

namespace testsupport {

class CRemoteProgram
{
public:
    CRemoteProgram();
    ~CRemoteProgram();
    CRemoteProgram(const CRemoteProgram&) = delete;
    CRemoteProgram& operator=(const CRemoteProgram&) = delete;

    // Starts the program with the given arguments and waits (bounded) until
    // its window exists and has filled its list once.
    bool Start(const std::wstring& exePath, const std::wstring& arguments = L"");

    HWND Window() const { return m_hwnd; }
    HWND Control(int nID) const { return GetDlgItem(m_hwnd, nID); }
    HANDLE Process() const { return m_hProcess; }

    int RowCount() const;
    std::wstring RowText(int nRow, int nColumn) const;
    // Row index of the first row whose column 0 equals name, or -1.
    int FindRow(const std::wstring& name) const;
    bool SelectRow(int nRow) const;
    // Image-list index of the row's icon; -2 when it cannot be read.
    int RowImage(int nRow) const;
    int SelectedRow() const;
    // The header item's format bits (HDF_*), or -1 when they cannot be read.
    int HeaderFormat(int nColumn) const;
    // A real mouse click on the header item, as the header control sees one.
    bool ClickHeader(int nColumn) const;

    // Waits, pumping nothing of ours, until pred() holds; false after timeoutMs.
    template <class Pred>
    static bool WaitFor(Pred pred, DWORD timeoutMs = 20000)
    {
        DWORD start = GetTickCount();
        while (!pred()) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(50);
        }
        return true;
    }

    // Waits for the process to end; true when it did within timeoutMs.
    bool WaitForExit(DWORD timeoutMs);

private:
    void* RemoteAlloc(SIZE_T cb) const;

    HANDLE m_hProcess;
    DWORD m_dwProcessId;
    HWND m_hwnd;
    void* m_pRemote;
};

}  // namespace testsupport
