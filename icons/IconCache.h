#pragma once

#include "base/WideString.h"
#include "icons/IconLocation.h"
#include "icons/Path.h"
#include "icons/SourceKeyCache.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <unordered_map>
#include <vector>

class CUninstallKeyCache;
struct UninstallRecord;

// The rows' small icons, kept in the list's image list from one refresh to
// the next. An icon is found as LoadEntryIcon finds it, but it is extracted
// once per file version: keyed by its path and index, and read again only
// when the file's size or last-write time has changed. The registry keys
// besides the entry's own (installer products, ARP caches) are enumerated
// once per refresh and their values read again only when changed. Rows that
// show the same icon share one image-list slot, and after each refresh the
// image list holds slot 0 (the caller's default icon) and one slot per icon
// in use.
class CIconCache : private IIconLocationVisitor, private IIconSourceReader
{
public:
    enum
    {
        kNoIcon = -1
    };

    CIconCache();
    ~CIconCache() override;
    CIconCache(const CIconCache&) = delete;
    CIconCache& operator=(const CIconCache&) = delete;

    // Starts a refresh that fills hImageList (16 x 16, masked; borrowed until
    // EndRefresh). Slot 0 is the caller's and every other slot the cache's: an
    // image list other than the last one, or one whose slots were changed
    // meanwhile, starts the cache afresh.
    void BeginRefresh(HIMAGELIST hImageList);
    // The icon of one entry scanned in root's Uninstall key in that view,
    // found as LoadEntryIcon finds it, with the record's DisplayIcon for the
    // entry's own key. What the caller knows of the same name in the other
    // view saves opening keys that are not there: bViewsShareKey when both
    // views are one key, else pOtherView when that view's cache was scanned
    // in this refresh. An id for GetImage, or kNoIcon.
    int Lookup(HKEY root, bool b64BitView, const UninstallRecord& record,
               bool bViewsShareKey = false, CUninstallKeyCache* pOtherView = NULL);
    // Adds the icons extracted in this refresh to the image list and forgets
    // those that no lookup asked for, closing their slots.
    void EndRefresh();

    // The image-list slot of an id from this refresh's lookups: 0 for
    // kNoIcon, or when the image list refused the icon.
    int GetImage(int nIcon) const;
    // Icons held, with or without an image (a file without that icon).
    int GetIconCount() const { return static_cast<int>(m_iconIds.size()); }

private:
    struct Icon
    {
        CWideString strPath;
        int nIndex;
        bool bKnown;  // the size and time below are those of the extracted file
        ULONGLONG cbSize;
        FILETIME ftWrite;
        int nSlot;     // 0: no image
        int nPending;  // position among this refresh's new images, or -1
        unsigned int nRefresh;
    };
    struct Location
    {
        int nIcon;  // -1: the text names no path
        unsigned int nRefresh;
    };
    class CStrip;

    bool OnLocation(const wchar_t* pszText, bool bRecord) override;
    bool Read(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
              const wchar_t** ppszText) override;
    int FindIcon(const wchar_t* pszText, bool bRecord);
    int UseIcon(int nIcon);
    void CheckFile(int nIcon);
    bool AddPending(int nIcon, HICON hIcon);
    void ReleaseImage(Icon& icon);
    void Reset(HIMAGELIST hImageList);
    void Forget();
    void CloseHoles();
    void DropImages();
    void AppendPending();

    HIMAGELIST m_hImageList;  // borrowed
    int m_cxImage;
    int m_cyImage;
    unsigned int m_nRefresh;
    bool m_bWindows2000;

    std::unordered_map<std::wstring, Location> m_locations;  // stored text -> location
    std::unordered_map<std::wstring, int> m_iconIds;         // path|index -> icon
    std::vector<Icon> m_icons;
    std::vector<int> m_freeIcons;
    std::vector<int> m_slotOwners;  // slot -> icon, -1 for slot 0 and free slots
    std::vector<int> m_pending;     // icons with a new image, in strip order
    std::vector<CStrip*> m_strips;

    // Products in either view; ARP caches of either root in either view.
    CSourceKeyCache m_sourceKeys[6];
    unsigned int m_sourceKeysRefresh[6];
    CLiveIconSourceReader m_live;

    // The lookup under way.
    const UninstallRecord* m_pRecord;
    REGSAM m_entrySam;
    bool m_bViewsShareKey;
    CUninstallKeyCache* m_pOtherView;
    int m_nFound;
    // Reused by every lookup.
    std::wstring m_strKey;
    CPath m_path;
};
