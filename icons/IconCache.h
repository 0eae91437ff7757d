#pragma once

#include "base/WideString.h"
#include "icons/IconLocation.h"
#include "icons/IconResource.h"
#include "icons/Path.h"
#include "icons/SourceKeyCache.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CIconStrip;
class CUninstallKeyCache;
struct UninstallRecord;

// The rows' small icons, kept in the list's image list from one refresh to
// the next. An icon is found as LoadEntryIcon finds it, but it is extracted
// once per file version: keyed by its path and index, and read again only
// when the file's size or last-write time has changed. The registry keys
// besides the entry's own (installer products, ARP caches) are enumerated
// once per refresh and their values read again only when changed. Rows that
// show the same icon share one image-list slot, and once the icons are
// loaded the image list holds slot 0 (the caller's default icon) and one
// slot per icon in use.
//
// A refresh only finds the icons; extracting the new ones is LoadPending's,
// which the caller runs as long as it can wait, so that a list of thousands
// of new programs need not wait for their icons.
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
    // the next BeginRefresh). Slot 0 is the caller's and every other slot the
    // cache's: an image list other than the last one, or one whose slots were
    // changed meanwhile, starts the cache afresh. Icons still waiting from the
    // refresh before wait again only if this one asks for them.
    void BeginRefresh(HIMAGELIST hImageList);
    // The icon of one entry scanned in root's Uninstall key in that view,
    // found as LoadEntryIcon finds it, with the record's DisplayIcon for the
    // entry's own key. What the caller knows of the same name in the other
    // view saves opening keys that are not there: bViewsShareKey when both
    // views are one key, else pOtherView when that view's cache was scanned
    // in this refresh. An id for GetImage, or kNoIcon.
    int Lookup(HKEY root, bool b64BitView, const UninstallRecord& record,
               bool bViewsShareKey = false, CUninstallKeyCache* pOtherView = NULL);
    // Forgets the icons that no lookup of this refresh asked for and closes
    // their slots.
    void EndRefresh();

    // Extracts waiting icons for about that long (at least one) and adds them
    // to the image list; the number that got a slot.
    int LoadPending(double seconds);
    bool HasPending() const { return m_nQueued < m_queue.size(); }

    // The image-list slot of an id from this refresh's lookups: 0 for
    // kNoIcon, for an icon still waiting, or one the image list refused.
    int GetImage(int nIcon) const;

private:
    struct Icon
    {
        CWideString strPath;
        int nIndex;
        bool bKnown;   // the image, or that there is none, is that of the file below
        bool bQueued;  // waiting for LoadPending to extract the file below
        bool bMissing; // no file at the last look
        ULONGLONG cbSize;
        FILETIME ftWrite;
        int nSlot;  // 0: no image
        unsigned int nRefresh;
    };
    struct Location
    {
        int nIcon;  // -1: the text names no path
        unsigned int nRefresh;
    };

    bool OnLocation(const wchar_t* pszText, bool bRecord) override;
    bool Read(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
              const wchar_t** ppszText) override;
    int FindIcon(const wchar_t* pszText, bool bRecord);
    int UseIcon(int nIcon);
    void CheckFile(int nIcon);
    bool ReadIdentity(Icon& icon);
    bool IconsKeepTheirColours() const;
    bool ReadImage(const Icon& icon, bool bDecode, IconFileResult& result);
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
    unsigned int m_nRefresh;
    bool m_bWindows2000;
    FILETIME m_ftNow;

    std::unordered_map<std::wstring, Location> m_locations;  // stored text -> location
    std::unordered_map<std::wstring, int> m_iconIds;         // path|index -> icon
    std::vector<Icon> m_icons;
    std::vector<int> m_freeIcons;
    std::vector<int> m_slotOwners;  // slot -> icon, -1 for slot 0 and free slots
    std::vector<int> m_queue;       // icons to extract, in lookup order
    size_t m_nQueued;               // the first of m_queue not yet taken

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
    IconImage m_image;
};
