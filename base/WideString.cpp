#include "base/WideString.h"

#include <windows.h>
#include <objbase.h>

#include <stdint.h>
#include <stdio.h>

#include <new>

namespace {

// Larger requests are refused like an exhausted heap: their byte size would
// not fit a 32-bit address space, and n + 1 must not overflow.
const int kMaxRequest = 0x3FFFFFFE;

const int kFormatStep = 256;
// _vsnwprintf answers -1 both for a short buffer and for a conversion it
// cannot do, so the growing attempts need a bound; no text of this program
// comes near it (a command line ends at 32767 characters).
const int kFormatLimit = 65536;

int ScheduledCapacity(int request)
{
    static const int s_anCapacities[] = {16, 32, 64, 128, 256, 512};
    for (int nCapacity : s_anCapacities) {
        if (nCapacity > request)
            return nCapacity;
    }
    return request + 1;
}

// A heap copy of some characters, kept while the string's own buffer is
// replaced. Always taken from operator new, whatever the string's policy.
class CSavedText
{
public:
    CSavedText(const wchar_t* pText, int nCount)
        : m_pText(nCount > 0 ? static_cast<wchar_t*>(::operator new(nCount * sizeof(wchar_t)))
                             : NULL)
    {
        if (m_pText != NULL)
            wmemcpy(m_pText, pText, nCount);
    }
    ~CSavedText() { ::operator delete(m_pText); }
    CSavedText(const CSavedText&) = delete;
    CSavedText& operator=(const CSavedText&) = delete;

    const wchar_t* Get() const { return m_pText; }

private:
    wchar_t* m_pText;
};

int FormatAttempt(wchar_t* pBuffer, int nLimit, const wchar_t* format, va_list args)
{
    va_list attempt;
    va_copy(attempt, args);
    int nResult = _vsnwprintf(pBuffer, nLimit, format, attempt);
    va_end(attempt);
    return nResult;
}

// A result of exactly nLimit characters left no room for its terminator.
bool FitsWithTerminator(int nResult, int nLimit)
{
    return nResult >= 0 && nResult < nLimit;
}

}  // namespace

CWideString::CWideString(int policy)
    : m_pData(NULL), m_nCapacity(0), m_nLength(0), m_nAllocMode(0), m_nAllocPolicy(policy)
{
}

CWideString::CWideString(const CWideString& other, int policy) : CWideString(policy)
{
    *this = other;
}

CWideString::CWideString(const wchar_t* text, int policy) : CWideString(policy)
{
    *this = text;
}

CWideString::~CWideString()
{
    Free();
}

int CWideString::GetLength(bool includeTerminator) const
{
    if (m_pData == NULL)
        return 0;
    return includeTerminator ? m_nLength + 1 : m_nLength;
}

wchar_t CWideString::GetAt(int index) const
{
    if (index < 0 || index >= m_nLength)
        return 0;
    return m_pData[index];
}

int CWideString::CompareNoCase(const CWideString& other) const
{
    return lstrcmpiW(m_pData, other.m_pData);
}

int CWideString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start >= m_nLength)
        return -1;
    const wchar_t* pFound = wcschr(m_pData + start, ch);
    return pFound != NULL ? static_cast<int>(pFound - m_pData) : -1;
}

CWideString CWideString::Mid(int start, int count) const
{
    CWideString result(STRALLOC_HEAP);
    if (start < 0)
        start = 0;
    if (start >= m_nLength || count < -1)
        return result;
    if (count == -1 || count > m_nLength - start)
        count = m_nLength - start;
    result.AssignChars(m_pData + start, count);
    return result;
}

CWideString CWideString::Left(int count) const
{
    if (count >= m_nLength)
        return CWideString(*this, STRALLOC_HEAP);
    CWideString result(STRALLOC_HEAP);
    if (count > 0)
        result.AssignChars(m_pData, count);
    return result;
}

CWideString& CWideString::operator=(const CWideString& other)
{
    AssignChars(other.m_pData, other.m_nLength);
    return *this;
}

CWideString& CWideString::operator=(const wchar_t* text)
{
    AssignChars(text, text != NULL ? lstrlenW(text) : 0);
    return *this;
}

CWideString& CWideString::operator=(wchar_t ch)
{
    AssignChars(&ch, ch != 0 ? 1 : 0);
    return *this;
}

CWideString& CWideString::operator+=(const CWideString& other)
{
    AppendChars(other.m_pData, other.m_nLength);
    return *this;
}

CWideString& CWideString::operator+=(const wchar_t* text)
{
    AppendChars(text, text != NULL ? lstrlenW(text) : 0);
    return *this;
}

CWideString& CWideString::operator+=(wchar_t ch)
{
    AppendChars(&ch, ch != 0 ? 1 : 0);
    return *this;
}

CWideString& CWideString::TrimRight(wchar_t ch)
{
    if (m_nLength == 0 || ch == 0)
        return *this;
    int nLength = m_nLength;
    while (nLength > 0 && m_pData[nLength - 1] == ch)
        --nLength;
    if (nLength != m_nLength) {
        m_pData[nLength] = 0;
        m_nLength = nLength;
    }
    return *this;
}

void CWideString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CWideString::FormatV(const wchar_t* format, va_list args)
{
    if (format == NULL) {
        Free();
        return;
    }
    wchar_t local[kFormatStep];
    if (FitsWithTerminator(FormatAttempt(local, kFormatStep, format, args), kFormatStep)) {
        *this = local;
        return;
    }

    // Formatted into a string of its own: an argument may be this string's
    // text, which growing this string's buffer would release.
    CWideString result(m_nAllocPolicy);
    for (int nLimit = 2 * kFormatStep; nLimit <= kFormatLimit; nLimit += kFormatStep) {
        wchar_t* pBuffer = result.GetBuffer(nLimit);
        if (!FitsWithTerminator(FormatAttempt(pBuffer, nLimit, format, args), nLimit))
            continue;
        result.ReleaseBuffer(-1);
        if (nLimit <= m_nCapacity) {
            // This buffer would have taken the attempt itself.
            wmemcpy(m_pData, result.m_pData, result.m_nLength + 1);
            m_nLength = result.m_nLength;
        } else {
            TakeBuffer(result);
        }
        return;
    }
    Free();
}

wchar_t* CWideString::GetBuffer(int minCapacity)
{
    if (minCapacity > m_nCapacity)
        ReserveKeepingText(minCapacity);
    return m_pData;
}

void CWideString::ReleaseBuffer(int length)
{
    if (m_pData == NULL)
        return;
    if (length < 0) {
        // Bounded by the buffer: the caller may have left it unterminated.
        length = 0;
        while (length < m_nCapacity && m_pData[length] != 0)
            ++length;
    }
    if (length >= m_nCapacity)
        length = m_nCapacity - 1;
    m_nLength = length;
    m_pData[m_nLength] = 0;
}

void CWideString::Reserve(int capacity)
{
    if (capacity <= m_nCapacity)
        return;
    Free();
    if (capacity > kMaxRequest)
        throw std::bad_alloc();
    const int nCapacity = ScheduledCapacity(capacity);
    const size_t cb = static_cast<size_t>(nCapacity) * sizeof(wchar_t);
    if (m_nAllocPolicy == STRALLOC_TASKMEM) {
        void* pData = CoTaskMemAlloc(cb);
        if (pData == NULL)
            throw std::bad_alloc();
        m_pData = static_cast<wchar_t*>(pData);
        m_nAllocMode = STRALLOC_TASKMEM;
    } else {
        m_pData = static_cast<wchar_t*>(::operator new(cb));
        m_nAllocMode = STRALLOC_HEAP;
    }
    m_nCapacity = nCapacity;
}

void CWideString::Free()
{
    if (m_pData != NULL) {
        if (m_nAllocMode == STRALLOC_TASKMEM)
            CoTaskMemFree(m_pData);
        else
            ::operator delete(m_pData);
        m_pData = NULL;
    }
    m_nAllocMode = 0;
    m_nCapacity = 0;
    m_nLength = 0;
}

bool CWideString::IsInBuffer(const wchar_t* p) const
{
    if (m_pData == NULL || p == NULL)
        return false;
    const uintptr_t nAt = reinterpret_cast<uintptr_t>(p);
    const uintptr_t nBegin = reinterpret_cast<uintptr_t>(m_pData);
    return nAt >= nBegin && nAt < nBegin + m_nCapacity * sizeof(wchar_t);
}

void CWideString::AssignChars(const wchar_t* pText, int nCount)
{
    if (nCount <= 0) {
        Free();
        return;
    }
    // A source inside the buffer ends at its terminator, so it always fits
    // and Reserve keeps it; it may overlap the destination, though.
    Reserve(nCount + 1);
    wmemmove(m_pData, pText, nCount);
    m_nLength = nCount;
    m_pData[m_nLength] = 0;
}

void CWideString::AppendChars(const wchar_t* pText, int nCount)
{
    if (nCount <= 0)
        return;
    if (m_nLength + nCount + 1 <= m_nCapacity) {
        wmemmove(m_pData + m_nLength, pText, nCount);
        m_nLength += nCount;
        m_pData[m_nLength] = 0;
        return;
    }
    // A source inside the buffer must outlive the release in Reserve.
    const bool bAliased = IsInBuffer(pText);
    const CSavedText source(pText, bAliased ? nCount : 0);
    if (bAliased)
        pText = source.Get();
    const int nOldLength = m_nLength;
    ReserveKeepingText(nOldLength + nCount + 1);
    wmemcpy(m_pData + nOldLength, pText, nCount);
    m_nLength = nOldLength + nCount;
    m_pData[m_nLength] = 0;
}

void CWideString::ReserveKeepingText(int capacity)
{
    // Reserve releases before it obtains, so the text is saved first.
    const int nLength = m_nLength;
    const CSavedText saved(m_pData, nLength);
    Reserve(capacity);
    if (nLength > 0)
        wmemcpy(m_pData, saved.Get(), nLength);
    m_nLength = nLength;
    m_pData[m_nLength] = 0;
}

void CWideString::TakeBuffer(CWideString& other)
{
    Free();
    m_pData = other.m_pData;
    m_nCapacity = other.m_nCapacity;
    m_nLength = other.m_nLength;
    m_nAllocMode = other.m_nAllocMode;
    other.m_pData = NULL;
    other.Free();
}
