// The program list window in this process, over many refreshes, against a
// fresh reading of the registry: the installed programs read without the
// window's caches, each icon extracted by the system. Only this file's
// entries count: commands that begin with "VxRows:", or the churn writer's
// product codes.
#include "framework/Afx.h"
#include "icons/IconLocation.h"
#include "inventory/InstalledPrograms.h"
#include "inventory/ProductCode.h"
#include "res/resource.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"
#include "ui/ProgramListDlg.h"
#include "window/ProgramDialogThread.h"

#include <commctrl.h>
// Kernel32's own entry points: no psapi.dll to link.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The blocks from operator new alive in the whole process, and their bytes.
std::atomic<long> s_nLive(0);
std::atomic<long long> s_cbLive(0);
// Armed by a test: the allocation of that thread that brings the count to 0 fails.
std::atomic<long> s_nFailIn(0);
DWORD s_dwFailThread = 0;

bool IsOurs(const std::wstring& command)
{
    return command.compare(0, 7, L"VxRows:") == 0 || command.compare(0, 25, L"msiexec.exe /x {7E57C0DE-") == 0;
}

// Name, command, and the icon drawn on white (nothing for the default icon).
typedef std::tuple<std::wstring, std::wstring, std::vector<DWORD>> Row;

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Icons that a refresh finds new come in on a timer after it: handles
// messages until the rows' images have kept still for a second, well beyond
// that timer's pause. False when they still changed after 20 s.
bool PumpUntilImagesSettle(HWND hList)
{
    std::vector<int> images, now;
    const DWORD dwStart = GetTickCount();
    for (DWORD dwChanged = dwStart; GetTickCount() - dwChanged < 1000; Sleep(10)) {
        if (GetTickCount() - dwStart > 20000)
            return false;
        PumpMessages();
        now.clear();
        for (int i = 0; i < ListView_GetItemCount(hList); ++i)
            now.push_back(ListItemImage(hList, i));
        if (now != images) {
            images.swap(now);
            dwChanged = GetTickCount();
        }
    }
    return true;
}

// A fresh reading's rows, each with the icon that the system extracts.
std::vector<Row> FreshRows(bool bShowUpdates, HIMAGELIST hOracle)
{
    std::vector<Row> rows;
    CInstalledPrograms programs;
    for (const CInstalledPrograms::Program& program : programs.Refresh(bShowUpdates)) {
        const std::wstring command = testsupport::Text(program.pEntry->strUninstallString);
        if (!IsOurs(command))
            continue;
        std::vector<DWORD> pixels;
        const DWORD attributes = program.pIcon != NULL ? GetFileAttributesW(program.pIcon->strPath.GetText())
                                                       : INVALID_FILE_ATTRIBUTES;
        HICON hIcon = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                          ? ExtractSmallIcon(program.pIcon->strPath.GetText(), program.pIcon->nIndex)
                          : NULL;
        if (hIcon != NULL) {
            pixels = testsupport::DrawnOnWhite(hOracle, ImageList_ReplaceIcon(hOracle, -1, hIcon));
            DestroyIcon(hIcon);
        }
        rows.emplace_back(testsupport::Text(program.pEntry->strDisplayName), command, pixels);
    }
    return rows;
}

// Wine's handle counters are stubs (GetGuiResources and GetProcessHandleCount
// answer 0), so leaks are read from where fresh handles land. A kernel handle
// takes the lowest free slot: a probe lands higher for every handle left open.
UINT_PTR KernelProbe()
{
    HANDLE hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    CloseHandle(hEvent);
    return reinterpret_cast<UINT_PTR>(hEvent);
}

// User handles (menus share their table with icons) and GDI handles reuse
// the slot freed last, so one probe tells nothing. Counted instead: the free
// slots below a mark beyond every slot in use (a slot is the handle's low
// word). How many menus (or bitmaps) it takes to reach nMark; with 0, the top
// slot + 1 of 6000. Destroyed newest first: the slots at the mark go to the
// bottom of the free list.
int Burst(bool bUser, WORD nMark)
{
    std::vector<HANDLE> made;
    WORD nTop = 0;
    while (made.size() < 30000 && (nMark != 0 ? nTop < nMark : made.size() < 6000)) {
        const HANDLE h = bUser ? static_cast<HANDLE>(CreateMenu()) : CreateBitmap(1, 1, 1, 1, NULL);
        if (h == NULL)
            break;
        made.push_back(h);
        nTop = std::max(nTop, LOWORD(reinterpret_cast<UINT_PTR>(h)));
    }
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        bUser ? DestroyMenu(static_cast<HMENU>(*it)) : DeleteObject(*it);
    return nMark != 0 ? static_cast<int>(made.size()) : nTop + 1;
}

class RefreshTest : public ::testing::Test
{
protected:
    RefreshTest()
    {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        // As the list was filled before the cache: slot 0, then ImageList_ReplaceIcon.
        ImageList_SetImageCount(m_hOracle, 1);
    }
    ~RefreshTest() override
    {
        m_dlg.DestroyWindow();
        ImageList_Destroy(m_hOracle);
        for (const std::wstring& file : m_files)
            DeleteFileW(file.c_str());
    }

    bool Create()
    {
        m_hList = m_dlg.Create() ? GetDlgItem(m_dlg.GetSafeHwnd(), IDC_PROGRAM_LIST) : NULL;
        return m_hList != NULL;
    }
    HIMAGELIST Images() const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessageW(m_hList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    }
    void Refresh(int nTimes = 1)
    {
        for (int i = 0; i < nTimes; ++i) {
            m_dlg.Refresh();
            PumpMessages();
        }
    }

    // The window's rows of this file's entries against a fresh reading, and
    // its image list holding the default icon and one slot per icon that a
    // row shows. The image of each of those rows, by name.
    std::map<std::wstring, int> ExpectFreshRows(bool bShowUpdates)
    {
        std::vector<Row> expected = FreshRows(bShowUpdates, m_hOracle), actual;
        std::map<std::wstring, int> images;
        std::set<int> used = {0};
        for (int i = 0; i < ListView_GetItemCount(m_hList); ++i) {
            const int nImage = ListItemImage(m_hList, i);
            used.insert(nImage);
            const std::wstring command = ListItemText(m_hList, i, 1);
            if (!IsOurs(command))
                continue;
            images[ListItemText(m_hList, i, 0)] = nImage;
            actual.emplace_back(ListItemText(m_hList, i, 0), command,
                                nImage > 0 ? testsupport::DrawnOnWhite(Images(), nImage) : std::vector<DWORD>());
        }
        EXPECT_EQ(static_cast<int>(used.size()), ImageList_GetImageCount(Images()));
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        EXPECT_EQ(expected.size(), actual.size());
        for (size_t i = 0; i < expected.size() && i < actual.size(); ++i)
            EXPECT_TRUE(expected[i] == actual[i]) << std::get<0>(expected[i]) << ": " << std::get<1>(expected[i])
                                                  << " / " << std::get<0>(actual[i]) << ": " << std::get<1>(actual[i]);
        return images;
    }

    const std::wstring m_iconFile = testsupport::ExeDir() + L"\\vx_three_icons.exe";
    HIMAGELIST m_hOracle = ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16);
    testsupport::CWrittenKeys m_written;
    std::vector<std::wstring> m_files;
    CProgramListDlg m_dlg;
    HWND m_hList = NULL;
};

}  // namespace

// Counted for the whole process; the runtime's array, nothrow and sized forms
// call these.
void* operator new(size_t cb)
{
    if (s_nFailIn > 0 && GetCurrentThreadId() == s_dwFailThread && --s_nFailIn == 0)
        throw std::bad_alloc();
    void* p = malloc(cb != 0 ? cb : 1);
    if (p == NULL)
        throw std::bad_alloc();
    ++s_nLive;
    s_cbLive += _msize(p);
    return p;
}

void operator delete(void* p) noexcept
{
    if (p == NULL)
        return;
    --s_nLive;
    s_cbLive -= _msize(p);
    free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }

// Icons that come while the window idles; then another process
// (vx_regchurn.exe) rewrites entries, their icon sources and installer
// product icons while the window refreshes in a loop: nothing may crash or
// hang, and the first refresh after it has stopped shows exactly what the
// registry holds, with and without updates. Then, at rest, a long run of
// refreshes over all of it must leave nothing behind.
TEST_F(RefreshTest, RowsFollowTheRegistryAndALongRunLeavesNothingBehind)
{
    const std::wstring icons = testsupport::TempPath(L"vx-refresh-icons.exe");
    ASSERT_TRUE(CopyFileW(m_iconFile.c_str(), icons.c_str(), FALSE));
    m_files.push_back(icons);
    auto entry = [&](const std::wstring& name, const std::wstring& displayIcon) {
        WriteUninstallEntry(m_written, name, {{L"UninstallString", L"VxRows:icons"}, {L"DisplayIcon", displayIcon}});
    };
    const wchar_t* const kinds[][2] = {{L"red", L""},  {L"green", L",1"},  {L"green too", L",01"},
                                       {L"blue", L",2"}, {L"beyond", L",3"}, {L"gone", L".gone,0"}};
    for (const auto& kind : kinds)
        entry(L"VxIcons " + std::wstring(kind[0]), icons + kind[1]);
    WriteUninstallEntry(m_written, L"VxIcons none", {{L"UninstallString", L"VxRows:icons"}});
    // More new icon files than a refresh extracts before its rows go in: the
    // rest come while the window idles. Each link is a file of its own.
    for (int i = 0; i < 300; ++i) {
        m_files.push_back(icons + L"." + std::to_wstring(i) + L".exe");
        if (!CreateHardLinkW(m_files.back().c_str(), icons.c_str(), NULL))
            CopyFileW(icons.c_str(), m_files.back().c_str(), FALSE);
        entry(L"VxIcons many " + std::to_wstring(i), m_files.back() + L"," + std::to_wstring(i % 3));
    }
    // The writer's entries, gone before and after.
    for (int i = 0; i < 40; ++i) {
        wchar_t name[64];
        wsprintfW(name, i < 30 ? L"VxChurn-%02d" : L"{7E57C0DE-0000-4000-8000-0000000000%02d}", i % 30);
        std::vector<std::wstring> paths = {testsupport::kUninstallKey + std::wstring(name),
                                           testsupport::kArpCacheKey + std::wstring(name)};
        if (i >= 30)
            paths.push_back(testsupport::kProductsKey +
                            std::wstring(PackProductCode(CWideString(name)).GetText()));
        for (const std::wstring& path : paths) {
            for (REGSAM view : {0, KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                const HKEY root = view == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
                testsupport::DeleteTree(root, path.c_str(), view);
                m_written.Add(root, path, view);
            }
        }
    }

    ASSERT_TRUE(Create());
    int nWaiting = 0;
    for (int i = 0; i < ListView_GetItemCount(m_hList); ++i)
        nWaiting += ListItemImage(m_hList, i) == 0 && ListItemText(m_hList, i, 0).compare(0, 13, L"VxIcons many ") == 0;
    EXPECT_GT(nWaiting, 0) << "rows whose icons come while the window idles";
    EXPECT_TRUE(PumpUntilImagesSettle(m_hList));
    std::map<std::wstring, int> images = ExpectFreshRows(true);
    EXPECT_EQ(images[L"VxIcons green"], images[L"VxIcons green too"]) << "one file and index";
    EXPECT_NE(images[L"VxIcons red"], images[L"VxIcons green"]);

    // Refreshes that change nothing, then one that drops the only row of an
    // icon, and the many rows, which would only slow what follows.
    Refresh(3);
    EXPECT_EQ(images, ExpectFreshRows(true));
    testsupport::DeleteTree(HKEY_CURRENT_USER, (testsupport::kUninstallKey + std::wstring(L"VxIcons blue")).c_str());
    for (int i = 0; i < 300; ++i) {
        const std::wstring path = testsupport::kUninstallKey + (L"VxIcons many " + std::to_wstring(i));
        testsupport::DeleteTree(HKEY_CURRENT_USER, path.c_str());
    }
    Refresh();
    ExpectFreshRows(true);

    // The writer runs until it is told to stop, so no assertion may come
    // between its start and its stop.
    wchar_t eventName[64];
    wsprintfW(eventName, L"VxChurnStop-%lu", GetCurrentProcessId());
    HANDLE hStop = CreateEventW(NULL, TRUE, FALSE, eventName);
    std::wstring writer = L"\"" + testsupport::ExeDir() + L"\\vx_regchurn.exe\" 20240611 " + eventName + L" \"" +
                          m_iconFile + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(NULL, &writer[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(hStop);
        FAIL() << "vx_regchurn.exe did not start";
    }
    CloseHandle(pi.hThread);
    int nRefreshes = 0;
    DWORD dwSlowest = 0;
    for (const DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < 6000; ++nRefreshes) {
        const DWORD dwBefore = GetTickCount();
        Refresh();
        dwSlowest = std::max(dwSlowest, GetTickCount() - dwBefore);
    }
    SetEvent(hStop);
    DWORD dwExitCode = 1;
    const DWORD dwWait = WaitForSingleObject(pi.hProcess, 10000);
    // Left running, it would rewrite the registry under the tests that follow.
    if (dwWait != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    EXPECT_EQ(WAIT_OBJECT_0, dwWait);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &dwExitCode) && dwExitCode == 0);
    CloseHandle(pi.hProcess);
    CloseHandle(hStop);
    EXPECT_GT(nRefreshes, 10);
    EXPECT_LT(dwSlowest, 5000u);

    Refresh();
    EXPECT_TRUE(PumpUntilImagesSettle(m_hList));
    ExpectFreshRows(true);
    SendMessageW(GetDlgItem(m_dlg.GetSafeHwnd(), IDC_SHOW_UPDATES), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntilImagesSettle(m_hList));
    ExpectFreshRows(false);

    // What the process has taken, before and after a long run; the rows and
    // images are read against a fresh reading once more at its end.
    Refresh(5);
    const WORD nUserMark = static_cast<WORD>(Burst(true, 0)), nGdiMark = static_cast<WORD>(Burst(false, 0));
    auto take = [&] {
        PROCESS_MEMORY_COUNTERS memory = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
        // No heap block of its own, and free slots counted down.
        return std::array<long long, 6>{s_nLive, s_cbLive, static_cast<long long>(KernelProbe()),
                                        -Burst(true, nUserMark), -Burst(false, nGdiMark),
                                        static_cast<long long>(memory.PagefileUsage)};
    };
    const std::array<long long, 6> before = take();
    Refresh(150);
    const std::array<long long, 6> after = take();
    const char* const what[] = {"blocks from operator new", "bytes from operator new", "kernel handles (keys, files)",
                                "user handles (icons)", "GDI handles", "private memory"};
    const long long slack[] = {0, 0, 0, 16, 16, 1024 * 1024};
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_LE(after[i] - before[i], slack[i]) << what[i];
    ExpectFreshRows(false);
}

// An allocation that fails at any point of a refresh: the list it leaves
// shows no freed entry or slot and draws again, and the next refresh is whole.
TEST_F(RefreshTest, AFailedAllocationLeavesAConsistentList)
{
    for (int i = 0; i < 6; ++i)
        WriteUninstallEntry(m_written, L"VxFail " + std::to_wstring(i),
                            {{L"UninstallString", L"VxRows:fail"}, {L"DisplayIcon", m_iconFile + L"," + std::to_wstring(i % 3)}});
    ASSERT_TRUE(Create());
    ASSERT_TRUE(IsWindowVisible(m_hList));
    bool bFailed = true;
    for (long n = 1; bFailed; ++n) {
        s_dwFailThread = GetCurrentThreadId();
        s_nFailIn = n;
        try {
            m_dlg.Refresh();
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << "the refresh let an allocation failure through, at " << n;
        }
        bFailed = s_nFailIn == 0;
        s_nFailIn = 0;
        PumpMessages();
        EXPECT_TRUE(IsWindowVisible(m_hList)) << "redrawing is off after a failure at " << n;
        const int nImages = ImageList_GetImageCount(Images());
        for (int i = 0; i < ListView_GetItemCount(m_hList); ++i) {
            EXPECT_LT(ListItemImage(m_hList, i), nImages) << n;
            EXPECT_FALSE(ListItemText(m_hList, i, 1).empty()) << n;
        }
    }
    Refresh();
    EXPECT_TRUE(PumpUntilImagesSettle(m_hList));
    ExpectFreshRows(true);
}
