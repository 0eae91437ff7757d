#pragma once

#include "base/FileTime.h"
#include "base/WideString.h"
#include "inventory/RegistryKey.h"

#include <windows.h>

#include <memory>
#include <vector>

enum SubkeyMatch
{
    kSubkeyAbsent,
    kSubkeyPresent,
    kSubkeyUnsure,  // ask the registry itself
};

// The subkeys of a key as the last enumeration found them, each with an item
// of the caller's type T (whose Name() is the subkey's name) that survives
// from one enumeration to the next while the subkey keeps its name. Lets a
// reader skip the keys whose last-write time is unchanged: a key's time
// changes whenever one of its values does.
template <class T>
class CSubkeyList
{
public:
    CSubkeyList() : m_nCursor(0), m_bIndexed(false), m_bNonAscii(false) {}
    CSubkeyList(const CSubkeyList&) = delete;
    CSubkeyList& operator=(const CSubkeyList&) = delete;

    // Enumerates key's subkeys with their last-write times. For each,
    // visit(name, ftWrite, item) gets the item of the same name from the last
    // enumeration or an empty pointer, and answers false to leave the subkey
    // out; the item it keeps must then bear the name. Subkeys that are gone
    // are dropped.
    template <class Visit>
    void Enumerate(const CRegistryKey& key, Visit visit)
    {
        const DWORD kNameChars = 512;
        wchar_t name[kNameChars];
        m_scanned.clear();
        m_nCursor = 0;
        for (DWORD index = 0;; ++index) {
            DWORD cchName = kNameChars;
            FILETIME ftWrite;
            if (key.EnumKey(index, name, &cchName, &ftWrite) != ERROR_SUCCESS)
                break;
            if (cchName >= kNameChars)
                cchName = kNameChars - 1;
            name[cchName] = 0;
            std::unique_ptr<T> item(Take(name, cchName));
            if (visit(static_cast<const wchar_t*>(name), ftWrite, item) && item)
                m_scanned.push_back(std::move(item));
        }
        m_items.swap(m_scanned);
        m_scanned.clear();
        // The next enumeration's list, grown now: later ones then take no
        // more memory than the first.
        m_scanned.reserve(m_items.size());
        m_bIndexed = false;
    }

    void Clear()
    {
        m_items.clear();
        m_bIndexed = false;
    }

    // Whether the subkey of that name is there, compared without regard to
    // ASCII letter case as the registry compares names (the registry folds
    // other letters too, so a name beyond ASCII may leave that in doubt);
    // *ppItem receives it when it is.
    SubkeyMatch Find(const wchar_t* pszName, T** ppItem)
    {
        if (!m_bIndexed)
            BuildIndex();
        *ppItem = NULL;
        const size_t nMask = m_index.size() - 1;
        bool bAscii = true;
        for (size_t slot = Hash(pszName, &bAscii) & nMask;; slot = (slot + 1) & nMask) {
            const int nItem = m_index[slot];
            if (nItem < 0)
                break;
            // Names are unique as the registry folds them, and ASCII folding
            // is part of that: a match is the one.
            if (SameName(m_items[nItem]->Name().GetText(), pszName)) {
                *ppItem = m_items[nItem].get();
                return kSubkeyPresent;
            }
        }
        return bAscii && !m_bNonAscii ? kSubkeyAbsent : kSubkeyUnsure;
    }

private:
    // A few keys added or removed since the last enumeration shift the rest:
    // the item is looked for this far past where it is expected.
    static const size_t kMatchWindow = 8;

    T* Take(const wchar_t* pszName, DWORD cchName)
    {
        const size_t nEnd =
            m_nCursor + kMatchWindow < m_items.size() ? m_nCursor + kMatchWindow : m_items.size();
        for (size_t i = m_nCursor; i < nEnd; ++i) {
            T* pItem = m_items[i].get();
            if (pItem != NULL && pItem->Name().GetLength() == static_cast<int>(cchName) &&
                wmemcmp(pItem->Name().GetText(), pszName, cchName) == 0) {
                m_nCursor = i + 1;
                return m_items[i].release();
            }
        }
        return NULL;
    }

    static wchar_t Fold(wchar_t ch) { return ch >= L'a' && ch <= L'z' ? ch - L'a' + L'A' : ch; }

    static size_t Hash(const wchar_t* pszName, bool* pbAscii)
    {
        size_t nHash = 2166136261u;
        for (const wchar_t* p = pszName; p != NULL && *p != 0; ++p) {
            if (*p >= 0x80)
                *pbAscii = false;
            nHash = (nHash ^ Fold(*p)) * 16777619u;
        }
        return nHash;
    }

    static bool SameName(const wchar_t* pszA, const wchar_t* pszB)
    {
        if (pszA == NULL)
            pszA = L"";
        for (; *pszA != 0 && Fold(*pszA) == Fold(*pszB); ++pszA, ++pszB) {
        }
        return Fold(*pszA) == Fold(*pszB);
    }

    void BuildIndex()
    {
        size_t nSlots = 16;
        while (nSlots < 2 * m_items.size())
            nSlots *= 2;
        m_index.assign(nSlots, -1);
        m_bNonAscii = false;
        for (size_t i = 0; i < m_items.size(); ++i) {
            bool bAscii = true;
            size_t slot = Hash(m_items[i]->Name().GetText(), &bAscii) & (nSlots - 1);
            while (m_index[slot] >= 0)
                slot = (slot + 1) & (nSlots - 1);
            m_index[slot] = static_cast<int>(i);
            m_bNonAscii = m_bNonAscii || !bAscii;
        }
        m_bIndexed = true;
    }

    std::vector<std::unique_ptr<T>> m_items;    // enumeration order
    std::vector<std::unique_ptr<T>> m_scanned;  // being built by Enumerate
    size_t m_nCursor;                           // where the next name is expected
    std::vector<int> m_index;                   // open addressing over m_items
    bool m_bIndexed;
    bool m_bNonAscii;
};
