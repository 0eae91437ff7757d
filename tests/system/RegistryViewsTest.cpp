#include "inventory/RegistryViews.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::CRegKey;

namespace {

const wchar_t kProbeDefaults[] = L"Software\\Wine\\AppDefaults\\vx_osprobe.exe";
const DWORD kWindows2000 = 1;
const DWORD kNative64Bit = 2;

// The probe's exit code, or a value with neither bit's meaning on failure.
DWORD RunProbe()
{
    std::wstring command = L"\"" + testsupport::ExeDir() + L"\\vx_osprobe.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 0xFFFFFFFF;
    DWORD nExitCode = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &nExitCode))
        nExitCode = 0xFFFFFFFF;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return nExitCode;
}

class RegistryViewsVersion : public ::testing::Test
{
protected:
    void TearDown() override { testsupport::DeleteTree(HKEY_CURRENT_USER, kProbeDefaults); }

    // Wine reads the version a program reports from its AppDefaults at start.
    DWORD ProbeAs(const wchar_t* version)
    {
        CRegKey key;
        EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kProbeDefaults));
        EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"Version", version));
        return RunProbe();
    }
};

}  // namespace

// The two tests are independent: a WoW64 prefix reporting Windows 2000 is
// both, and then no view flag is used.
TEST(RegistryViews, TheWow64TestPrefixAtItsReportedVersion)
{
    const bool bWindows2000 = testsupport::PrefixReportsWindows2000();
    EXPECT_TRUE(IsNative64BitWindows());
    EXPECT_EQ(bWindows2000, IsWindows2000());
    EXPECT_EQ(static_cast<REGSAM>(bWindows2000 ? KEY_READ : KEY_READ | KEY_WOW64_32KEY),
              ViewAccessMask(false));
    EXPECT_EQ(static_cast<REGSAM>(bWindows2000 ? KEY_READ : KEY_READ | KEY_WOW64_64KEY),
              ViewAccessMask(true));
}

TEST_F(RegistryViewsVersion, OnlyVersionFiveZeroIsWindows2000)
{
    EXPECT_EQ(kWindows2000 | kNative64Bit, ProbeAs(L"win2k"));
    EXPECT_EQ(kNative64Bit, ProbeAs(L"winxp"));
    EXPECT_EQ(kNative64Bit, ProbeAs(L"win2003"));
}
