#include "icons/IconCache.h"

#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"

#include <wchar.h>

namespace {

// New images are drawn into strips of this many and added to the image list
// a strip at a time: one ImageList_ReplaceIcon per icon costs more than the
// extraction itself under Wine, since it copies the icon again first.
const int kStripImages = 256;

}  // namespace

// A row of images and their masks, drawn as the image list itself draws an
// icon into a masked list (DI_IMAGE, then DI_MASK), in the list's colour depth.
class CIconCache::CStrip
{
public:
    CStrip(int cx, int cy, WORD nBitCount)
        : m_cx(cx), m_cy(cy), m_nBitCount(nBitCount), m_hbmColor(NULL), m_hbmMask(NULL),
          m_hdcColor(CreateCompatibleDC(NULL)), m_hdcMask(CreateCompatibleDC(NULL)),
          m_hOldColor(NULL), m_hOldMask(NULL)
    {
        m_hbmColor = CreateImage(kStripImages);
        m_hbmMask = CreateBitmap(m_cx * kStripImages, m_cy, 1, 1, NULL);
        if (m_hdcColor != NULL && m_hbmColor != NULL)
            m_hOldColor = SelectObject(m_hdcColor, m_hbmColor);
        if (m_hdcMask != NULL && m_hbmMask != NULL)
            m_hOldMask = SelectObject(m_hdcMask, m_hbmMask);
    }

    ~CStrip()
    {
        Deselect();
        if (m_hdcColor != NULL)
            DeleteDC(m_hdcColor);
        if (m_hdcMask != NULL)
            DeleteDC(m_hdcMask);
        if (m_hbmColor != NULL)
            DeleteObject(m_hbmColor);
        if (m_hbmMask != NULL)
            DeleteObject(m_hbmMask);
    }

    CStrip(const CStrip&) = delete;
    CStrip& operator=(const CStrip&) = delete;

    bool IsValid() const { return m_hOldColor != NULL && m_hOldMask != NULL; }

    bool Draw(int nCell, HICON hIcon)
    {
        const int x = nCell * m_cx;
        return DrawIconEx(m_hdcColor, x, 0, hIcon, m_cx, m_cy, 0, NULL, DI_IMAGE) &&
               DrawIconEx(m_hdcMask, x, 0, hIcon, m_cx, m_cy, 0, NULL, DI_MASK);
    }

    // Adds the first nCount images; the slot of the first, or -1.
    int AddTo(HIMAGELIST hImageList, int nCount)
    {
        // The image list infers the count from the width: a partly filled
        // strip goes in through bitmaps of the exact width.
        HBITMAP hbmColor = m_hbmColor;
        HBITMAP hbmMask = m_hbmMask;
        if (nCount < kStripImages) {
            hbmColor = CreateImage(nCount);
            hbmMask = CreateBitmap(m_cx * nCount, m_cy, 1, 1, NULL);
            if (!CopyInto(hbmColor, m_hdcColor, nCount) || !CopyInto(hbmMask, m_hdcMask, nCount))
                nCount = 0;
        }
        Deselect();
        const int nFirst = nCount > 0 ? ImageList_Add(hImageList, hbmColor, hbmMask) : -1;
        if (hbmColor != m_hbmColor && hbmColor != NULL)
            DeleteObject(hbmColor);
        if (hbmMask != m_hbmMask && hbmMask != NULL)
            DeleteObject(hbmMask);
        return nFirst;
    }

private:
    HBITMAP CreateImage(int nImages) const
    {
        BITMAPINFO info;
        ZeroMemory(&info, sizeof(info));
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = m_cx * nImages;
        info.bmiHeader.biHeight = m_cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = m_nBitCount;
        info.bmiHeader.biCompression = BI_RGB;
        void* pBits = NULL;
        return CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &pBits, NULL, 0);
    }

    bool CopyInto(HBITMAP hbmTarget, HDC hdcSource, int nCount) const
    {
        if (hbmTarget == NULL)
            return false;
        HDC hdc = CreateCompatibleDC(NULL);
        if (hdc == NULL)
            return false;
        HGDIOBJ hOld = SelectObject(hdc, hbmTarget);
        const bool bCopied =
            hOld != NULL && BitBlt(hdc, 0, 0, m_cx * nCount, m_cy, hdcSource, 0, 0, SRCCOPY);
        if (hOld != NULL)
            SelectObject(hdc, hOld);
        DeleteDC(hdc);
        return bCopied;
    }

    // A bitmap selected into a device context cannot be added to an image list.
    void Deselect()
    {
        if (m_hOldColor != NULL)
            SelectObject(m_hdcColor, m_hOldColor);
        if (m_hOldMask != NULL)
            SelectObject(m_hdcMask, m_hOldMask);
        m_hOldColor = NULL;
        m_hOldMask = NULL;
    }

    int m_cx;
    int m_cy;
    WORD m_nBitCount;
    HBITMAP m_hbmColor;
    HBITMAP m_hbmMask;
    HDC m_hdcColor;
    HDC m_hdcMask;
    HGDIOBJ m_hOldColor;
    HGDIOBJ m_hOldMask;
};

CIconCache::CIconCache()
    : m_hImageList(NULL), m_cxImage(16), m_cyImage(16), m_nRefresh(0), m_bWindows2000(false),
      m_ftNow(), m_nQueued(0), m_sourceKeysRefresh(), m_pRecord(NULL), m_entrySam(0),
      m_bViewsShareKey(false), m_pOtherView(NULL), m_nFound(-1)
{
}

CIconCache::~CIconCache() {}

void CIconCache::Reset(HIMAGELIST hImageList)
{
    m_queue.clear();
    m_nQueued = 0;
    m_locations.clear();
    m_iconIds.clear();
    m_icons.clear();
    m_freeIcons.clear();
    m_hImageList = hImageList;
    m_slotOwners.assign(1, -1);
    if (hImageList == NULL)
        return;
    if (!ImageList_GetIconSize(hImageList, &m_cxImage, &m_cyImage)) {
        m_cxImage = 16;
        m_cyImage = 16;
    }
    // Slot 0 must stay the default icon even when that could not be loaded:
    // a blank slot rather than the first program's icon.
    ImageList_SetImageCount(hImageList, 1);
}

void CIconCache::BeginRefresh(HIMAGELIST hImageList)
{
    if (hImageList != m_hImageList || hImageList == NULL ||
        ImageList_GetImageCount(hImageList) != static_cast<int>(m_slotOwners.size()))
        Reset(hImageList);
    for (size_t i = m_nQueued; i < m_queue.size(); ++i)
        m_icons[m_queue[i]].bQueued = false;
    m_queue.clear();
    m_nQueued = 0;
    ++m_nRefresh;
    m_bWindows2000 = IsWindows2000();
    GetSystemTimeAsFileTime(&m_ftNow);
}

int CIconCache::Lookup(HKEY root, bool b64BitView, const UninstallRecord& record,
                       bool bViewsShareKey, CUninstallKeyCache* pOtherView)
{
    if (m_hImageList == NULL)
        return kNoIcon;
    m_pRecord = &record;
    m_entrySam = ViewAccessMask(m_bWindows2000, b64BitView);
    m_bViewsShareKey = bViewsShareKey;
    m_pOtherView = pOtherView;
    m_nFound = -1;
    VisitIconLocations(root, record.strKeyName, m_bWindows2000, *this, *this);
    m_pRecord = NULL;
    return m_nFound >= 0 ? UseIcon(m_nFound) : kNoIcon;
}

bool CIconCache::Read(IconSource source, HKEY hive, const wchar_t* pszSubkey, REGSAM sam,
                      const wchar_t** ppszText)
{
    if (source == kDisplayIcon) {
        if (sam == m_entrySam || m_bViewsShareKey) {
            *ppszText = m_pRecord->strDisplayIcon.GetText() != NULL
                            ? m_pRecord->strDisplayIcon.GetText()
                            : L"";
            return m_pRecord->bDisplayIcon;
        }
        bool bSure = false;
        if (m_pOtherView != NULL && !m_pOtherView->Contains(pszSubkey, &bSure) && bSure)
            return false;
        return m_live.Read(source, hive, pszSubkey, sam, ppszText);
    }

    const int nView = sam == ViewAccessMask(m_bWindows2000, false) ? 0 : 1;
    const int nCache = source == kProductIcon ? nView : 2 + (hive == HKEY_CURRENT_USER ? 2 : 0) + nView;
    CSourceKeyCache& cache = m_sourceKeys[nCache];
    if (m_sourceKeysRefresh[nCache] != m_nRefresh) {
        m_sourceKeysRefresh[nCache] = m_nRefresh;
        cache.Update(source, hive, sam);
    }
    switch (cache.Read(pszSubkey, ppszText)) {
    case CSourceKeyCache::kText:
        return true;
    case CSourceKeyCache::kNone:
        return false;
    default:
        return m_live.Read(source, hive, pszSubkey, sam, ppszText);
    }
}

bool CIconCache::OnLocation(const wchar_t* pszText, bool bRecord)
{
    // A stored text always parses the same way: parse it once.
    m_strKey.assign(1, bRecord ? L'R' : L'S');
    m_strKey += pszText;
    auto it = m_locations.find(m_strKey);
    if (it == m_locations.end()) {
        Location location = {FindIcon(pszText, bRecord), 0};
        it = m_locations.emplace(m_strKey, location).first;
    }
    it->second.nRefresh = m_nRefresh;
    m_nFound = it->second.nIcon;
    return m_nFound >= 0;
}

int CIconCache::FindIcon(const wchar_t* pszText, bool bRecord)
{
    int nIndex = 0;
    ParseIconLocation(pszText, bRecord, m_path, nIndex);
    if (m_path.GetCount() == 0)
        return -1;
    CWideString strPath = m_path.ToString();
    // A bar never appears in a parsed path.
    wchar_t suffix[16];
    swprintf(suffix, 16, L"|%d", nIndex);
    std::wstring key = std::wstring(strPath.GetText()) + suffix;
    auto it = m_iconIds.find(key);
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
    icon.strPath = strPath;
    icon.nIndex = nIndex;
    icon.bKnown = false;
    icon.bQueued = false;
    icon.cbSize = 0;
    icon.ftWrite = kUnsettledTime;
    icon.nSlot = 0;
    icon.nRefresh = 0;
    m_iconIds.emplace(key, nIcon);
    return nIcon;
}

int CIconCache::UseIcon(int nIcon)
{
    Icon& icon = m_icons[nIcon];
    // The file is looked at once per refresh, however many rows show it.
    if (icon.nRefresh != m_nRefresh) {
        icon.nRefresh = m_nRefresh;
        CheckFile(nIcon);
    }
    return icon.nSlot > 0 || icon.bQueued ? nIcon : kNoIcon;
}

void CIconCache::CheckFile(int nIcon)
{
    // A file not seen before is looked at when its turn to be extracted comes.
    Icon& icon = m_icons[nIcon];
    if (icon.bKnown) {
        const ULONGLONG cbSize = icon.cbSize;
        const FILETIME ftWrite = icon.ftWrite;
        if (ReadIdentity(icon) && icon.cbSize == cbSize &&
            CompareFileTime(&icon.ftWrite, &ftWrite) == 0)
            return;
        ReleaseImage(icon);
        icon.bKnown = false;
    }
    icon.bQueued = true;
    m_queue.push_back(nIcon);
}

bool CIconCache::ReadIdentity(Icon& icon)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(icon.strPath.GetText(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    icon.cbSize = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    icon.ftWrite = IsSettled(data.ftLastWriteTime, m_ftNow) ? data.ftLastWriteTime : kUnsettledTime;
    return true;
}

int CIconCache::LoadPending(double seconds)
{
    if (m_hImageList == NULL)
        return 0;
    LARGE_INTEGER start;
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&start);
    QueryPerformanceFrequency(&frequency);
    const LONGLONG nBudget = static_cast<LONGLONG>(seconds * frequency.QuadPart);

    std::vector<int> loaded;
    std::vector<std::unique_ptr<CStrip>> strips;
    WORD nBitCount = 16;
    BITMAP bitmap;
    IMAGEINFO info;
    if (ImageList_GetImageInfo(m_hImageList, 0, &info) &&
        GetObjectW(info.hbmImage, sizeof(bitmap), &bitmap) == sizeof(bitmap))
        nBitCount = bitmap.bmBitsPixel;
    while (m_nQueued < m_queue.size()) {
        const int nIcon = m_queue[m_nQueued++];
        Icon& icon = m_icons[nIcon];
        if (!icon.bQueued)
            continue;
        icon.bQueued = false;
        if (!ReadIdentity(icon))
            continue;
        icon.bKnown = true;
        HICON hIcon = ExtractSmallIcon(icon.strPath.GetText(), icon.nIndex);
        if (hIcon == NULL)
            continue;
        const size_t nCell = loaded.size() % kStripImages;
        if (strips.size() * kStripImages <= loaded.size())
            strips.emplace_back(new CStrip(m_cxImage, m_cyImage, nBitCount));
        if (strips.back()->IsValid() && strips.back()->Draw(static_cast<int>(nCell), hIcon))
            loaded.push_back(nIcon);
        else
            icon.bKnown = false;  // tried again next time
        DestroyIcon(hIcon);
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart >= nBudget)
            break;
    }

    if (m_nQueued >= m_queue.size()) {
        m_queue.clear();
        m_nQueued = 0;
    }
    AddToImageList(loaded, strips);
    int nAdded = 0;
    for (int nIcon : loaded)
        nAdded += m_icons[nIcon].nSlot > 0;
    return nAdded;
}

void CIconCache::AddToImageList(const std::vector<int>& icons,
                                const std::vector<std::unique_ptr<CStrip>>& strips)
{
    for (size_t nStrip = 0; nStrip < strips.size(); ++nStrip) {
        const size_t nFirst = nStrip * kStripImages;
        if (nFirst >= icons.size())
            break;
        const int nCount = static_cast<int>(
            icons.size() - nFirst < static_cast<size_t>(kStripImages) ? icons.size() - nFirst
                                                                      : kStripImages);
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
    if (icon.nSlot > 0)
        m_slotOwners[icon.nSlot] = -1;
    icon.nSlot = 0;
}

void CIconCache::EndRefresh()
{
    if (m_hImageList == NULL)
        return;
    Forget();
    CloseHoles();
}

void CIconCache::Forget()
{
    for (auto it = m_locations.begin(); it != m_locations.end();) {
        if (it->second.nRefresh != m_nRefresh)
            it = m_locations.erase(it);
        else
            ++it;
    }
    for (auto it = m_iconIds.begin(); it != m_iconIds.end();) {
        Icon& icon = m_icons[it->second];
        if (icon.nRefresh == m_nRefresh) {
            ++it;
            continue;
        }
        ReleaseImage(icon);
        icon.strPath.Free();
        m_freeIcons.push_back(it->second);
        it = m_iconIds.erase(it);
    }
}

// Moves the images of the highest slots into the free ones below them, so
// that the slots in use are 1 to n.
void CIconCache::CloseHoles()
{
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

// Every icon is extracted again at its next use.
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
