#pragma once

#include "base/WideString.h"
#include "icons/IconLocation.h"
#include "icons/IconReader.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CIconStrip;

// The rows' small icons, kept in the list's image list from one refresh to
// the next. An icon is read once per file version: keyed by its path and
// index, and read again only when the file's size or last-write time has
// changed. Rows that show the same icon share one image-list slot, and once
// the icons are loaded the image list holds slot 0 (the caller's default
// icon) and one slot per icon in use.
//
// The files are looked at and read by a reader thread, never by the caller's:
// a refresh only asks for them, and LoadPending puts what came into the image
// list. Until an icon comes its slot is 0, or the slot of the file's version
// read before.
class CIconCache
{
public:
    enum
    {
        kNoIcon = -1
    };
    CIconCache();
    ~CIconCache();
    CIconCache(const CIconCache&) = delete;
    CIconCache& operator=(const CIconCache&) = delete;

    // Starts a refresh that fills hImageList (16 x 16, masked; borrowed until
    // the next BeginRefresh). Slot 0 is the caller's and every other slot the
    // cache's: an image list other than the last one, or one whose slots were
    // changed meanwhile, starts the cache afresh.
    void BeginRefresh(HIMAGELIST hImageList);
    // The icon at a location, for one row of this refresh: an id for
    // GetImage.
    int Lookup(const IconLocation& location);
    // Forgets the icons that no lookup of this refresh asked for and closes
    // their slots.
    void EndRefresh();

    // Puts the icons read so far into the image list, waiting up to dwWaitMs
    // for the reads asked for; whether any icon got, changed or lost a slot.
    bool LoadPending(DWORD dwWaitMs);
    // Posts nMessage to hwnd whenever the reads asked for have come, for
    // LoadPending; hwnd NULL posts nothing.
    void NotifyWhenRead(HWND hwnd, UINT nMessage) { m_reader.NotifyWhenIdle(hwnd, nMessage); }
    // Whether icons asked for have not been put into the image list yet.
    bool HasPending() { return m_reader.IsBusy(); }

    // The image-list slot of an id from this refresh's lookups: 0 for
    // kNoIcon, for an icon not read yet or with no image.
    int GetImage(int nIcon) const;

private:
    struct Icon
    {
        std::shared_ptr<const std::wstring> path;
        int nIndex;
        unsigned int nSerial;  // tells its reads from those of an icon that had its id
        bool bKnown;           // the slot shows the file's version below
        bool bAsked;           // a read is under way
        bool bAskAgain;        // asked for since that read began
        IconFileVersion version;
        int nSlot;  // 0: no image
        unsigned int nRefresh;
    };

    int FindIcon(const IconLocation& location);
    void Ask(int nIcon);
    void ForgetLostReads();
    bool IconsKeepTheirColours() const;
    void ReleaseImage(Icon& icon);
    void Reset(HIMAGELIST hImageList);
    void Forget();
    void CloseHoles();
    void DropImages();
    void AddToImageList(const std::vector<int>& icons,
                        const std::vector<std::unique_ptr<CIconStrip>>& strips);

    HIMAGELIST m_hImageList;  // borrowed
    int m_cxImage;
    int m_cyImage;
    WORD m_nBitCount;
    unsigned int m_nRefresh;
    unsigned int m_nSerial;

    std::unordered_map<std::wstring, int> m_iconIds;  // path|index -> icon
    std::vector<Icon> m_icons;
    std::vector<int> m_freeIcons;
    std::vector<int> m_slotOwners;  // slot -> icon, -1 for slot 0 and free slots
    bool m_bHoles;                  // m_slotOwners has free slots

    CIconReader m_reader;
    // Reused by every lookup.
    std::wstring m_strKey;
};
