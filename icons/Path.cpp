#include "icons/Path.h"

#include <windows.h>

#include <memory>
#include <new>

namespace {

const int kMaxNameLength = 260;
const int kMaxServerLength = 64;

bool HasLengthWithin(const wchar_t* name, int nMax)
{
    if (name == NULL)
        return false;
    int n = lstrlenW(name);
    return n >= 1 && n <= nMax;
}

template <class TComponent>
std::unique_ptr<CPathComponent> MakeComponent(const CWideString& name)
{
    TComponent* pComponent = new (std::nothrow) TComponent;
    if (pComponent == NULL)
        throw CPathException(CPathException::outOfMemory);
    std::unique_ptr<CPathComponent> owner(pComponent);
    pComponent->SetName(name);
    return owner;
}

}  // namespace

CPathComponent& CPathComponent::SetName(const wchar_t* name)
{
    return SetName(CWideString(name));
}

CPathComponent& CPathComponent::SetName(const CWideString& name)
{
    SetCheckedName(name, IsValidName);
    return *this;
}

void CPathComponent::SetCheckedName(const CWideString& name, NameRule rule)
{
    if (!name.IsEmpty() && !rule(name.GetText()))
        throw CPathException(CPathException::invalidComponent);
    m_strName = name;
}

bool CPathComponent::IsValidName(const wchar_t* name)
{
    if (!HasLengthWithin(name, kMaxNameLength))
        return false;
    if (wcspbrk(name, L"\"\\/|<>") != NULL)
        return false;
    const wchar_t* colon = wcschr(name, L':');
    // A colon is only the drive form: one character, then the colon.
    return colon == NULL || (colon == name + 1 && name[2] == 0);
}

CPathServerComponent& CPathServerComponent::SetName(const wchar_t* name)
{
    return SetName(CWideString(name));
}

CPathServerComponent& CPathServerComponent::SetName(const CWideString& name)
{
    SetCheckedName(name, IsValidServerName);
    return *this;
}

bool CPathServerComponent::IsValidServerName(const wchar_t* name)
{
    return HasLengthWithin(name, kMaxServerLength) &&
           wcspbrk(name, L"\"\\/[]:;|=,+*?<>") == NULL;
}

CPath::CPath() : m_bUNC(false), m_bDrive(false), m_bRooted(false), m_bRelative(false) {}

CPath::~CPath() {}

void CPath::Reset()
{
    m_bUNC = false;
    m_bDrive = false;
    m_bRooted = false;
    m_bRelative = false;
    m_components.clear();
}

bool CPath::Parse(const wchar_t* text, CPathException* error)
{
    try {
        CWideString strText(text);
        return Parse(strText, error);
    } catch (...) {
        Reset();
        if (error != NULL)
            error->m_nCode = CPathException::otherError;
        return false;
    }
}

bool CPath::Parse(const CWideString& text, CPathException* error)
{
    int nCode = CPathException::otherError;
    try {
        DoParse(text);
        return true;
    } catch (const CPathException& e) {
        nCode = e.m_nCode;
    } catch (...) {
    }
    Reset();
    if (error != NULL)
        error->m_nCode = nCode;
    return false;
}

void CPath::DoParse(const CWideString& text)
{
    Reset();
    const int n = text.GetLength();
    if (n == 0)
        return;

    // GetAt answers 0 past the end, so a short text compares nothing beyond it.
    const wchar_t c0 = text.GetAt(0);
    const wchar_t c1 = text.GetAt(1);
    const wchar_t c2 = text.GetAt(2);
    const bool bTwoBackslashes = c0 == L'\\' && c1 == L'\\';
    const bool bDriveRoot = c1 == L':' && c2 == L'\\';
    m_bUNC = bTwoBackslashes;
    m_bDrive = c1 == L':';
    m_bRooted = c0 == L'\\' || bDriveRoot;
    m_bRelative = !bTwoBackslashes && !bDriveRoot;

    try {
        int p = 0;
        while (p < n && text.GetAt(p) == L'\\')
            ++p;
        for (;;) {
            int nSeparator = text.Find(L'\\', p);
            int nEnd = nSeparator < 0 ? n : nSeparator;
            AppendComponent(text.Mid(p, nEnd - p), m_bUNC && m_components.empty());
            if (nSeparator < 0)
                break;
            p = nSeparator + 1;
            if (p >= n)
                break;  // one trailing backslash is dropped
        }
    } catch (...) {
        Reset();
        throw;
    }
}

void CPath::AppendComponent(const CWideString& name, bool bServer)
{
    std::unique_ptr<CPathComponent> component =
        bServer ? MakeComponent<CPathServerComponent>(name) : MakeComponent<CPathComponent>(name);
    // Empty names come from doubled backslashes or a text of backslashes only.
    if (component->GetName().IsEmpty())
        throw CPathException(CPathException::invalidComponent);
    m_components.push_back(*component);
}

CWideString CPath::ToString() const
{
    CWideString strResult;
    if (m_components.empty())
        return strResult;
    // Out of memory while rendering gives no text rather than an exception
    // that would cross the window's message handling.
    try {
        if (m_bUNC)
            strResult = L"\\\\";
        else if (m_bRooted && !m_bDrive)
            strResult = L"\\";
        for (const CPathComponent& component : m_components) {
            strResult += component.GetName();
            strResult += L'\\';
        }
        if (!(m_bDrive && m_bRooted && m_components.size() == 1))
            strResult.TrimRight(L'\\');
    } catch (...) {
        strResult.Free();
    }
    return strResult;
}
