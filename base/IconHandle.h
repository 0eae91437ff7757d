#pragma once

#include <windows.h>

// Owns one icon that DestroyIcon releases (loaded without LR_SHARED, or
// made); NULL means none.
class CIconHandle
{
public:
    explicit CIconHandle(HICON h = NULL) : m_h(h) {}
    ~CIconHandle()
    {
        if (m_h != NULL)
            DestroyIcon(m_h);
    }
    CIconHandle(const CIconHandle&) = delete;
    CIconHandle& operator=(const CIconHandle&) = delete;
    CIconHandle(CIconHandle&& other) noexcept : m_h(other.m_h) { other.m_h = NULL; }
    CIconHandle& operator=(CIconHandle&& other) noexcept
    {
        if (this != &other) {
            Attach(other.m_h);
            other.m_h = NULL;
        }
        return *this;
    }

    // Destroys the icon held before, if any.
    void Attach(HICON h)
    {
        if (m_h != NULL)
            DestroyIcon(m_h);
        m_h = h;
    }
    HICON Get() const { return m_h; }
    operator HICON() const { return m_h; }

private:
    HICON m_h;
};
