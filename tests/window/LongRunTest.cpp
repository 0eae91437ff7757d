// A thousand refreshes of the program list window, in this process, over a
// few hundred entries with icons of every kind: nothing may accumulate.
#include "framework/Afx.h"
#include "inventory/ProductCode.h"
#include "res/resource.h"
#include "support/TestSupport.h"
#include "ui/ProgramListDlg.h"
#include "window/AllocationCounter.h"
#include "window/InProcessList.h"

#include <commctrl.h>
// Kernel32's own entry points: no psapi.dll to link.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CRegKey;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kProducts[] = L"SOFTWARE\\Classes\\Installer\\Products\\";
const int kEntries = 300;
const int kWarmUp = 20;
const int kRefreshes = 1000;

// Wine's handle counters are stubs (GetGuiResources and
// GetProcessHandleCount answer 0), so leaks are read from where fresh
// handles land.
//
// Kernel handles (registry keys, files, events) take the lowest free slot: a
// probe made and closed again lands higher for every handle left open.
UINT_PTR KernelProbe()
{
    HANDLE hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    CloseHandle(hEvent);
    return reinterpret_cast<UINT_PTR>(hEvent);
}

// User handles (icons, menus, windows) and GDI handles give out the slot
// freed last before a fresh one, so one probe tells nothing. Counted instead:
// how many objects can be made before one lands at or above a mark above
// every slot in use, that is the free slots below the mark. Every object
// left alive takes one of them.
struct HandleKind
{
    HANDLE (*pMake)();
    void (*pDestroy)(HANDLE);
};

// Icons share their table with menus, and a menu holds no GDI objects
// that would stir the other table.
const HandleKind kUserHandles = {
    [] { return static_cast<HANDLE>(CreateMenu()); },
    [](HANDLE h) { DestroyMenu(static_cast<HMENU>(h)); },
};

const HandleKind kGdiHandles = {
    [] { return static_cast<HANDLE>(CreateBitmap(1, 1, 1, 1, NULL)); },
    [](HANDLE h) { DeleteObject(h); },
};

// The slot number lies in the low word of both kinds.
WORD Slot(HANDLE h)
{
    return LOWORD(reinterpret_cast<UINT_PTR>(h));
}

// The slot made last, at or above the mark, goes to the bottom of the free
// list, where only a run out of lower slots reaches it.
void DestroyNewestFirst(const HandleKind& kind, const std::vector<HANDLE>& made)
{
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        kind.pDestroy(*it);
}

int FreeSlotsBelow(const HandleKind& kind, WORD nMark)
{
    std::vector<HANDLE> made;
    while (made.size() < 30000) {
        HANDLE h = kind.pMake();
        if (h == NULL)
            break;
        made.push_back(h);
        if (Slot(h) >= nMark)
            break;
    }
    DestroyNewestFirst(kind, made);
    return static_cast<int>(made.size());
}

// Past every free slot a burst lands on fresh ones, above all in use.
WORD ChooseMark(const HandleKind& kind)
{
    std::vector<HANDLE> made;
    WORD nMax = 0;
    for (int i = 0; i < 6000; ++i) {
        HANDLE h = kind.pMake();
        if (h == NULL)
            break;
        made.push_back(h);
        nMax = Slot(h) > nMax ? Slot(h) : nMax;
    }
    DestroyNewestFirst(kind, made);
    return static_cast<WORD>(nMax + 1);
}

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))
               ? counters.PagefileUsage
               : 0;
}

// What the window holds and what the process has taken, at one moment.
struct Snapshot
{
    int nRows;
    int nImages;
    long nAllocations;
    long long cbAllocated;
    UINT_PTR nKernelProbe;
    int nFreeUser;
    int nFreeGdi;
    SIZE_T cbPrivate;
};

class LongRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        for (int i = 0; i < kEntries; ++i) {
            WriteEntry(i);
            ASSERT_FALSE(HasFatalFailure());
        }
    }

    // Every kind of entry the scan and the icon lookup meet: icons by index,
    // out of range, of a missing file, from the installer's product data,
    // none at all, each in all three places; updates; entries without a
    // command.
    void WriteEntry(int i)
    {
        static const HKEY s_roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE};
        static const REGSAM s_views[] = {0, KEY_WOW64_32KEY, KEY_WOW64_64KEY};
        const std::wstring icons = testsupport::ExeDir() + L"\\vx_three_icons.exe";
        wchar_t name[64];
        const bool bProduct = i % 20 == 3;
        if (bProduct)
            wsprintfW(name, L"{%08X-0000-4000-8000-00000000BEEF}", 0x7E570000 + i);
        else
            wsprintfW(name, L"VxLong-%03d", i);

        const std::wstring path = kUninstall + std::wstring(name);
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(s_roots[i % 3], path.c_str(), s_views[i % 3]));
        m_written.Add(s_roots[i % 3], path, s_views[i % 3]);
        wchar_t display[64];
        wsprintfW(display, L"VxLong entry %03d", (i * 7919) % kEntries);
        key.SetString(L"DisplayName", display);
        if (i % 10 != 9 && !bProduct)
            key.SetString(L"UninstallString", (L"\"C:\\VxLong\\" + std::wstring(name) + L".exe\" /x").c_str());
        if (i % 15 == 7)
            key.SetString(L"ParentKeyName", L"VxLong-000");
        switch (i / 3 % 6) {
        case 0: key.SetString(L"DisplayIcon", icons.c_str()); break;
        case 1: key.SetString(L"DisplayIcon", (icons + L",1").c_str()); break;
        case 2: key.SetString(L"DisplayIcon", (icons + L",2").c_str()); break;
        case 3: key.SetString(L"DisplayIcon", (icons + L",7").c_str()); break;
        case 4: key.SetString(L"DisplayIcon", L"C:\\VxLong\\missing.exe,0"); break;
        default: break;
        }
        if (bProduct) {
            CWideString packed = PackProductCode(CWideString(name));
            const std::wstring product = kProducts + std::wstring(packed.GetText());
            CRegKey productKey;
            ASSERT_EQ(ERROR_SUCCESS, productKey.Create(HKEY_LOCAL_MACHINE, product.c_str()));
            m_written.Add(HKEY_LOCAL_MACHINE, product);
            productKey.SetString(L"ProductIcon", (icons + L",1").c_str());
        }
    }

    Snapshot Take(HWND hList)
    {
        Snapshot s;
        s.nRows = static_cast<int>(SendMessageW(hList, LVM_GETITEMCOUNT, 0, 0));
        HIMAGELIST hImages = reinterpret_cast<HIMAGELIST>(SendMessageW(hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        s.nImages = ImageList_GetImageCount(hImages);
        s.nAllocations = LiveAllocations();
        s.cbAllocated = LiveAllocatedBytes();
        s.nKernelProbe = KernelProbe();
        s.nFreeUser = FreeSlotsBelow(kUserHandles, m_nUserMark);
        s.nFreeGdi = FreeSlotsBelow(kGdiHandles, m_nGdiMark);
        s.cbPrivate = PrivateBytes();
        return s;
    }

    testsupport::CWrittenKeys m_written;
    WORD m_nUserMark = 0;
    WORD m_nGdiMark = 0;
};

}  // namespace

TEST_F(LongRunTest, AThousandRefreshesLeaveNothingBehind)
{
    CProgramListDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hList = GetDlgItem(dlg.GetSafeHwnd(), IDC_PROGRAM_LIST);
    for (int i = 0; i < kWarmUp; ++i) {
        dlg.Refresh();
        PumpMessages();
    }
    m_nUserMark = ChooseMark(kUserHandles);
    m_nGdiMark = ChooseMark(kGdiHandles);
    const Snapshot before = Take(hList);
    ASSERT_GE(before.nRows, kEntries / 2);
    ASSERT_GT(before.nImages, 3) << "the entries' own icons are in the list";

    const DWORD dwStart = GetTickCount();
    for (int i = 0; i < kRefreshes; ++i) {
        dlg.Refresh();
        PumpMessages();
    }
    const DWORD dwElapsed = GetTickCount() - dwStart;
    const Snapshot after = Take(hList);
    RecordProperty("refresh_ms", static_cast<int>(dwElapsed / kRefreshes));

    EXPECT_EQ(before.nRows, after.nRows);
    EXPECT_EQ(before.nImages, after.nImages) << "image list";
    EXPECT_EQ(before.nAllocations, after.nAllocations) << "blocks from operator new";
    EXPECT_EQ(before.cbAllocated, after.cbAllocated) << "bytes from operator new";
    EXPECT_EQ(before.nKernelProbe, after.nKernelProbe) << "kernel handles (keys, files)";
    EXPECT_LE(before.nFreeUser - after.nFreeUser, 16) << "user handles (icons)";
    EXPECT_LE(before.nFreeGdi - after.nFreeGdi, 16) << "GDI handles";
    EXPECT_LT(after.cbPrivate, before.cbPrivate + 1024 * 1024) << "private memory";

    dlg.DestroyWindow();
}
