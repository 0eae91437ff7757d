#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The installed programs of a benchmark run, written into the throwaway
// prefix: uninstall entries in both hives and both registry views, and the
// icon files they name. Program i is always the same, so a larger set is the
// smaller one plus more programs.

struct BenchIcon
{
    std::wstring strPath;
    int nIndex;
};

class CBenchData
{
public:
    // templateDir holds BenchApp.exe and BenchApp_modern.ico.
    explicit CBenchData(const std::wstring& templateDir);

    // Writes programs until there are nCount. False when a write failed.
    bool GrowTo(int nCount);
    int GetCount() const { return static_cast<int>(m_programs.size()); }

    // Programs that get a row (they have a command).
    int GetListedCount() const;
    // The distinct icon locations of those rows whose file exists: what any
    // listing with icons must extract once.
    std::vector<BenchIcon> GetDistinctIcons() const;
    // The mix of kinds and places, for the report.
    std::wstring DescribeMix() const;

    // What an uninstaller leaves behind: the entry's key is gone. Restore
    // writes it again.
    bool Remove(int nProgram);
    bool Restore(int nProgram);
    // Writes the registry to disk now.
    bool Flush();
    // A listed program whose own icon file nothing else uses.
    int FindOwnIconProgram(int nFrom) const;

private:
    enum Kind
    {
        kOwnIcon,     // DisplayIcon names the program's own executable or .ico file
        kProduct,     // installer product: ProductIcon under Classes\Installer\Products
        kArpCache,    // no DisplayIcon; an ARPCache SlowInfoCache record names the program
        kMissing,     // DisplayIcon names a file that is gone
        kShared,      // DisplayIcon names a file that other programs name too
        kUpdate,      // ParentKeyName: an update of another program, no icon of its own
        kNoCommand,   // a component without an uninstall command: no row
        kKindCount
    };

    struct Program
    {
        Kind kind;
        HKEY hRoot;
        REGSAM view;  // KEY_WOW64_32KEY or KEY_WOW64_64KEY; 0 for HKEY_CURRENT_USER
        std::wstring strKey;
        std::wstring strDisplayName;
        std::wstring strPublisher;
        std::wstring strFolder;
        std::wstring strIconPath;  // empty: none
        int nIcon;
        bool bIconFileExists;
        std::wstring strIconText;  // the stored location
    };

    Program Describe(int i) const;
    bool WriteFiles(const Program& program);
    bool WriteEntry(const Program& program);
    bool WriteSharedFiles();

    std::wstring m_strTemplateExe;
    std::wstring m_strTemplateIco;
    std::vector<Program> m_programs;
    std::vector<Kind> m_mix;
    bool m_bSharedWritten;
};
