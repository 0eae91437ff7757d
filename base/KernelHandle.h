#pragma once

#include <windows.h>

// Owns one kernel handle (process, thread, event, job, port); NULL means none.
// Not for file handles, whose "none" is INVALID_HANDLE_VALUE.
class CKernelHandle
{
public:
    CKernelHandle() : m_h(NULL) {}
    explicit CKernelHandle(HANDLE h) : m_h(h) {}
    ~CKernelHandle() { Close(); }
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;

    void Attach(HANDLE h)
    {
        Close();
        m_h = h;
    }
    bool Close()
    {
        if (m_h == NULL)
            return true;
        BOOL bClosed = CloseHandle(m_h);
        m_h = NULL;
        return bClosed != FALSE;
    }
    HANDLE Get() const { return m_h; }
    operator HANDLE() const { return m_h; }

private:
    HANDLE m_h;
};
