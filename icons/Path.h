#pragma once

#include "base/WideString.h"

#include <vector>

// The failure signal of the path model. Thrown by value inside the model
// only; the public parse operations turn it into a result.
class CPathException
{
public:
    enum
    {
        otherError = 0,        // an exception of another type was caught
        invalidComponent = 1,  // a name is empty or breaks its kind's rule
        outOfMemory = 2,       // a component object could not be allocated
    };

    explicit CPathException(int nCode = otherError) : m_nCode(nCode) {}
    CPathException(const CPathException&) = default;
    CPathException& operator=(const CPathException&) = default;
    virtual ~CPathException() {}

    int m_nCode;
};

// One name of a path, checked by the ordinary rule.
class CPathComponent
{
public:
    CPathComponent() {}
    CPathComponent(const CPathComponent&) = default;
    CPathComponent& operator=(const CPathComponent&) = default;
    virtual ~CPathComponent() {}

    // A non-empty name that breaks the rule throws CPathException.
    CPathComponent& SetName(const wchar_t* name);
    CPathComponent& SetName(const CWideString& name);
    const CWideString& GetName() const { return m_strName; }

    static bool IsValidName(const wchar_t* name);

protected:
    typedef bool (*NameRule)(const wchar_t* name);
    void SetCheckedName(const CWideString& name, NameRule rule);

    CWideString m_strName;
};

// The server name that opens a UNC path, checked by the stricter server rule.
class CPathServerComponent : public CPathComponent
{
public:
    CPathServerComponent& SetName(const wchar_t* name);
    CPathServerComponent& SetName(const CWideString& name);

    static bool IsValidServerName(const wchar_t* name);
};

// A file-system path held as validated names plus how its text began.
class CPath
{
public:
    CPath();
    virtual ~CPath();

    // Replace the content with the parsed text. On failure the path is left
    // empty, error (when given) receives the reason, and false comes back.
    bool Parse(const wchar_t* text, CPathException* error);
    bool Parse(const CWideString& text, CPathException* error);

    // The normalised text: one backslash between names, none at the end
    // except after a lone drive root. Empty when there are no names.
    CWideString ToString() const;
    int GetCount() const { return static_cast<int>(m_components.size()); }

    bool IsUNC() const { return m_bUNC; }
    bool HasDrive() const { return m_bDrive; }
    bool IsRooted() const { return m_bRooted; }
    bool IsRelative() const { return m_bRelative; }
    const CPathComponent& GetComponent(int index) const { return m_components[index]; }

private:
    void DoParse(const CWideString& text);
    void AppendComponent(const CWideString& name, bool bServer);
    void Reset();

    bool m_bUNC;
    bool m_bDrive;
    bool m_bRooted;
    bool m_bRelative;
    std::vector<CPathComponent> m_components;
};
