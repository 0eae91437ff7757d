#pragma once

#include <stdarg.h>
#include <wchar.h>

// Allocators a CWideString can take its buffer from.
enum
{
    STRALLOC_HEAP = 1,     // operator new / operator delete
    STRALLOC_TASKMEM = 2,  // CoTaskMemAlloc / CoTaskMemFree
};

// The program's growable wide-character string. A value type with deep
// copies; an empty string normally holds no buffer, and GetText() is then null.
// Capacities follow a fixed schedule: 16, 32, 64, 128, 256, 512 characters,
// then exactly one more than requested.
class CWideString
{
public:
    explicit CWideString(int policy = STRALLOC_HEAP);
    CWideString(const CWideString& other, int policy = STRALLOC_HEAP);
    CWideString(const wchar_t* text, int policy = STRALLOC_HEAP);
    virtual ~CWideString();

    int GetLength(bool includeTerminator = false) const;
    bool IsEmpty() const { return m_nLength == 0; }
    wchar_t GetAt(int index) const;
    const wchar_t* GetText() const { return m_pData; }
    int CompareNoCase(const CWideString& other) const;
    int Find(wchar_t ch, int start = 0) const;
    CWideString Mid(int start, int count = -1) const;
    CWideString Left(int count) const;

    CWideString& operator=(const CWideString& other);
    CWideString& operator=(const wchar_t* text);
    CWideString& operator=(wchar_t ch);
    CWideString& operator+=(const CWideString& other);
    CWideString& operator+=(const wchar_t* text);
    CWideString& operator+=(wchar_t ch);
    CWideString& TrimRight(wchar_t ch);

    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);

    wchar_t* GetBuffer(int minCapacity);
    void ReleaseBuffer(int length = -1);
    void Reserve(int capacity);
    void Free();

    // For tests.
    int GetCapacity() const { return m_nCapacity; }

private:
    bool IsInBuffer(const wchar_t* p) const;
    void AssignChars(const wchar_t* pText, int nCount);
    void AppendChars(const wchar_t* pText, int nCount);
    void ReserveKeepingText(int capacity);
    void TakeBuffer(CWideString& other);

    wchar_t* m_pData;
    int m_nCapacity;
    int m_nLength;
    int m_nAllocMode;
    int m_nAllocPolicy;
};
