#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

// Drives a running Vantix.exe from the outside, the way a user would.

namespace testsupport {

class CRemoteProgram
{
public:
    CRemoteProgram() = default;
    ~CRemoteProgram();  // closes the program, or ends it, if still running
    CRemoteProgram(const CRemoteProgram&) = delete;
    CRemoteProgram& operator=(const CRemoteProgram&) = delete;

    // Starts the program; false unless its window has filled its list in time.
    bool Start(const std::wstring& exePath, const std::wstring& arguments = L"");

    HWND Window() const { return m_hwnd; }
    HWND Control(int nID) const { return GetDlgItem(m_hwnd, nID); }
    HANDLE Process() const { return m_hProcess; }

    int RowCount() const { return static_cast<int>(SendMessageW(Control(1000), LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring RowText(int nRow, int nColumn) const;
    // The first row whose name is that, or -1.
    int FindRow(const std::wstring& name) const;
    bool SelectRow(int nRow) const;
    // The row's image-list index; -2 when it cannot be read.
    int RowImage(int nRow) const;
    int SelectedRow() const
    {
        return static_cast<int>(SendMessageW(Control(1000), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    // The header item's HDF_* bits, or -1 when they cannot be read.
    int HeaderFormat(int nColumn) const;
    // A real mouse click on the header item.
    bool ClickHeader(int nColumn) const;

    // Polls until pred() holds; false after timeoutMs.
    template <class Pred>
    static bool WaitFor(Pred pred, DWORD timeoutMs = 20000)
    {
        const DWORD dwStart = GetTickCount();
        while (!pred()) {
            if (GetTickCount() - dwStart > timeoutMs)
                return false;
            Sleep(50);
        }
        return true;
    }

    bool WaitForExit(DWORD timeoutMs) { return WaitForSingleObject(m_hProcess, timeoutMs) == WAIT_OBJECT_0; }

private:
    // Sends a message whose lParam points to a copy of pData in the program's
    // memory, and reads the copy back.
    bool Exchange(HWND hTo, UINT message, WPARAM wParam, void* pData, SIZE_T cb) const;

    HANDLE m_hProcess = NULL;
    DWORD m_dwProcessId = 0;
    HWND m_hwnd = NULL;
    void* m_pRemote = NULL;
};

}  // namespace testsupport
