#include "icons/IconCache.h"

#include "icons/IconStrip.h"

#include <wchar.h>

CIconCache::CIconCache()
    : m_hImageList(NULL), m_cxImage(16), m_cyImage(16), m_nBitCount(16), m_nRefresh(0), m_nSerial(0),
      m_bHoles(false)
{
}

CIconCache::~CIconCache() {}

void CIconCache::Reset(HIMAGELIST hImageList)
{
    // Reads under way belong to the old icons: their serials tell them apart.
    m_iconIds.clear();
    m_icons.clear();
    m_freeIcons.clear();
    m_hImageList = hImageList;
    m_slotOwners.assign(1, -1);
    m_bHoles = false;
    if (hImageList == NULL)
        return;
    if (!ImageList_GetIconSize(hImageList, &m_cxImage, &m_cyImage)) {
        m_cxImage = 16;
        m_cyImage = 16;
    }
    // Slot 0 must stay the default icon even when that could not be loaded:
    // a blank slot rather than the first program's icon.
    ImageList_SetImageCount(hImageList, 1);
    m_nBitCount = 16;
    BITMAP bitmap;
    IMAGEINFO info;
    if (ImageList_GetImageInfo(hImageList, 0, &info) &&
        GetObjectW(info.hbmImage, sizeof(bitmap), &bitmap) == sizeof(bitmap))
        m_nBitCount = bitmap.bmBitsPixel;
}

void CIconCache::BeginRefresh(HIMAGELIST hImageList)
{
    if (hImageList != m_hImageList || hImageList == NULL ||
        ImageList_GetImageCount(hImageList) != static_cast<int>(m_slotOwners.size()))
        Reset(hImageList);
    ++m_nRefresh;
    m_reader.SetDecode(CIconStrip::CanPut(m_nBitCount) && IconsKeepTheirColours());
}

int CIconCache::Lookup(const IconLocation& location)
{
    if (m_hImageList == NULL)
        return kNoIcon;
    const int nIcon = FindIcon(location);
    Icon& icon = m_icons[nIcon];
    // The file is looked at once per refresh, however many rows show it; a
    // read under way may have looked before the refresh began.
    if (icon.nRefresh != m_nRefresh) {
        if (icon.bAsked)
            icon.bAskAgain = true;
        else
            Ask(nIcon);
    }
    icon.nRefresh = m_nRefresh;
    return nIcon;
}

void CIconCache::Ask(int nIcon)
{
    Icon& icon = m_icons[nIcon];
    IconRead read;
    read.nIcon = nIcon;
    read.nSerial = icon.nSerial;
    read.path = icon.path;
    read.nIndex = icon.nIndex;
    read.bCheckOnly = icon.bKnown;
    read.version = icon.version;
    m_reader.Ask(std::move(read));
    icon.bAsked = true;
    icon.bAskAgain = false;
}

int CIconCache::FindIcon(const IconLocation& location)
{
    // A bar never appears in a parsed path.
    wchar_t suffix[16];
    swprintf(suffix, 16, L"|%d", location.nIndex);
    m_strKey.assign(location.strPath.GetText(), location.strPath.GetLength());
    m_strKey += suffix;
    auto it = m_iconIds.find(m_strKey);
    if (it != m_iconIds.end())
        return it->second;

    int nIcon;
    if (!m_freeIcons.empty()) {
        nIcon = m_freeIcons.back();
        m_freeIcons.pop_back();
    } else {
        nIcon = static_cast<int>(m_icons.size());
        m_icons.push_back(Icon());
    }
    Icon& icon = m_icons[nIcon];
    icon.path = std::make_shared<const std::wstring>(location.strPath.GetText(), location.strPath.GetLength());
    icon.nIndex = location.nIndex;
    icon.nSerial = ++m_nSerial;
    icon.bKnown = false;
    icon.bAsked = false;
    icon.bAskAgain = false;
    icon.version = IconFileVersion();
    icon.nSlot = 0;
    icon.nRefresh = 0;
    m_iconIds.emplace(m_strKey, nIcon);
    return nIcon;
}

// An image read from the icon's file is what its icon handle would show
// only when the handle would not scale it and keeps its colours as they are.
bool CIconCache::IconsKeepTheirColours() const
{
    if (GetSystemMetrics(SM_CXSMICON) != m_cxImage || GetSystemMetrics(SM_CYSMICON) != m_cyImage)
        return false;
    HDC hdc = GetDC(NULL);
    if (hdc == NULL)
        return false;
    const int nBitsPerPixel = GetDeviceCaps(hdc, BITSPIXEL);
    ReleaseDC(NULL, hdc);
    return nBitsPerPixel == 32;
}

bool CIconCache::LoadPending(DWORD dwWaitMs)
{
    if (m_hImageList == NULL)
        return false;
    // Held only while they are put in: a buffer kept at its largest would
    // grow with the busiest load.
    std::vector<IconRead> reads;
    if (!m_reader.Take(reads, dwWaitMs)) {
        ForgetLostReads();
        return false;
    }

    bool bChanged = false;
    std::vector<int> loaded;
    std::vector<std::unique_ptr<CIconStrip>> strips;
    for (IconRead& read : reads) {
        if (read.nIcon < 0 || static_cast<size_t>(read.nIcon) >= m_icons.size() ||
            m_icons[read.nIcon].nSerial != read.nSerial)
            continue;
        Icon& icon = m_icons[read.nIcon];
        icon.bAsked = false;
        if (read.outcome == IconRead::kUnchanged)
            continue;
        // A file that is locked for a moment keeps what it showed.
        icon.bKnown = read.outcome != IconRead::kMissing && read.outcome != IconRead::kRetry;
        icon.version = read.version;
        if (read.outcome == IconRead::kRetry)
            continue;
        if (icon.nSlot > 0) {
            ReleaseImage(icon);
            bChanged = true;
        }
        if (read.outcome != IconRead::kImage && read.outcome != IconRead::kHandle)
            continue;
        const size_t nCell = loaded.size() % CIconStrip::kImages;
        if (strips.size() * CIconStrip::kImages <= loaded.size())
            strips.emplace_back(new CIconStrip(m_cxImage, m_cyImage, m_nBitCount));
        CIconStrip& strip = *strips.back();
        const bool bDrawn = read.outcome == IconRead::kHandle ? strip.Draw(static_cast<int>(nCell), read.icon)
                                                              : strip.Put(static_cast<int>(nCell), read.image);
        // Otherwise read again at its next use.
        icon.bKnown = bDrawn;
        if (bDrawn)
            loaded.push_back(read.nIcon);
    }
    for (const IconRead& read : reads) {
        if (static_cast<size_t>(read.nIcon) < m_icons.size() && m_icons[read.nIcon].nSerial == read.nSerial &&
            m_icons[read.nIcon].bAskAgain && !m_icons[read.nIcon].bAsked)
            Ask(read.nIcon);
    }
    reads.clear();
    if (!loaded.empty()) {
        AddToImageList(loaded, strips);
        bChanged = true;
    }
    if (m_bHoles)
        CloseHoles();
    ForgetLostReads();
    return bChanged;
}

// A read that the reader could not answer (it had no memory left) is asked
// for again at the next refresh.
void CIconCache::ForgetLostReads()
{
    if (m_reader.IsBusy())
        return;
    for (Icon& icon : m_icons)
        icon.bAsked = false;
}

void CIconCache::AddToImageList(const std::vector<int>& icons,
                                const std::vector<std::unique_ptr<CIconStrip>>& strips)
{
    for (size_t nStrip = 0; nStrip < strips.size(); ++nStrip) {
        const size_t nFirst = nStrip * CIconStrip::kImages;
        if (nFirst >= icons.size())
            break;
        const size_t nLeft = icons.size() - nFirst;
        const int nCount = nLeft < static_cast<size_t>(CIconStrip::kImages) ? static_cast<int>(nLeft)
                                                                           : CIconStrip::kImages;
        const int nFirstSlot = strips[nStrip]->AddTo(m_hImageList, nCount);
        for (int i = 0; i < nCount; ++i) {
            Icon& icon = m_icons[icons[nFirst + i]];
            if (nFirstSlot < 0) {
                icon.bKnown = false;
                continue;
            }
            icon.nSlot = nFirstSlot + i;
            m_slotOwners.push_back(icons[nFirst + i]);
        }
    }
}

void CIconCache::ReleaseImage(Icon& icon)
{
    if (icon.nSlot > 0) {
        m_slotOwners[icon.nSlot] = -1;
        m_bHoles = true;
    }
    icon.nSlot = 0;
}

void CIconCache::EndRefresh()
{
    if (m_hImageList == NULL)
        return;
    Forget();
    if (m_bHoles)
        CloseHoles();
}

void CIconCache::Forget()
{
    for (auto it = m_iconIds.begin(); it != m_iconIds.end();) {
        Icon& icon = m_icons[it->second];
        if (icon.nRefresh == m_nRefresh) {
            ++it;
            continue;
        }
        ReleaseImage(icon);
        icon.path.reset();
        // A read still under way for it is dropped when it comes.
        icon.nSerial = 0;
        m_freeIcons.push_back(it->second);
        it = m_iconIds.erase(it);
    }
}

// Moves the images of the highest slots into the free ones below them, so
// that the slots in use are 1 to n.
void CIconCache::CloseHoles()
{
    m_bHoles = false;
    int nImages = 0;
    for (size_t nSlot = 1; nSlot < m_slotOwners.size(); ++nSlot)
        nImages += m_slotOwners[nSlot] >= 0;
    int nTop = static_cast<int>(m_slotOwners.size()) - 1;
    for (int nHole = 1; nHole <= nImages; ++nHole) {
        if (m_slotOwners[nHole] >= 0)
            continue;
        while (m_slotOwners[nTop] < 0)
            --nTop;
        if (!ImageList_Copy(m_hImageList, nHole, m_hImageList, nTop, ILCF_MOVE)) {
            DropImages();
            return;
        }
        const int nIcon = m_slotOwners[nTop];
        m_icons[nIcon].nSlot = nHole;
        m_slotOwners[nHole] = nIcon;
        m_slotOwners[nTop] = -1;
    }
    m_slotOwners.resize(nImages + 1);
    if (ImageList_GetImageCount(m_hImageList) != nImages + 1)
        ImageList_SetImageCount(m_hImageList, nImages + 1);
}

// Every icon is read again at its next use.
void CIconCache::DropImages()
{
    for (size_t nSlot = 1; nSlot < m_slotOwners.size(); ++nSlot) {
        if (m_slotOwners[nSlot] >= 0) {
            m_icons[m_slotOwners[nSlot]].nSlot = 0;
            m_icons[m_slotOwners[nSlot]].bKnown = false;
        }
    }
    m_slotOwners.assign(1, -1);
    ImageList_SetImageCount(m_hImageList, 1);
}

int CIconCache::GetImage(int nIcon) const
{
    return nIcon == kNoIcon ? 0 : m_icons[nIcon].nSlot;
}
