// Removing programs through the real window: real installers, real
// uninstallers, real messages. No manual refresh anywhere: the list must drop
// a removed program by itself once its uninstaller has ended.
#include "support/RemoteProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::CRegKey;
using testsupport::CRemoteProgram;

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const int kRemove = 1001;

std::wstring ProgramPath()
{
    return testsupport::ExeDir() + L"\\..\\Vantix.exe";
}

std::wstring SamplePath(const wchar_t* name)
{
    return testsupport::ExeDir() + L"\\..\\samples\\" + name;
}

std::wstring ChildPath()
{
    return testsupport::ExeDir() + L"\\vx_child.exe";
}

bool KeyExists(HKEY root, const std::wstring& name, REGSAM view)
{
    CRegKey key;
    return key.Open(root, (std::wstring(kUninstall) + name).c_str(), KEY_READ | view) == ERROR_SUCCESS;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ExpandPath(const wchar_t* text)
{
    wchar_t buffer[MAX_PATH];
    DWORD n = ExpandEnvironmentStringsW(text, buffer, MAX_PATH);
    return n > 0 && n <= MAX_PATH ? std::wstring(buffer) : std::wstring();
}

struct Sample
{
    const wchar_t* installCommand;  // relative to the samples folder, %s = its path
    HKEY root;
    const wchar_t* keyName;
    const wchar_t* displayName;
    const wchar_t* installedFile;   // environment references expanded
};

void PrintTo(const Sample& sample, std::ostream* os)
{
    *os << static_cast<const void*>(sample.keyName);
}

class RemoveSampleTest : public ::testing::TestWithParam<Sample>
{
};

TEST_P(RemoveSampleTest, RemoveRunsTheRealUninstallerAndDropsTheRow)
{
    const Sample& sample = GetParam();
    std::wstring install = sample.installCommand;
    size_t at = install.find(L"%s");
    ASSERT_NE(std::wstring::npos, at);
    install.replace(at, 2, SamplePath(L""));
    ASSERT_EQ(0u, testsupport::RunAndWait(install));
    ASSERT_TRUE(KeyExists(sample.root, sample.keyName, KEY_WOW64_32KEY));
    std::wstring installedFile = ExpandPath(sample.installedFile);
    ASSERT_TRUE(FileExists(installedFile));

    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    int nRow = program.FindRow(sample.displayName);
    ASSERT_NE(-1, nRow);
    EXPECT_GT(program.RowImage(nRow), 0) << "the sample's own icon, not the default one";

    ASSERT_TRUE(program.SelectRow(nRow));
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(program.Control(kRemove)) != FALSE; }));
    PostMessageW(program.Control(kRemove), BM_CLICK, 0, 0);

    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(sample.displayName) == -1; }, 120000))
        << "the row must go without a manual refresh";
    EXPECT_FALSE(KeyExists(sample.root, sample.keyName, KEY_WOW64_32KEY));
    EXPECT_FALSE(FileExists(installedFile));
    EXPECT_EQ(-1, program.SelectedRow());
    EXPECT_FALSE(IsWindowEnabled(program.Control(kRemove)));
}

const Sample kSamples[] = {
    {L"\"%snsis-machine.exe\" /S", HKEY_LOCAL_MACHINE, L"VantixSampleMachine",
     L"Vantix Sample (per-machine)", L"%ProgramFiles(x86)%\\Vantix Sample\\SampleApp.exe"},
    {L"\"%snsis-user.exe\" /S", HKEY_CURRENT_USER, L"VantixSampleUser", L"Vantix Sample (per-user)",
     L"%LOCALAPPDATA%\\Vantix Sample User\\SampleApp.exe"},
    {L"msiexec.exe /i \"%ssample.msi\" /qn", HKEY_LOCAL_MACHINE,
     L"{174A283B-43F7-417D-8D79-D148EB17BCF7}", L"Vantix Sample (installer package)",
     L"%ProgramFiles(x86)%\\Vantix Sample MSI\\SampleApp.exe"},
};

INSTANTIATE_TEST_SUITE_P(Samples, RemoveSampleTest, ::testing::ValuesIn(kSamples));

class BusyWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_marker = std::wstring(temp) + L"vx-busy-marker";
        DeleteFileW(m_marker.c_str());
    }

    void TearDown() override
    {
        for (const std::wstring& name : m_written)
            testsupport::DeleteTree(HKEY_CURRENT_USER, (std::wstring(kUninstall) + name).c_str());
        DeleteFileW(m_marker.c_str());
    }

    void WriteEntry(const std::wstring& name, const std::wstring& command)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, (std::wstring(kUninstall) + name).c_str()));
        key.SetString(L"UninstallString", command.c_str());
        m_written.push_back(name);
    }

    std::wstring m_marker;
    std::vector<std::wstring> m_written;
};

TEST_F(BusyWindowTest, RemoveIsUnavailableWhileBusyAndRefreshStillWorks)
{
    WriteEntry(L"VxBusy-Slow", L"\"" + ChildPath() + L"\" sleep 4000 marker \"" + m_marker + L"\"");
    WriteEntry(L"VxBusy-Other", L"other.exe");

    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    ASSERT_TRUE(program.SelectRow(program.FindRow(L"VxBusy-Slow")));
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(program.Control(kRemove)) != FALSE; }));
    PostMessageW(program.Control(kRemove), BM_CLICK, 0, 0);
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return !IsWindowEnabled(program.Control(kRemove)); }));

    // Busy: another selection does not bring Remove back.
    ASSERT_TRUE(program.SelectRow(program.FindRow(L"VxBusy-Other")));
    Sleep(200);
    EXPECT_FALSE(IsWindowEnabled(program.Control(kRemove)));

    // F5 while busy refreshes and leaves the running uninstaller alone.
    WriteEntry(L"VxBusy-New", L"new.exe");
    PostMessageW(program.Control(1000), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return program.FindRow(L"VxBusy-New") != -1; }));
    EXPECT_FALSE(FileExists(m_marker));

    // The uninstaller's end refreshes the list: no selection, Remove unavailable.
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(m_marker); }));
    Sleep(1000);
    EXPECT_EQ(-1, program.SelectedRow());
    EXPECT_FALSE(IsWindowEnabled(program.Control(kRemove)));
    ASSERT_TRUE(program.SelectRow(program.FindRow(L"VxBusy-Other")));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(program.Control(kRemove)) != FALSE; }));
}

TEST_F(BusyWindowTest, ClosingWhileAnUninstallerRunsEndsAtOnceAndLeavesItRunning)
{
    WriteEntry(L"VxBusy-Long", L"\"" + ChildPath() + L"\" sleep 6000 marker \"" + m_marker + L"\"");

    CRemoteProgram program;
    ASSERT_TRUE(program.Start(ProgramPath()));
    ASSERT_TRUE(program.SelectRow(program.FindRow(L"VxBusy-Long")));
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return IsWindowEnabled(program.Control(kRemove)) != FALSE; }));
    PostMessageW(program.Control(kRemove), BM_CLICK, 0, 0);
    ASSERT_TRUE(CRemoteProgram::WaitFor([&] { return !IsWindowEnabled(program.Control(kRemove)); }));

    PostMessageW(program.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(program.WaitForExit(4000)) << "the stop event ends the worker's wait at once";
    EXPECT_FALSE(FileExists(m_marker));
    EXPECT_TRUE(CRemoteProgram::WaitFor([&] { return FileExists(m_marker); }, 15000))
        << "the uninstaller keeps running to its end";
}

}  // namespace
