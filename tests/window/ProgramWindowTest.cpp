// The program run in this process, one window for all tests (a start under
// Wine costs seconds), driven with real messages, input and uninstallers.
#include "framework/Afx.h"
#include "inventory/InstalledPrograms.h"
#include "inventory/ProductCode.h"
#include "res/resource.h"
#include "support/ImagePixels.h"
#include "support/TestSupport.h"
#include "ui/ProgramListDlg.h"
#include "uninstall/UninstallWorker.h"

#include <commctrl.h>
// Kernel32's own entry points: no psapi.dll to link.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::ExeDir;
using testsupport::kUninstallKey;

namespace {

// Polls pred every 20 ms until it holds; false after timeoutMs.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = 20000)
{
    for (const DWORD dwStart = GetTickCount(); !pred(); Sleep(20))
        if (GetTickCount() - dwStart > timeoutMs)
            return false;
    return true;
}


const UINT WM_INVOKE = WM_APP + 1;

LRESULT CALLBACK InvokerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INVOKE)
        return DefWindowProcW(hWnd, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

void SendMouse(DWORD dwFlags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = dwFlags;
    SendInput(1, &input, sizeof(input));
}

// The program's own start (AfxWinMain) on a thread; Invoke runs code on it.
class CProgramThread
{
public:
    CProgramThread()
    {
        m_hReady = CreateEventW(NULL, TRUE, FALSE, NULL);
        m_hEnded = CreateEventW(NULL, TRUE, FALSE, NULL);
        m_thread = std::thread(&CProgramThread::ThreadMain, this);
        WaitForSingleObject(m_hReady, 60000);
    }
    ~CProgramThread() { Close(); }
    HWND Window() const { return m_hWnd; }
    HWND Control(int nID) const { return GetDlgItem(m_hWnd, nID); }
    void Invoke(const std::function<void()>& fn) const
    {
        SendMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&fn));
    }
    HCURSOR Cursor() const
    {
        HCURSOR hCursor = NULL;
        Invoke([&] { hCursor = GetCursor(); });
        return hCursor;
    }
    void Close()
    {
        if (!m_thread.joinable())
            return;
        PostMessageW(m_hWnd, WM_COMMAND, IDC_CLOSE, 0);
        // Ends a modal box that a failed test left open, too.
        PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
        // A thread that hangs is left to the end of the process, with its events.
        if (WaitForSingleObject(m_hEnded, 15000) != WAIT_OBJECT_0) {
            m_thread.detach();
            return;
        }
        m_thread.join();
        CloseHandle(m_hReady);
        CloseHandle(m_hEnded);
    }

private:
    void ThreadMain()
    {
        m_dwThreadId = GetCurrentThreadId();
        const WNDCLASSW wc = {0, InvokerProc, 0, 0, NULL, NULL, NULL, NULL, NULL, L"VantixTestInvoker"};
        RegisterClassW(&wc);
        m_hInvoker = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        // Run by the modal loop, once the main window is up and shown.
        const std::function<void()> shown = [&] {
            m_hWnd = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
            SetEvent(m_hReady);
        };
        PostMessageW(m_hInvoker, WM_INVOKE, 0, reinterpret_cast<LPARAM>(&shown));
        AfxWinMain(GetModuleHandleW(NULL), NULL, NULL, SW_SHOWNORMAL);
        SetEvent(m_hReady);
        DestroyWindow(m_hInvoker);
        SetEvent(m_hEnded);
    }

    std::thread m_thread;
    HANDLE m_hReady = NULL;
    HANDLE m_hEnded = NULL;
    DWORD m_dwThreadId = 0;
    HWND m_hWnd = NULL;
    HWND m_hInvoker = NULL;
};

// A text read into cch characters, and the buffer's 4 characters past them.
std::wstring ListBuffer(HWND hList, int nRow, int nColumn, int cch)
{
    std::wstring text(cch + 4, L'#');
    LVITEMW item = {};
    item.iSubItem = nColumn;
    item.pszText = &text[0];
    item.cchTextMax = cch;
    SendMessageW(hList, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring ListText(HWND hList, int nRow, int nColumn) { return ListBuffer(hList, nRow, nColumn, 1024).c_str(); }

// -2 when it cannot be read.
int ListImage(HWND hList, int nRow)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = nRow;
    return ListView_GetItem(hList, &item) ? item.iImage : -2;
}

int FindRow(HWND hList, const std::wstring& name)
{
    for (int i = 0, n = ListView_GetItemCount(hList); i < n; ++i)
        if (ListText(hList, i, 0) == name)
            return i;
    return -1;
}

// Under X a motion left over from an earlier move can come after a new one.
bool PointUntil(int x, int y, const std::function<bool()>& pred)
{
    for (int i = 0; i < 10; ++i) {
        SetCursorPos(x, y);
        SendMouse(MOUSEEVENTF_MOVE);
        if (WaitUntil(pred, 500))
            return true;
    }
    return false;
}

bool WriteUninstallEntry(testsupport::CWrittenKeys& written, const std::wstring& name,
                         std::initializer_list<std::pair<const wchar_t*, std::wstring>> values,
                         HKEY root = HKEY_CURRENT_USER, REGSAM view = 0)
{
    bool bWritten = true;
    for (const auto& value : values) {
        const DWORD cb = static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t));
        bWritten = bWritten && written.Set(root, testsupport::kUninstallKey + name, view, value.first, REG_SZ,
                                           value.second.c_str(), cb) == ERROR_SUCCESS;
    }
    return bWritten;
}

// An empty command leaves none.
void SetHttpsHandler(const std::wstring& command)
{
    testsupport::DeleteTree(HKEY_CLASSES_ROOT, L"https\\shell");
    testsupport::CRegKey key;
    if (!command.empty() && key.Create(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command") == ERROR_SUCCESS)
        key.SetString(L"", command.c_str());
}

std::wstring ClipboardText(bool bEmpty = false)
{
    std::wstring text;
    if (!OpenClipboard(NULL))
        return L"<busy>";
    HANDLE hData = GetClipboardData(CF_UNICODETEXT);
    if (const wchar_t* pText = hData != NULL ? static_cast<const wchar_t*>(GlobalLock(hData)) : NULL) {
        text.assign(pText, wcsnlen(pText, GlobalSize(hData) / sizeof(wchar_t)));
        GlobalUnlock(hData);
    }
    if (bEmpty)
        EmptyClipboard();
    CloseClipboard();
    return text;
}

// The link's own cursor; false once it is destroyed.
bool IsHandCursor(HCURSOR hCursor)
{
    ICONINFO info;
    if (hCursor == NULL || !GetIconInfo(hCursor, &info))
        return false;
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    return !info.fIcon && info.xHotspot == 6 && info.yHotspot == 0;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Marker(const std::wstring& path) { return L" marker \"" + path + L"\""; }

// The message box that the window owns, or NULL.
HWND OwnedBox(HWND hOwner)
{
    HWND hBox = NULL;
    while ((hBox = FindWindowExW(NULL, hBox, WC_DIALOG, L"Vantix")) != NULL && GetWindow(hBox, GW_OWNER) != hOwner) {
    }
    return hBox;
}

// Blocks from operator new alive in the process, and their bytes; an armed
// count fails that thread's allocation that brings it to 0.
std::atomic<long> s_nLive(0);
std::atomic<long long> s_cbLive(0);
std::atomic<long> s_nFailIn(0);
DWORD s_dwFailThread = 0;

bool IsOurs(const std::wstring& command)
{
    return command.compare(0, 7, L"VxRows:") == 0 || command.compare(0, 25, L"msiexec.exe /x {7E57C0DE-") == 0;
}

// Name, command, and the icon drawn on white (nothing for the default icon).
typedef std::tuple<std::wstring, std::wstring, std::vector<DWORD>> Row;

// New icons come in on a timer after a refresh: waits until the images have
// kept still for a second.
bool ImagesSettle(HWND hList)
{
    std::vector<int> images;
    DWORD dwChanged = GetTickCount();
    return WaitUntil([&] {
        std::vector<int> now;
        for (int i = 0; i < ListView_GetItemCount(hList); ++i)
            now.push_back(ListImage(hList, i));
        if (now != images) {
            images.swap(now);
            dwChanged = GetTickCount();
        }
        return GetTickCount() - dwChanged >= 1000;
    });
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
        const wchar_t* pszIcon = program.pIcon != NULL ? program.pIcon->strPath.GetText() : L"";
        const DWORD attributes = GetFileAttributesW(pszIcon);
        HICON hIcon = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
                          ? ExtractSmallIcon(pszIcon, program.pIcon->nIndex) : NULL;
        if (hIcon != NULL) {
            pixels = testsupport::DrawnOnWhite(hOracle, ImageList_ReplaceIcon(hOracle, -1, hIcon));
            DestroyIcon(hIcon);
        }
        rows.emplace_back(testsupport::Text(program.pEntry->strDisplayName), command, pixels);
    }
    return rows;
}

// Wine's handle counters answer 0. A kernel handle takes the lowest free
// slot: a probe lands higher for every handle left open.
UINT_PTR KernelProbe()
{
    HANDLE hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    CloseHandle(hEvent);
    return reinterpret_cast<UINT_PTR>(hEvent);
}

// User (icons share the menus' table) and GDI handles reuse the slot freed
// last: counts the menus (bitmaps) it takes to reach slot nMark, or with 0 the
// mark past 6000 of them; freed newest first to keep the mark's slots last.
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

class ProgramWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_pProgram = new CProgramThread; }
    static void TearDownTestSuite() { delete s_pProgram; }
    void SetUp() override { ASSERT_TRUE(IsWindow(m_hWnd)); }
    ~ProgramWindowTest() override { for (const std::wstring& file : m_files) DeleteFileW(file.c_str()); }

    void Refresh(int nTimes = 1) const
    {
        for (int i = 0; i < nTimes; ++i)
            SendMessageW(m_program.Control(IDC_REFRESH), BM_CLICK, 0, 0);
    }
    bool Shows(const std::wstring& name) const { return FindRow(m_hList, name) != -1; }

    std::wstring TempFile(const wchar_t* name)
    {
        m_files.push_back(testsupport::TempPath(name));
        DeleteFileW(m_files.back().c_str());
        return m_files.back();
    }

    // An entry without a DisplayName: its row shows the key's name.
    bool WriteEntry(const std::wstring& name, const std::wstring& command)
    {
        return WriteUninstallEntry(m_written, name, {{L"UninstallString", command}});
    }

    // A row that only a refresh after this moment can show.
    std::wstring WriteProbe()
    {
        const std::wstring name = L"VxProbe " + std::to_wstring(++m_nProbes);
        EXPECT_TRUE(WriteEntry(name, L"probe.exe"));
        return name;
    }

    // Selects the row and clicks Remove as soon as it is available.
    bool Remove(const wchar_t* name) const
    {
        const HWND hRemove = m_program.Control(IDC_REMOVE);
        const UINT nState = LVIS_SELECTED | LVIS_FOCUSED;
        ListView_SetItemState(m_hList, FindRow(m_hList, name), nState, nState);
        return WaitUntil([&] { return IsWindowEnabled(hRemove) != FALSE; }) && PostMessageW(hRemove, BM_CLICK, 0, 0);
    }

    // This test's rows against a fresh reading once icons have come; the image
    // list holds the default icon and one slot per icon that a row shows.
    void ExpectFreshRows(bool bShowUpdates) const
    {
        EXPECT_TRUE(ImagesSettle(m_hList));
        const HIMAGELIST hImages = ListView_GetImageList(m_hList, LVSIL_SMALL);
        std::unique_ptr<_IMAGELIST, decltype(&ImageList_Destroy)> oracle(
            ImageList_Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 16), ImageList_Destroy);
        std::vector<Row> expected = FreshRows(bShowUpdates, oracle.get()), actual;
        std::set<int> used = {0};
        for (int i = 0; i < ListView_GetItemCount(m_hList); ++i) {
            const int nImage = ListImage(m_hList, i);
            used.insert(nImage);
            const std::wstring command = ListText(m_hList, i, 1);
            if (IsOurs(command))
                actual.emplace_back(ListText(m_hList, i, 0), command,
                                    nImage > 0 ? testsupport::DrawnOnWhite(hImages, nImage) : std::vector<DWORD>());
        }
        EXPECT_EQ(static_cast<int>(used.size()), ImageList_GetImageCount(hImages));
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        EXPECT_EQ(expected.size(), actual.size());
        for (size_t i = 0; i < expected.size() && i < actual.size(); ++i)
            EXPECT_TRUE(expected[i] == actual[i]) << std::get<0>(expected[i]) << " / " << std::get<0>(actual[i]);
    }

    static CProgramThread* s_pProgram;
    const CProgramThread& m_program = *s_pProgram;
    const HWND m_hWnd = s_pProgram->Window(), m_hList = s_pProgram->Control(IDC_PROGRAM_LIST);
    testsupport::CWrittenKeys m_written;
    std::vector<std::wstring> m_files;
    int m_nProbes = 0;
};

CProgramThread* ProgramWindowTest::s_pProgram = NULL;

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

TEST_F(ProgramWindowTest, ControlsAndGripFollowResizingMaximizeAndMinimize)
{
    RECT rcStart;
    GetWindowRect(m_hWnd, &rcStart);
    auto controlRect = [&](int nID) {  // client coordinates
        RECT rc;
        GetWindowRect(m_program.Control(nID), &rc);
        MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    };
    auto resizeBy = [&](int dx, int dy) {
        SetWindowPos(m_hWnd, NULL, 0, 0, rcStart.right - rcStart.left + dx, rcStart.bottom - rcStart.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    // The list and Close keep the label's distance from the right and bottom
    // edges, the other buttons their place in Close's row; a grip unless maximized.
    auto layout = [&] {
        RECT rcClient;
        GetClientRect(m_hWnd, &rcClient);
        const RECT rcList = controlRect(IDC_PROGRAM_LIST), rcClose = controlRect(IDC_CLOSE);
        POINT ptCorner = {rcClient.right - 2, rcClient.bottom - 2};
        ClientToScreen(m_hWnd, &ptCorner);
        const LRESULT nHit = SendMessageW(m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(ptCorner.x, ptCorner.y));
        std::vector<LONG> kept = {rcClient.right - rcList.right, rcClient.right - rcClose.right,
                                  rcClient.bottom - rcClose.bottom, rcClose.top - rcList.bottom,
                                  nHit == (IsZoomed(m_hWnd) ? HTCLIENT : HTBOTTOMRIGHT)};
        for (int nID : {IDC_REMOVE, IDC_REFRESH, IDC_SHOW_UPDATES})
            kept.insert(kept.end(), {controlRect(nID).left, controlRect(nID).top - rcClose.top});
        return kept;
    };
    const RECT rcLabel = controlRect(IDC_LIST_LABEL);
    std::vector<LONG> laidOut = layout();
    std::fill_n(laidOut.begin(), 2, rcLabel.left);
    std::fill_n(laidOut.begin() + 2, 2, rcLabel.top);
    for (POINT d : {POINT{150, 0}, POINT{211, 157}, POINT{-45, -33}, POINT{-1000, -1000}}) {
        SCOPED_TRACE(::testing::Message() << "grown by " << d.x << " x " << d.y);
        resizeBy(d.x, d.y);
        EXPECT_EQ(laidOut, layout());
    }

    // Not the template's size, so only a fresh layout puts things back. With
    // no window manager, Wine takes the next configure event for a restore:
    // all is run and read before the window's thread goes back to its loop.
    m_program.Invoke([&] {
        const UINT commands[] = {SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE, SC_RESTORE};
        const char expected[] = "ZIZN";  // zoomed, iconic or normal after each
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(::testing::Message() << "command " << i);
            SendMessageW(m_hWnd, WM_SYSCOMMAND, commands[i], 0);
            const char state = IsIconic(m_hWnd) ? 'I' : IsZoomed(m_hWnd) ? 'Z' : 'N';
            ASSERT_EQ(expected[i], state);
            EXPECT_TRUE(state == 'I' || laidOut == layout());
        }
    });
    resizeBy(0, 0);
}

TEST_F(ProgramWindowTest, SystemMenuOpensAModalBoxWhoseLinkOpensOrCopiesItsAddress)
{
    const HMENU hMenu = GetSystemMenu(m_hWnd, FALSE);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(hMenu, GetMenuItemCount(hMenu) - 1));
    // The low four bits of a system command are the system's own.
    PostMessageW(m_hWnd, WM_SYSCOMMAND, IDM_ABOUTBOX | 1, 0);
    HWND hAbout = NULL;
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(hAbout = FindWindowW(WC_DIALOG, L"About Vantix")); }));
    EXPECT_FALSE(IsWindowEnabled(m_hWnd)) << "modal";
    const HWND hLink = GetDlgItem(hAbout, IDC_HOMEPAGE_LINK);
    // The link is given an underlined font once, not at every paint.
    auto paintedFont = [&] {
        m_program.Invoke([&] { RedrawWindow(hAbout, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); });
        return reinterpret_cast<HFONT>(SendMessageW(hLink, WM_GETFONT, 0, 0));
    };
    const HFONT hLinkFont = paintedFont();
    EXPECT_EQ(hLinkFont, paintedFont());
    LOGFONTW lf = {};
    EXPECT_TRUE(GetObjectW(hLinkFont, sizeof(lf), &lf) == sizeof(lf) && lf.lfUnderline);

    // Real clicks right of the link's text (all its rectangle is the link):
    // with no handler for the address a click copies it, else opens it.
    HCURSOR hHand = NULL;
    auto click = [&] {
        RECT rc;
        GetWindowRect(hLink, &rc);
        EXPECT_TRUE(PointUntil(rc.right - 4, (rc.top + rc.bottom) / 2,
                               [&] { return IsHandCursor(hHand = m_program.Cursor()); }));
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    };
    wchar_t address[256] = {};
    GetWindowTextW(hLink, address, 256);
    SetHttpsHandler(L"");
    ClipboardText(true);
    click();
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == address; })) << "clipboard: " << ClipboardText().c_str();

    const std::wstring outFile = TempFile(L"vx_about_open.txt");
    SetHttpsHandler(L"\"" + ExeDir() + L"\\vx_record_args.exe\" \"" + outFile + L"\" \"%1\"");
    ClipboardText(true);
    Sleep(GetDoubleClickTime() + 100);  // a double click opens nothing
    click();
    std::string opened;
    EXPECT_TRUE(WaitUntil([&] {
        std::ifstream in(outFile.c_str());
        opened.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !opened.empty() && opened.back() == '\n';
    }));
    EXPECT_EQ(std::string(address, address + wcslen(address)) + "\n", opened);
    EXPECT_EQ(L"", ClipboardText());
    SetHttpsHandler(L"");

    // Escape at its focused button closes it; its font and cursor go soon after.
    PostMessageW(GetDlgItem(hAbout, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hAbout) && IsWindowEnabled(m_hWnd); }));
    EXPECT_TRUE(WaitUntil([&] { return GetObjectType(hLinkFont) == 0; })) << "underlined font deleted";
    EXPECT_TRUE(WaitUntil([&] { return !IsHandCursor(hHand); })) << "hand cursor destroyed";
}

// The program's manifest, linked in with its resources.
TEST(Resources, ManifestLoadsCommonControls6)
{
    wchar_t szPath[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), szPath, MAX_PATH);
    EXPECT_NE(nullptr, wcsstr(_wcslwr(szPath), L"common-controls_6595b64144ccf1df_6.")) << szPath;
}

TEST_F(ProgramWindowTest, ListsBothHivesAndViewsSortsAndAnswersTheKeyboard)
{
    // Only a sort without case gives the expected order.
    auto write = [&](HKEY root, REGSAM view, wchar_t letter, const wchar_t* prefix, const wchar_t* command) {
        const std::wstring last(1, letter);
        EXPECT_TRUE(WriteUninstallEntry(m_written, L"VxWin-" + last,
                                        {{L"DisplayName", prefix + last}, {L"UninstallString", command}}, root, view));
    };
    write(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L'a', L"vxwin ", L"vxwin-4.exe");
    write(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L'B', L"VxWin ", L"vxwin-2.exe");
    write(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L'c', L"VXWIN ", L"vxwin-3.exe");
    write(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L'c', L"VXWIN ", L"vxwin-3.exe");
    write(HKEY_CURRENT_USER, 0, L'd', L"VxWin ", L"\"C:\\vxwin 1\\u.exe\" /x");
    write(HKEY_CURRENT_USER, 0, L'e', L"vxwin ", L"vxwin-5.exe");
    Refresh();
    const HWND hHeader = ListView_GetHeader(m_hList);
    // The last letters of this test's rows, and which column has the arrow.
    auto order = [&] {
        std::wstring seen;
        for (int i = 0; i < ListView_GetItemCount(m_hList); ++i) {
            const std::wstring name = ListText(m_hList, i, 0);
            if (_wcsnicmp(name.c_str(), L"vxwin ", 6) == 0)
                seen += name.back();
        }
        for (int nColumn : {0, 1}) {
            HDITEMW item = {};
            item.mask = HDI_FORMAT;
            Header_GetItem(hHeader, nColumn, &item);
            seen += (item.fmt & (HDF_BITMAP | HDF_BITMAP_ON_RIGHT)) != 0 ? L" ^" : L" -";
        }
        return seen;
    };
    auto clickHeader = [&](int nColumn) {
        RECT rc = {};
        Header_GetItemRect(hHeader, nColumn, &rc);
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageW(hHeader, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hHeader, WM_LBUTTONUP, 0, at);
    };
    // Both views of HKLM (a key in both twice); Windows 2000 has no views.
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_EQ(bWindows2000 ? L"acde ^ -" : L"aBccde ^ -", order());
    // The same column reverses, another sorts ascending; F5 at any control
    // refreshes and keeps the sort.
    clickHeader(0);
    EXPECT_EQ(bWindows2000 ? L"edca ^ -" : L"edccBa ^ -", order());
    clickHeader(1);
    write(HKEY_CURRENT_USER, 0, L'f', L"vxwin ", L"vxwin-0.exe");
    PostMessageW(m_hList, WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(WaitUntil([&] { return order().find(L'f') != std::wstring::npos; }));
    write(HKEY_CURRENT_USER, 0, L'g', L"vxwin ", L"vxwin-6.exe");
    PostMessageW(m_program.Control(IDC_SHOW_UPDATES), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(WaitUntil([&] { return order().find(L'g') != std::wstring::npos; }));
    EXPECT_EQ(bWindows2000 ? L"dfcaeg - ^" : L"dfBccaeg - ^", order());

    // Nothing selected: no Remove; the keyboard's context menu opens at the
    // list's corner, and a click outside the list opens none.
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(IDC_REMOVE)));
    m_program.Invoke([&] { SetFocus(m_hList); });
    auto popupMenu = [&] {
        HWND hMenu = NULL;
        while ((hMenu = FindWindowExW(NULL, hMenu, L"#32768", NULL)) != NULL && !IsWindowVisible(hMenu)) {
        }
        return hMenu;
    };
    RECT rcList, rcClose, rcMenu;
    GetWindowRect(m_hList, &rcList);
    GetWindowRect(m_program.Control(IDC_CLOSE), &rcClose);
    PostMessageW(m_hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hList), MAKELPARAM(-1, -1));
    ASSERT_TRUE(WaitUntil([&] { return GetWindowRect(popupMenu(), &rcMenu) != FALSE; }));
    EXPECT_EQ(rcList.left + 5, rcMenu.left);
    EXPECT_EQ(rcList.top + 5, rcMenu.top);
    SendMessageW(m_hWnd, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return popupMenu() == NULL; }));
    PostMessageW(m_hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hWnd),
                 MAKELPARAM(rcClose.left + 2, rcClose.top + 2));
    Sleep(500);
    EXPECT_EQ(NULL, popupMenu());
}

// Through icons that come while idle, failed allocations and another process
// rewriting entries and icons, the rows show what the registry holds.
TEST_F(ProgramWindowTest, RowsFollowTheRegistryThroughFailuresAndChurnAndALongRunLeavesNothingBehind)
{
    const std::wstring iconFile = ExeDir() + L"\\vx_three_icons.exe", icons = TempFile(L"vx-refresh-icons.exe");
    ASSERT_TRUE(CopyFileW(iconFile.c_str(), icons.c_str(), FALSE));
    auto entry = [&](const std::wstring& name, const std::wstring& displayIcon) {
        WriteUninstallEntry(m_written, name, {{L"UninstallString", L"VxRows:icons"}, {L"DisplayIcon", displayIcon}});
    };
    const wchar_t* const kinds[][2] = {{L"red", L""},  {L"green", L",1"},  {L"green too", L",01"},
                                       {L"blue", L",2"}, {L"beyond", L",3"}, {L"gone", L".gone,0"}};
    for (const auto& kind : kinds)
        entry(L"VxIcons " + std::wstring(kind[0]), icons + kind[1]);
    WriteUninstallEntry(m_written, L"VxIcons update",
                        {{L"UninstallString", L"VxRows:icons"}, {L"ParentKeyName", L"VxIcons"}});
    // More new icon files than a refresh extracts before its rows go in.
    for (int i = 0; i < 300; ++i) {
        m_files.push_back(icons + L"." + std::to_wstring(i) + L".exe");
        if (!CreateHardLinkW(m_files.back().c_str(), icons.c_str(), NULL))
            CopyFileW(icons.c_str(), m_files.back().c_str(), FALSE);
        entry(L"VxIcons many " + std::to_wstring(i), m_files.back() + L"," + std::to_wstring(i % 3));
    }
    // The writer's entries, gone afterwards.
    for (int i = 0; i < 40; ++i) {
        wchar_t name[64];
        wsprintfW(name, i < 30 ? L"VxChurn-%02d" : L"{7E57C0DE-0000-4000-8000-0000000000%02d}", i % 30);
        std::vector<std::wstring> paths = {kUninstallKey + std::wstring(name),
                                           testsupport::kArpCacheKey + std::wstring(name)};
        if (i >= 30)
            paths.push_back(testsupport::kProductsKey + std::wstring(PackProductCode(CWideString(name)).GetText()));
        for (const std::wstring& path : paths)
            for (REGSAM view : {0, KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                m_written.Add(view == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path, view);
    }

    Refresh();
    ExpectFreshRows(true);
    EXPECT_EQ(ListImage(m_hList, FindRow(m_hList, L"VxIcons green")),
              ListImage(m_hList, FindRow(m_hList, L"VxIcons green too")));

    // A refresh that drops the only row of an icon, and the many rows.
    testsupport::DeleteTree(HKEY_CURRENT_USER, (kUninstallKey + std::wstring(L"VxIcons blue")).c_str());
    for (int i = 0; i < 300; ++i)
        testsupport::DeleteTree(HKEY_CURRENT_USER, (kUninstallKey + (L"VxIcons many " + std::to_wstring(i))).c_str());
    Refresh();
    ExpectFreshRows(true);

    // A failed refresh shows no freed entry or slot, and draws again.
    CProgramListDlg* pDialog = static_cast<CProgramListDlg*>(AfxGetApp()->m_pMainWnd);
    bool bFailed = true;
    for (long n = 1; bFailed; ++n) {
        m_program.Invoke([&] {
            s_dwFailThread = GetCurrentThreadId();
            s_nFailIn = n;
            pDialog->Refresh();
            bFailed = s_nFailIn == 0;
            s_nFailIn = 0;
        });
        EXPECT_TRUE(IsWindowVisible(m_hList)) << "redrawing is off after a failure at " << n;
        const int nImages = ImageList_GetImageCount(ListView_GetImageList(m_hList, LVSIL_SMALL));
        for (int i = 0; i < ListView_GetItemCount(m_hList); ++i) {
            EXPECT_LT(ListImage(m_hList, i), nImages) << n;
            EXPECT_FALSE(ListText(m_hList, i, 1).empty()) << n;
        }
    }
    ExpectFreshRows(true);

    // The writer runs until told to stop: no assertion before that.
    const std::wstring eventName = L"VxChurnStop-" + std::to_wstring(GetCurrentProcessId());
    HANDLE hStop = CreateEventW(NULL, TRUE, FALSE, eventName.c_str());
    std::wstring writer = L"\"" + ExeDir() + L"\\vx_regchurn.exe\" 20240611 " + eventName + L" \"" + iconFile + L"\"";
    DWORD dwWriter = 1;
    std::thread writerThread([&] { dwWriter = testsupport::RunAndWait(writer, 60000); });
    for (const DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < 6000;)
        Refresh();
    SetEvent(hStop);
    writerThread.join();
    EXPECT_EQ(0u, dwWriter);
    CloseHandle(hStop);

    Refresh();
    ExpectFreshRows(true);
    SendMessageW(m_program.Control(IDC_SHOW_UPDATES), BM_CLICK, 0, 0);
    ExpectFreshRows(false);

    // What the process holds before and after a long run.
    Refresh(5);
    const WORD nUserMark = static_cast<WORD>(Burst(true, 0)), nGdiMark = static_cast<WORD>(Burst(false, 0));
    auto take = [&] {
        PROCESS_MEMORY_COUNTERS memory = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
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
    SendMessageW(m_program.Control(IDC_SHOW_UPDATES), BM_CLICK, 0, 0);
}

TEST_F(ProgramWindowTest, ShowsIconsAndRemovesEachSampleByItsRealUninstaller)
{
    const wchar_t* const kSamples[][3] = {  // install command, row, installed file
        {L"\"nsis-machine.exe\" /S", L"Vantix Sample (per-machine)",
         L"%ProgramFiles(x86)%\\Vantix Sample\\SampleApp.exe"},
        {L"\"nsis-user.exe\" /S", L"Vantix Sample (per-user)", L"%LOCALAPPDATA%\\Vantix Sample User\\SampleApp.exe"},
        {L"msiexec.exe /i \"sample.msi\" /qn", L"Vantix Sample (installer package)",
         L"%ProgramFiles(x86)%\\Vantix Sample MSI\\SampleApp.exe"},
    };
    // The package's bare "MsiExec.exe" runs the system's, not one planted in
    // the program's or the current folder.
    const std::wstring planted[] = {ExeDir() + L"\\msiexec.exe", TempFile(L"msiexec.exe")};
    DeleteFileW(planted[0].c_str());
    std::vector<std::wstring> files;
    for (const auto& sample : kSamples) {
        std::wstring install = sample[0];
        install.insert(install.find(L'"') + 1, ExeDir() + L"\\..\\samples\\");
        ASSERT_EQ(0u, testsupport::RunAndWait(install)) << install;
        wchar_t file[MAX_PATH] = {};
        ExpandEnvironmentStringsW(sample[2], file, MAX_PATH);
        files.push_back(file);
        ASSERT_TRUE(FileExists(file)) << file;
    }
    m_files.push_back(planted[0]);
    for (const std::wstring& file : planted)
        ASSERT_TRUE(CopyFileW((ExeDir() + L"\\vx_child.exe").c_str(), file.c_str(), FALSE));
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryW(testsupport::TempPath(L"").c_str());
    // Icons that give none (a directory, an empty file, a FIFO) beside one.
    m_files.push_back(testsupport::TempPath(L"vxwin-empty.ico"));
    ASSERT_TRUE(testsupport::WriteBytes(m_files.back(), ""));
    wchar_t testenv[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"VANTIX_TESTENV", testenv, MAX_PATH);
    std::wstring fifo = L"Z:" + std::wstring(testenv) + L"/fifo";
    std::replace(fifo.begin(), fifo.end(), L'/', L'\\');
    const std::wstring icons[] = {ExeDir(), m_files.back(), fifo, ExeDir() + L"\\vx_three_icons.exe,1"};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(WriteUninstallEntry(m_written, L"VxIcon " + std::to_wstring(i),
                                        {{L"UninstallString", L"x.exe"}, {L"DisplayIcon", icons[i]}}));
    Refresh();
    EXPECT_TRUE(WaitUntil([&] { return ListImage(m_hList, FindRow(m_hList, L"VxIcon 3")) > 0; }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(0, ListImage(m_hList, FindRow(m_hList, L"VxIcon " + std::to_wstring(i)))) << i;

    // The end of an uninstaller alone brings the list up to date.
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring name = kSamples[i][1];
        SCOPED_TRACE(name);
        EXPECT_TRUE(WaitUntil([&] { return ListImage(m_hList, FindRow(m_hList, name)) > 0; })) << "its own icon";
        ASSERT_TRUE(Remove(name.c_str()));
        EXPECT_TRUE(WaitUntil([&] { return !Shows(name); }, 120000));
        EXPECT_FALSE(FileExists(files[i]));
    }
    SetCurrentDirectoryW(saved);
}

// Last: it closes the window while an uninstaller runs.
TEST_F(ProgramWindowTest, RemoveSaysWhyACommandCannotStartAndStaysBusyUntilTheUninstallerEnds)
{
    const std::wstring missing = L"\"C:\\vx-missing\\nothing.exe\" /x", folder = L"C:\\windows";
    const std::wstring child = L"\"" + ExeDir() + L"\\vx_child.exe\"", declined = TempFile(L"vx_remove_declined");
    const std::wstring parentRan = TempFile(L"vx_remove_parent"), grandchildEnded = TempFile(L"vx_remove_grandchild");
    const std::wstring closingStarted = TempFile(L"vx_remove_closing"), closingEnded = TempFile(L"vx_remove_closed");
    // The longest command that the list keeps reaches the uninstaller whole.
    const std::wstring head = child + L" pad ";
    const std::wstring tail = Marker(parentRan) + L" spawn sleep 6000" + Marker(grandchildEnded);
    const std::wstring handover = head + std::wstring(511 - head.size() - tail.size(), L'x') + tail;
    ASSERT_TRUE(WriteEntry(L"VxRemove Missing", missing) && WriteEntry(L"VxRemove Folder", folder) &&
                WriteEntry(L"VxRemove Declined", child + Marker(declined)) &&
                WriteEntry(L"VxRemove Handover", handover) &&
                WriteEntry(L"VxRemove Closing",
                           child + Marker(closingStarted) + L" sleep 5000" + Marker(closingEnded)));
    Refresh();

    // A command that cannot start gives a box that says why; then a refresh.
    wchar_t notFound[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, ERROR_FILE_NOT_FOUND, 0, notFound,
                   256, NULL);
    for (const auto& [name, command] : {std::make_pair(L"VxRemove Missing", missing), {L"VxRemove Folder", folder}}) {
        const std::wstring probe = WriteProbe();
        ASSERT_TRUE(Remove(name));
        HWND hBox = NULL;
        ASSERT_TRUE(WaitUntil([&] { return (hBox = OwnedBox(m_hWnd)) != NULL; }));
        wchar_t text[1024] = {};
        GetDlgItemTextW(hBox, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring::npos, std::wstring(text).find(command)) << text;
        EXPECT_TRUE(command != missing || std::wstring(text).find(notFound) != std::wstring::npos) << text;
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hBox) && Shows(probe); }));
    }
    // Windows asks for elevation (740), Wine never does; a declined prompt
    // says nothing.
    SetStartRefusalForTests(
        [](bool bElevated) -> DWORD { return bElevated ? ERROR_CANCELLED : ERROR_ELEVATION_REQUIRED; });
    std::wstring probe = WriteProbe();
    ASSERT_TRUE(Remove(L"VxRemove Declined"));
    EXPECT_TRUE(WaitUntil([&] { return Shows(probe); }));
    SetStartRefusalForTests(NULL);
    EXPECT_EQ(NULL, OwnedBox(m_hWnd));
    EXPECT_FALSE(FileExists(declined));
    probe = WriteProbe();
    ASSERT_TRUE(Remove(L"VxRemove Declined"));
    EXPECT_TRUE(WaitUntil([&] { return FileExists(declined) && Shows(probe); }));

    // A shorter buffer gets the command's start, terminated, and no more.
    const int nHandover = FindRow(m_hList, L"VxRemove Handover");
    EXPECT_EQ(handover, ListText(m_hList, nHandover, 1));
    for (int cch : {1, 2, 8})
        EXPECT_EQ(handover.substr(0, cch - 1) + L'\0' + L"####", ListBuffer(m_hList, nHandover, 1, cch));
    RECT rcLabel;  // bare dialog background right of it
    GetWindowRect(m_program.Control(IDC_LIST_LABEL), &rcLabel);
    auto cursorIs = [&](LPCWSTR id) {
        return PointUntil(rcLabel.right + 20, (rcLabel.top + rcLabel.bottom) / 2,
                          [&] { return m_program.Cursor() == LoadCursorW(NULL, id); });
    };
    ASSERT_TRUE(Remove(L"VxRemove Handover"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(parentRan); }));
    // Handed over to a process that outlives the uninstaller: still busy.
    // A completion from no worker of the window, then a refresh, change nothing.
    EXPECT_TRUE(cursorIs(IDC_APPSTARTING));
    probe = WriteProbe();
    PostMessageW(m_hWnd, WM_UNINSTALL_DONE, 0x7FFF, ERROR_FILE_NOT_FOUND);
    PostMessageW(m_program.Control(IDC_REFRESH), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return Shows(probe); }));
    EXPECT_EQ(NULL, OwnedBox(m_hWnd));
    ListView_SetItemState(m_hList, FindRow(m_hList, L"VxRemove Closing"), LVIS_SELECTED, LVIS_SELECTED);
    Sleep(300);
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(IDC_REMOVE)));
    EXPECT_TRUE(cursorIs(IDC_APPSTARTING));
    EXPECT_FALSE(FileExists(grandchildEnded));
    // Its end alone refreshes the list, and the window is idle again.
    probe = WriteProbe();
    EXPECT_TRUE(WaitUntil([&] { return Shows(probe); }));
    EXPECT_TRUE(FileExists(grandchildEnded)) << "refreshed while the grandchild still ran";
    EXPECT_TRUE(cursorIs(IDC_ARROW));
    EXPECT_FALSE(IsWindowEnabled(m_program.Control(IDC_REMOVE)));

    // Closing while an uninstaller runs neither waits for it nor stops it.
    ASSERT_TRUE(Remove(L"VxRemove Closing"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(closingStarted); }));
    const DWORD dwClosing = GetTickCount();
    s_pProgram->Close();
    EXPECT_LT(GetTickCount() - dwClosing, 3000u);
    EXPECT_FALSE(FileExists(closingEnded));
    EXPECT_TRUE(WaitUntil([&] { return FileExists(closingEnded); }));
}
