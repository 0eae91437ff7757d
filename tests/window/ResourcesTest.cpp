// The program's manifest, linked into this executable with the program's
// resources, brings in the common controls 6.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(Resources, ManifestLoadsCommonControls6)
{
    wchar_t szPath[MAX_PATH];
    std::wstring strPath(szPath, GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), szPath, MAX_PATH));
    CharLowerW(&strPath[0]);
    EXPECT_NE(std::wstring::npos, strPath.find(L"common-controls_6595b64144ccf1df_6.")) << szPath;
}
