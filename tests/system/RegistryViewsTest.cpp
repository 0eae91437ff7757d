#include "inventory/RegistryViews.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

// vx_osprobe exits with bit 0 for IsWindows2000(), bit 1 for
// IsNative64BitWindows(); Wine takes the version it reports from AppDefaults.
TEST(RegistryViews, OnlyVersionFiveZeroIsWindows2000AndTheTestPrefixIs64Bit)
{
    const wchar_t kDefaults[] = L"Software\\Wine\\AppDefaults\\vx_osprobe.exe";
    testsupport::CWrittenKeys written;
    written.Add(HKEY_CURRENT_USER, kDefaults);
    const std::pair<const wchar_t*, DWORD> versions[] = {{L"win2k", 3}, {L"winxp", 2}, {L"win2003", 2}, {L"win10", 2}};
    for (const auto& version : versions) {
        testsupport::CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, kDefaults));
        ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"Version", version.first));
        EXPECT_EQ(version.second, testsupport::RunAndWait(L"\"" + testsupport::ExeDir() + L"\\vx_osprobe.exe\"", 30000))
            << version.first;
    }
}
