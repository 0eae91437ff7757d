#include "bench/BenchData.h"

#include "base/WideString.h"
#include "inventory/ProductCode.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kArpCacheKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
const wchar_t kProductsKey[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const wchar_t kSuiteFolder[] = L"C:\\Program Files\\Quorvex Suite";
const wchar_t kSuiteExe[] = L"C:\\Program Files\\Quorvex Suite\\suite.exe";

// Share of each kind among 100 programs, in the order of CBenchData::Kind.
const int kMixPercent[] = {58, 12, 7, 6, 7, 6, 4};
const wchar_t* const kKindNames[] = {
    L"own icon file", L"installer product (ProductIcon)", L"SlowInfoCache record",
    L"icon file missing", L"shared icon file", L"update (ParentKeyName)", L"no command (no row)"};

const wchar_t* const kSyllables[] = {
    L"ar",  L"bel", L"cor", L"dan", L"ex",  L"fin", L"gro", L"hal", L"in",
    L"jor", L"kel", L"lum", L"mor", L"nex", L"or",  L"pra", L"qui", L"ros",
    L"sol", L"tek", L"ul",  L"ver", L"wen", L"xa",  L"yor", L"zen"};
const int kSyllableCount = sizeof(kSyllables) / sizeof(kSyllables[0]);

unsigned int Hash(unsigned int n)
{
    n ^= n >> 16;
    n *= 0x7feb352dU;
    n ^= n >> 15;
    n *= 0x846ca68bU;
    n ^= n >> 16;
    return n;
}

// A capitalised made-up word of two or three syllables.
std::wstring Word(unsigned int n)
{
    std::wstring word;
    const int nSyllables = 2 + static_cast<int>(n % 2);
    n /= 2;
    for (int i = 0; i < nSyllables; ++i) {
        word += kSyllables[n % kSyllableCount];
        n /= kSyllableCount;
    }
    word[0] = static_cast<wchar_t>(towupper(word[0]));
    return word;
}

std::wstring Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    CWideString text;
    text.FormatV(format, args);
    va_end(args);
    return text.IsEmpty() ? std::wstring() : std::wstring(text.GetText());
}

std::wstring ProductCode(unsigned int n)
{
    return Format(L"{%08X-%04X-%04X-%04X-%04X%08X}", Hash(n), Hash(n + 1) & 0xFFFF,
                  Hash(n + 2) & 0xFFFF, Hash(n + 3) & 0xFFFF, Hash(n + 4) & 0xFFFF, Hash(n + 5));
}

class CKey
{
public:
    CKey() : m_hKey(NULL) {}
    ~CKey()
    {
        if (m_hKey != NULL)
            RegCloseKey(m_hKey);
    }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;

    bool Create(HKEY hRoot, const std::wstring& path, REGSAM view)
    {
        return RegCreateKeyExW(hRoot, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL,
                               &m_hKey, NULL) == ERROR_SUCCESS;
    }
    bool Set(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        return RegSetValueExW(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    bool Set(const wchar_t* name, DWORD value)
    {
        return RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value)) == ERROR_SUCCESS;
    }
    bool SetBinary(const wchar_t* name, const void* data, DWORD cb)
    {
        return RegSetValueExW(m_hKey, name, 0, REG_BINARY, static_cast<const BYTE*>(data), cb) ==
               ERROR_SUCCESS;
    }

private:
    HKEY m_hKey;
};

bool MakeFolders(const std::wstring& path)
{
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos;
         pos = path.find(L'\\', pos + 1))
        CreateDirectoryW(path.substr(0, pos).c_str(), NULL);
    return CreateDirectoryW(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool CopyInto(const std::wstring& source, const std::wstring& target)
{
    size_t slash = target.find_last_of(L'\\');
    return MakeFolders(target.substr(0, slash)) && CopyFileW(source.c_str(), target.c_str(), FALSE);
}

}  // namespace

CBenchData::CBenchData(const std::wstring& templateDir)
    : m_strTemplateExe(templateDir + L"\\BenchApp.exe"),
      m_strTemplateIco(templateDir + L"\\BenchApp_modern.ico"),
      m_bSharedWritten(false)
{
    // A fixed shuffle of the kinds, so that every size has the same mix.
    for (int kind = 0; kind < kKindCount; ++kind)
        m_mix.insert(m_mix.end(), kMixPercent[kind], static_cast<Kind>(kind));
    for (size_t i = m_mix.size() - 1; i > 0; --i)
        std::swap(m_mix[i], m_mix[Hash(static_cast<unsigned int>(i)) % (i + 1)]);
}

CBenchData::Program CBenchData::Describe(int i) const
{
    Program p;
    p.kind = m_mix[i % m_mix.size()];
    // 55% machine-wide 32-bit, 30% machine-wide 64-bit, 15% per user.
    const unsigned int nRoot = Hash(i * 3 + 7) % 20;
    p.hRoot = nRoot < 17 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    p.view = nRoot < 11 ? KEY_WOW64_32KEY : nRoot < 17 ? KEY_WOW64_64KEY : 0;
    const std::wstring programFiles =
        p.view == KEY_WOW64_32KEY ? L"C:\\Program Files (x86)" : L"C:\\Program Files";
    if (p.hRoot == HKEY_CURRENT_USER)
        p.strFolder = L"C:\\users\\Public\\AppData\\Local\\Programs";
    else
        p.strFolder = programFiles;

    const unsigned int h = Hash(i);
    p.strPublisher = Word(h % 97 + 1000) + L" Software";
    const std::wstring product = Word(h / 97);
    p.strDisplayName = Format(L"%s %s %d.%d", Word(h % 97 + 1000).c_str(), product.c_str(),
                              static_cast<int>(h % 13), i % 10);
    p.strFolder += L"\\" + p.strPublisher + L"\\" + product + Format(L" %d", i);
    switch (i % 3) {
    case 0:
        p.strKey = Word(h % 97 + 1000) + product + Format(L"%d", i);
        break;
    case 1:
        p.strKey = ProductCode(i * 11) + L"_is1";
        break;
    default:
        p.strKey = p.strDisplayName + Format(L" #%d", i);
        break;
    }
    p.nIcon = 0;
    p.bIconFileExists = true;

    switch (p.kind) {
    case kOwnIcon:
        if (i % 7 == 3) {
            p.strIconPath = p.strFolder + L"\\" + product + L".ico";
            p.strIconText = p.strIconPath;
        } else {
            p.strIconPath = p.strFolder + L"\\" + product + L".exe";
            p.nIcon = i % 5 == 1 ? 1 : 0;
            p.strIconText = p.strIconPath + (i % 4 == 0 ? L"" : Format(L",%d", p.nIcon));
        }
        break;
    case kProduct:
        p.strKey = ProductCode(i);
        p.strIconPath = L"C:\\windows\\Installer\\" + p.strKey + L"\\ARPPRODUCTICON.exe";
        p.strIconText = p.strIconPath;
        break;
    case kArpCache:
        p.strIconPath = p.strFolder + L"\\" + product + L".exe";
        break;
    case kMissing:
        p.strIconPath = p.strFolder + L"\\" + product + L".exe";
        p.strIconText = p.strIconPath + L",0";
        p.bIconFileExists = false;
        break;
    case kShared:
    case kNoCommand:
        switch (h % 4) {
        case 0:
        case 1:
            p.strIconPath = kSuiteExe;
            p.nIcon = static_cast<int>(h % 4);
            break;
        case 2:
            p.strIconPath = L"C:\\windows\\system32\\msiexec.exe";
            break;
        default:
            // The system library with some two hundred icons.
            p.strIconPath = L"C:\\windows\\system32\\shell32.dll";
            p.nIcon = 3 + static_cast<int>(h % 5) * 30;
            break;
        }
        p.strIconText = p.strIconPath + Format(L",%d", p.nIcon);
        break;
    case kUpdate:
        p.strKey = Format(L"KB%07d", 1000000 + i);
        p.strDisplayName = L"Update for " + p.strDisplayName + L" (" + p.strKey + L")";
        break;
    default:
        break;
    }
    return p;
}

bool CBenchData::WriteSharedFiles()
{
    if (m_bSharedWritten)
        return true;
    m_bSharedWritten = MakeFolders(kSuiteFolder) &&
                       CopyFileW(m_strTemplateExe.c_str(), kSuiteExe, FALSE);
    return m_bSharedWritten;
}

bool CBenchData::WriteFiles(const Program& p)
{
    if (p.kind == kShared || p.kind == kNoCommand || p.strIconPath.empty() || !p.bIconFileExists)
        return true;
    const bool bIco = p.strIconPath.compare(p.strIconPath.size() - 4, 4, L".ico") == 0;
    return CopyInto(bIco ? m_strTemplateIco : m_strTemplateExe, p.strIconPath);
}

bool CBenchData::WriteEntry(const Program& p)
{
    CKey key;
    if (!key.Create(p.hRoot, kUninstallKey + p.strKey, p.view))
        return false;
    bool bOk = key.Set(L"DisplayName", p.strDisplayName) && key.Set(L"Publisher", p.strPublisher) &&
               key.Set(L"DisplayVersion", Format(L"%d.%d.%d", p.strKey.size() % 9, 2, 1700)) &&
               key.Set(L"InstallLocation", p.strFolder) && key.Set(L"InstallDate", L"20240517") &&
               key.Set(L"EstimatedSize", static_cast<DWORD>(p.strKey.size() * 1371)) &&
               key.Set(L"NoModify", 1) && key.Set(L"NoRepair", 1) &&
               key.Set(L"URLInfoAbout", L"https://example.com/" + p.strPublisher);
    const std::wstring uninstaller = L"\"" + p.strFolder + L"\\uninst.exe\"";
    switch (p.kind) {
    case kProduct: {
        bOk = bOk && key.Set(L"UninstallString", L"MsiExec.exe /X" + p.strKey, REG_EXPAND_SZ) &&
              key.Set(L"WindowsInstaller", 1);
        CKey product;
        CWideString packed = PackProductCode(CWideString(p.strKey.c_str()));
        bOk = bOk && product.Create(HKEY_LOCAL_MACHINE, kProductsKey + std::wstring(packed.GetText()),
                                    p.view == 0 ? KEY_WOW64_64KEY : p.view) &&
              product.Set(L"ProductName", p.strDisplayName) &&
              product.Set(L"ProductIcon", p.strIconText);
        break;
    }
    case kArpCache: {
        bOk = bOk && key.Set(L"UninstallString", uninstaller + L" /S");
        // cbSize, HasName, InstallSize, LastUsed, TimesUsed, then the path.
        BYTE record[552] = {};
        const DWORD header[7] = {552, 1, 0x4000000, 0, 0, 0, 3};
        memcpy(record, header, sizeof(header));
        memcpy(record + 28, p.strIconPath.c_str(),
               std::min<size_t>(p.strIconPath.size() * sizeof(wchar_t), sizeof(record) - 30));
        CKey cache;
        bOk = bOk && cache.Create(p.hRoot, kArpCacheKey + p.strKey, p.view) &&
              cache.SetBinary(L"SlowInfoCache", record, sizeof(record)) &&
              cache.Set(L"Changed", 0);
        break;
    }
    case kUpdate:
        bOk = bOk && key.Set(L"ParentKeyName", L"OperatingSystem") &&
              key.Set(L"ParentDisplayName", L"Updates") &&
              key.Set(L"UninstallString", L"\"C:\\windows\\$NtUninstall" + p.strKey +
                                              L"$\\spuninst\\spuninst.exe\"");
        break;
    case kNoCommand:
        bOk = bOk && key.Set(L"SystemComponent", 1) && key.Set(L"DisplayIcon", p.strIconText);
        break;
    default:
        bOk = bOk && key.Set(L"UninstallString", uninstaller) &&
              key.Set(L"QuietUninstallString", uninstaller + L" /S") &&
              key.Set(L"DisplayIcon", p.strIconText);
        break;
    }
    return bOk;
}

bool CBenchData::GrowTo(int nCount)
{
    if (!WriteSharedFiles())
        return false;
    while (GetCount() < nCount) {
        Program p = Describe(GetCount());
        if (!WriteFiles(p) || !WriteEntry(p))
            return false;
        m_programs.push_back(p);
    }
    return Flush();
}

bool CBenchData::Flush()
{
    // Wine saves a changed registry to disk every little while, holding up
    // every registry call meanwhile: better now than during a measurement.
    return RegFlushKey(HKEY_LOCAL_MACHINE) == ERROR_SUCCESS &&
           RegFlushKey(HKEY_CURRENT_USER) == ERROR_SUCCESS;
}

int CBenchData::GetListedCount() const
{
    int n = 0;
    for (const Program& p : m_programs)
        n += p.kind != kNoCommand;
    return n;
}

std::vector<BenchIcon> CBenchData::GetDistinctIcons() const
{
    std::set<std::pair<std::wstring, int>> seen;
    std::vector<BenchIcon> icons;
    for (const Program& p : m_programs) {
        if (p.kind == kNoCommand || p.strIconPath.empty() || !p.bIconFileExists)
            continue;
        std::wstring folded = p.strIconPath;
        CharLowerBuffW(&folded[0], static_cast<DWORD>(folded.size()));
        if (seen.insert(std::make_pair(folded, p.nIcon)).second)
            icons.push_back({p.strIconPath, p.nIcon});
    }
    return icons;
}

std::wstring CBenchData::DescribeMix() const
{
    std::wstring text;
    for (int kind = 0; kind < kKindCount; ++kind)
        text += Format(L"%s%d%% %s", kind == 0 ? L"" : L", ", kMixPercent[kind], kKindNames[kind]);
    return text + L"; 55% machine-wide 32-bit view, 30% machine-wide 64-bit view, 15% per user";
}

bool CBenchData::Remove(int nProgram)
{
    const Program& p = m_programs[nProgram];
    return RegDeleteKeyExW(p.hRoot, (kUninstallKey + p.strKey).c_str(), p.view, 0) == ERROR_SUCCESS;
}

bool CBenchData::Restore(int nProgram)
{
    return WriteEntry(m_programs[nProgram]) && Flush();
}

int CBenchData::FindOwnIconProgram(int nFrom) const
{
    for (int i = nFrom; i < GetCount(); ++i) {
        if (m_programs[i].kind == kOwnIcon)
            return i;
    }
    return -1;
}
