// Remove through the real window, with real uninstallers and real messages.
#include "res/resource.h"
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"
#include "uninstall/UninstallWorker.h"
#include "window/ProgramDialogThread.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::CRemoteProgram;
using testsupport::ExeDir;

namespace {

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Marker(const std::wstring& path)
{
    return L" marker \"" + path + L"\"";
}

// The message box that the window owns, or NULL.
HWND OwnedBox(HWND hOwner)
{
    HWND hBox = NULL;
    while ((hBox = FindWindowExW(NULL, hBox, L"#32770", L"Vantix")) != NULL && GetWindow(hBox, GW_OWNER) != hOwner) {
    }
    return hBox;
}

class RemoveTest : public ::testing::Test
{
protected:
    ~RemoveTest() override
    {
        for (const std::wstring& file : m_files)
            DeleteFileW(file.c_str());
        for (const std::wstring& folder : m_folders)
            RemoveDirectoryW(folder.c_str());
    }

    // A file in the temporary folder, gone now and after the test.
    std::wstring TempFile(const wchar_t* name)
    {
        m_files.push_back(testsupport::TempPath(name));
        DeleteFileW(m_files.back().c_str());
        return m_files.back();
    }

    // A copy of a file in a new temporary folder, both gone after the test.
    std::wstring Copy(const std::wstring& from, const wchar_t* folder, const wchar_t* name)
    {
        if (m_folders.empty() || m_folders.back() != testsupport::TempPath(folder))
            m_folders.push_back(testsupport::TempPath(folder));
        CreateDirectoryW(m_folders.back().c_str(), NULL);
        m_files.push_back(m_folders.back() + L"\\" + name);
        EXPECT_TRUE(CopyFileW(from.c_str(), m_files.back().c_str(), FALSE)) << m_files.back();
        return m_folders.back();
    }

    // Selects the row and clicks Remove as soon as it is available.
    static bool Remove(const CProgramDialogThread& dialog, const wchar_t* name)
    {
        const HWND hList = dialog.Control(IDC_PROGRAM_LIST), hRemove = dialog.Control(IDC_REMOVE);
        ListView_SetItemState(hList, FindListRow(hList, name), LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        return WaitUntil([&] { return IsWindowEnabled(hRemove) != FALSE; }) &&
               PostMessageW(hRemove, BM_CLICK, 0, 0);
    }

    // An entry without a DisplayName: its row shows the key's name.
    bool WriteEntry(const std::wstring& name, const std::wstring& command)
    {
        return WriteUninstallEntry(m_written, name, {{L"UninstallString", command}});
    }

    // A row that only a refresh after this moment can show.
    std::wstring WriteProbe()
    {
        const std::wstring name = L"VxRemove Probe " + std::to_wstring(++m_nProbes);
        EXPECT_TRUE(WriteEntry(name, L"probe.exe"));
        return name;
    }

    testsupport::CWrittenKeys m_written;
    std::vector<std::wstring> m_files;
    std::vector<std::wstring> m_folders;
    int m_nProbes = 0;
};

}  // namespace

TEST_F(RemoveTest, EachSampleGoesByItsRealUninstaller)
{
    const std::wstring samples = ExeDir() + L"\\..\\samples\\";
    const wchar_t* const kSamples[][3] = {
        // install command, the row's name, an installed file
        {L"\"nsis-machine.exe\" /S", L"Vantix Sample (per-machine)",
         L"%ProgramFiles(x86)%\\Vantix Sample\\SampleApp.exe"},
        {L"\"nsis-user.exe\" /S", L"Vantix Sample (per-user)", L"%LOCALAPPDATA%\\Vantix Sample User\\SampleApp.exe"},
        {L"msiexec.exe /i \"sample.msi\" /qn", L"Vantix Sample (installer package)",
         L"%ProgramFiles(x86)%\\Vantix Sample MSI\\SampleApp.exe"},
    };
    std::vector<std::wstring> files;
    for (const auto& sample : kSamples) {
        std::wstring install = sample[0];
        install.insert(install.find(L'"') + 1, samples);
        ASSERT_EQ(0u, testsupport::RunAndWait(install)) << install;
        wchar_t file[MAX_PATH] = {};
        ExpandEnvironmentStringsW(sample[2], file, MAX_PATH);
        files.push_back(file);
        ASSERT_TRUE(FileExists(file)) << file;
    }
    // A copy of the program in a folder with a planted msiexec.exe, and
    // another in its current folder: the package's bare "MsiExec.exe" must
    // still run the system's.
    const std::wstring planted = ExeDir() + L"\\vx_child.exe";
    const std::wstring home = Copy(ExeDir() + L"\\..\\Vantix.exe", L"vx planted home", L"Vantix.exe");
    Copy(planted, L"vx planted home", L"msiexec.exe");
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryW(Copy(planted, L"vx planted current", L"msiexec.exe").c_str());
    // Nothing refreshes by hand: the end of an uninstaller alone must bring
    // the list up to date.
    CRemoteProgram program;
    const bool bStarted = program.Start(home + L"\\Vantix.exe");
    SetCurrentDirectoryW(saved);
    ASSERT_TRUE(bStarted);
    const HWND hRemove = program.Control(IDC_REMOVE);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::wstring name = kSamples[i][1];
        SCOPED_TRACE(name);
        const int nRow = program.FindRow(name);
        EXPECT_GT(program.RowImage(nRow), 0) << "its own icon";
        ASSERT_TRUE(program.SelectRow(nRow));
        ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(hRemove) != FALSE; }));
        PostMessageW(hRemove, BM_CLICK, 0, 0);
        EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(name) == -1; }, 120000));
        EXPECT_FALSE(FileExists(files[i]));
        EXPECT_EQ(-1, program.SelectedRow());
        EXPECT_FALSE(IsWindowEnabled(hRemove));
    }
}

// The window in this process, so that its thread's cursor can be read, and
// the time its closing takes.
TEST_F(RemoveTest, BusyUntilTheUninstallerAndWhatItStartedHaveEndedButNeverForClosing)
{
    const std::wstring parentRan = TempFile(L"vx_remove_parent"), grandchildEnded = TempFile(L"vx_remove_grandchild");
    const std::wstring closingStarted = TempFile(L"vx_remove_closing"), closingEnded = TempFile(L"vx_remove_closed");
    // The longest command that the list keeps reaches the uninstaller whole:
    // its last step is the marker at its end.
    const std::wstring child = L"\"" + ExeDir() + L"\\vx_child.exe\"", head = child + L" pad ";
    const std::wstring tail = Marker(parentRan) + L" spawn sleep 6000" + Marker(grandchildEnded);
    const std::wstring handover = head + std::wstring(511 - head.size() - tail.size(), L'x') + tail;
    ASSERT_TRUE(WriteEntry(L"VxRemove Handover", handover));
    ASSERT_TRUE(
        WriteEntry(L"VxRemove Closing", child + Marker(closingStarted) + L" sleep 5000" + Marker(closingEnded)));
    CProgramDialogThread dialog;
    ASSERT_TRUE(dialog.Start());
    const HWND hList = dialog.Control(IDC_PROGRAM_LIST), hRemove = dialog.Control(IDC_REMOVE);
    auto shows = [&](const std::wstring& name) { return FindListRow(hList, name) != -1; };
    // The list reads the whole command, and a reader with a shorter buffer
    // gets its start, terminated, and nothing past the buffer's end.
    const int nHandover = FindListRow(hList, L"VxRemove Handover");
    EXPECT_EQ(handover, ListItemText(hList, nHandover, 1));
    for (int cchBuffer : {1, 2, 8}) {
        std::vector<wchar_t> text(cchBuffer + 4, L'#');
        LVITEMW item = {};
        item.iSubItem = 1;
        item.pszText = text.data();
        item.cchTextMax = cchBuffer;
        SendMessageW(hList, LVM_GETITEMTEXTW, nHandover, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(handover.substr(0, cchBuffer - 1) + L'\0' + L"####", std::wstring(text.begin(), text.end()));
    }
    // Bare dialog background, right of the list's label.
    RECT rcLabel;
    GetWindowRect(dialog.Control(IDC_LIST_LABEL), &rcLabel);
    const POINT ptBare = {rcLabel.right + 20, (rcLabel.top + rcLabel.bottom) / 2};
    auto cursorIs = [&](LPCWSTR id) {
        return PointUntil(ptBare.x, ptBare.y, [&] { return dialog.Cursor() == LoadCursorW(NULL, id); });
    };

    ASSERT_TRUE(Remove(dialog, L"VxRemove Handover"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(parentRan); }));
    // The uninstaller has handed over to a process that outlives it: the
    // window stays busy for that one too, yet answers, and a refresh in
    // between leaves Remove unavailable and the wait running. Completions
    // from no worker of the window, handled before that refresh, change
    // nothing either.
    EXPECT_TRUE(cursorIs(IDC_APPSTARTING));
    const std::wstring refreshed = WriteProbe();
    for (WPARAM nStray : {WPARAM(0), WPARAM(0x7FFF)})
        PostMessageW(dialog.Window(), WM_UNINSTALL_DONE, nStray, ERROR_FILE_NOT_FOUND);
    PostMessageW(dialog.Control(IDC_REFRESH), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return shows(refreshed); }));
    EXPECT_EQ(NULL, OwnedBox(dialog.Window()));
    ListView_SetItemState(hList, FindListRow(hList, L"VxRemove Closing"), LVIS_SELECTED, LVIS_SELECTED);
    Sleep(300);
    EXPECT_FALSE(IsWindowEnabled(hRemove));
    EXPECT_TRUE(cursorIs(IDC_APPSTARTING));
    EXPECT_FALSE(FileExists(grandchildEnded));
    // Its end alone refreshes the list, and the window is idle again.
    const std::wstring probe = WriteProbe();
    EXPECT_TRUE(WaitUntil([&] { return shows(probe); }, 20000));
    EXPECT_TRUE(FileExists(grandchildEnded)) << "refreshed while the grandchild still ran";
    EXPECT_TRUE(cursorIs(IDC_ARROW));
    EXPECT_FALSE(IsWindowEnabled(hRemove));

    // Closing while an uninstaller runs takes no wait for it; the uninstaller
    // runs on to its end.
    ASSERT_TRUE(Remove(dialog, L"VxRemove Closing"));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(closingStarted); }));
    const DWORD dwClosing = GetTickCount();
    dialog.Close();
    EXPECT_LT(GetTickCount() - dwClosing, 3000u);
    EXPECT_FALSE(FileExists(closingEnded));
    EXPECT_TRUE(WaitUntil([&] { return FileExists(closingEnded); }, 20000));
}

// A command that cannot start gives a box that says why, and the list is
// read again; a person who declines elevation is told nothing.
TEST_F(RemoveTest, SaysWhyACommandCannotStartUnlessElevationWasDeclined)
{
    const std::wstring missing = L"\"C:\\vx-missing\\nothing.exe\" /x", folder = L"C:\\windows";
    const std::wstring declined = TempFile(L"vx_remove_declined");
    ASSERT_TRUE(WriteEntry(L"VxRemove Missing", missing) && WriteEntry(L"VxRemove Folder", folder) &&
                WriteEntry(L"VxRemove Declined", L"\"" + ExeDir() + L"\\vx_child.exe\"" + Marker(declined)));
    CProgramDialogThread dialog;
    ASSERT_TRUE(dialog.Start());
    const HWND hList = dialog.Control(IDC_PROGRAM_LIST);
    wchar_t notFound[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, ERROR_FILE_NOT_FOUND, 0, notFound,
                   256, NULL);
    for (const auto& [name, command] : {std::make_pair(L"VxRemove Missing", missing), {L"VxRemove Folder", folder}}) {
        ASSERT_TRUE(Remove(dialog, name));
        HWND hBox = NULL;
        ASSERT_TRUE(WaitUntil([&] { return (hBox = OwnedBox(dialog.Window())) != NULL; }));
        wchar_t text[1024] = {};
        GetDlgItemTextW(hBox, 0xFFFF, text, 1024);
        EXPECT_NE(std::wstring::npos, std::wstring(text).find(command)) << text;
        EXPECT_TRUE(command != missing || std::wstring(text).find(notFound) != std::wstring::npos) << text;
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hBox); }));
        EXPECT_NE(-1, FindListRow(hList, name));
    }

    SetStartRefusalForTests([](bool bElevated) -> DWORD { return bElevated ? ERROR_CANCELLED : ERROR_ELEVATION_REQUIRED; });
    const std::wstring probe = WriteProbe();
    ASSERT_TRUE(Remove(dialog, L"VxRemove Declined"));
    EXPECT_TRUE(WaitUntil([&] { return FindListRow(hList, probe) != -1; }));
    SetStartRefusalForTests(NULL);
    EXPECT_EQ(NULL, OwnedBox(dialog.Window()));
    EXPECT_FALSE(FileExists(declined));
    ASSERT_TRUE(Remove(dialog, L"VxRemove Declined"));
    EXPECT_TRUE(WaitUntil([&] { return FileExists(declined); }));
}
