#include "icons/IconCache.h"

#include "icons/IconStrip.h"
#include "inventory/RegistryViews.h"
#include "inventory/UninstallScan.h"

#include <wchar.h>

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
    icon.bMissing = false;
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
    // A file not seen before is looked at when its turn to be read comes; one
    // that was missing then is looked for here and waits only once it is there.
    Icon& icon = m_icons[nIcon];
    if (icon.bMissing) {
        if (!ReadIdentity(icon))
            return;
        icon.bMissing = false;
    } else if (icon.bKnown) {
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

// Reads the icon's file: its image into m_image when bDecode, otherwise only
// whether ExtractIconExW may read it. The image is chosen at the size
// ExtractIconExW chooses it at, which is the image list's whenever images
// are decoded. False when the file could not be opened for a passing reason
// (another process holds it): it is read again at a later refresh.
bool CIconCache::ReadImage(const Icon& icon, bool bDecode, IconFileResult& result)
{
    result = kIconNone;
    // ExtractIconExW searches for other names and refuses longer ones: it must
    // find no other file than the one checked here.
    const wchar_t* pszPath = icon.strPath.GetText();
    const bool bFullPath = (pszPath[0] != L'\0' && pszPath[1] == L':' && pszPath[2] == L'\\') ||
                           (pszPath[0] == L'\\' && pszPath[1] == L'\\');
    if (!bFullPath || wcslen(pszPath) >= MAX_PATH)
        return true;
    HANDLE hFile = CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        const DWORD nError = GetLastError();
        return nError != ERROR_SHARING_VIOLATION && nError != ERROR_LOCK_VIOLATION;
    }
    // A device or a pipe gives no icon; a directory does not open without
    // FILE_FLAG_BACKUP_SEMANTICS.
    if (GetFileType(hFile) == FILE_TYPE_DISK) {
        CFileByteSource file(hFile, icon.cbSize);
        result = ReadIconFile(file, icon.nIndex, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                              bDecode ? &m_image : NULL);
    }
    CloseHandle(hFile);
    return true;
}

int CIconCache::LoadPending(double seconds)
{
    if (m_hImageList == NULL || !HasPending())
        return 0;
    LARGE_INTEGER start;
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&start);
    QueryPerformanceFrequency(&frequency);
    const LONGLONG nBudget = static_cast<LONGLONG>(seconds * frequency.QuadPart);

    std::vector<int> loaded;
    std::vector<std::unique_ptr<CIconStrip>> strips;
    WORD nBitCount = 16;
    BITMAP bitmap;
    IMAGEINFO info;
    if (ImageList_GetImageInfo(m_hImageList, 0, &info) &&
        GetObjectW(info.hbmImage, sizeof(bitmap), &bitmap) == sizeof(bitmap))
        nBitCount = bitmap.bmBitsPixel;
    const bool bReadImages = CIconStrip::CanPut(nBitCount) && IconsKeepTheirColours();
    while (m_nQueued < m_queue.size()) {
        const int nIcon = m_queue[m_nQueued++];
        Icon& icon = m_icons[nIcon];
        if (!icon.bQueued)
            continue;
        icon.bQueued = false;
        if (!ReadIdentity(icon)) {
            icon.bMissing = true;
            continue;
        }
        IconFileResult result;
        if (!ReadImage(icon, bReadImages, result))
            continue;
        HICON hIcon = NULL;
        if (result != kIconDecoded) {
            // Only a file that the reader found sound reaches ExtractIconExW.
            if (result == kIconNeedsSystem)
                hIcon = ExtractSmallIcon(icon.strPath.GetText(), icon.nIndex);
            if (hIcon == NULL) {
                icon.bKnown = true;
                continue;
            }
        }
        const size_t nCell = loaded.size() % CIconStrip::kImages;
        if (strips.size() * CIconStrip::kImages <= loaded.size())
            strips.emplace_back(new CIconStrip(m_cxImage, m_cyImage, nBitCount));
        CIconStrip& strip = *strips.back();
        // Otherwise tried again next time.
        icon.bKnown = hIcon != NULL ? strip.Draw(static_cast<int>(nCell), hIcon)
                                    : strip.Put(static_cast<int>(nCell), m_image);
        if (icon.bKnown)
            loaded.push_back(nIcon);
        if (hIcon != NULL)
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
