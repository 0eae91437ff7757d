// The compiled resources, read back from this executable, which links the
// program's resource object. Resources are named by their published numbers,
// not by the header, so that a wrong number there shows up here.
#include "framework/Afx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const HMODULE s_hSelf = GetModuleHandleW(NULL);

std::vector<BYTE> ResourceBytes(LPCWSTR type, UINT id)
{
    HRSRC hRes = FindResourceW(s_hSelf, MAKEINTRESOURCEW(id), type);
    HGLOBAL hData = hRes ? LoadResource(s_hSelf, hRes) : NULL;
    const BYTE* p = hData ? static_cast<const BYTE*>(LockResource(hData)) : NULL;
    return p ? std::vector<BYTE>(p, p + SizeofResource(s_hSelf, hRes)) : std::vector<BYTE>();
}

std::wstring WindowText(HWND hWnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hWnd, text, 256);
    return text;
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The dialog manager builds both templates (the manifest brings in the list
// view of the common controls 6), with the controls the program drives by
// their ids, their texts and the styles it relies on.
TEST(Resources, DialogsHoldTheControlsTheProgramDrives)
{
    HWND hList = CreateDialogParamW(s_hSelf, MAKEINTRESOURCEW(102), NULL, IgnoreAll, 0);
    HWND hAbout = CreateDialogParamW(s_hSelf, MAKEINTRESOURCEW(100), NULL, IgnoreAll, 0);
    ASSERT_NE(nullptr, hList);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_EQ(L"Vantix", WindowText(hList));
    EXPECT_EQ(L"About Vantix", WindowText(hAbout));
    const struct
    {
        HWND hDlg;
        int nID;
        const wchar_t* pszClass;
        const wchar_t* pszText;
        DWORD dwMask, dwStyle;
    } controls[] = {
        {hList, 1005, L"Static", L"&Currently installed programs:", 0xFF, SS_LEFT},
        {hList, 1000, L"SysListView32", L"", LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
         LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS},
        {hList, 1001, L"Button", L"&Remove", BS_TYPEMASK, BS_PUSHBUTTON},
        {hList, 1002, L"Button", L"Re&fresh", BS_TYPEMASK, BS_PUSHBUTTON},
        {hList, 1006, L"Button", L"&Show updates", BS_TYPEMASK, BS_AUTOCHECKBOX},
        {hList, 1003, L"Button", L"Close", BS_TYPEMASK, BS_PUSHBUTTON},
        {hAbout, 1004, L"Static", L"https://vantix.example.org/", 0xFF, SS_LEFT},
        {hAbout, IDOK, L"Button", L"OK", BS_TYPEMASK, BS_DEFPUSHBUTTON},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(::testing::Message() << "control " << c.nID);
        HWND hControl = GetDlgItem(c.hDlg, c.nID);
        // Wine may name a class with its version in front.
        wchar_t szClass[64] = {};
        const int nClass = GetClassNameW(hControl, szClass, 64), nWanted = lstrlenW(c.pszClass);
        EXPECT_EQ(0, lstrcmpiW(c.pszClass, szClass + std::max(0, nClass - nWanted))) << szClass;
        EXPECT_EQ(c.pszText, WindowText(hControl));
        EXPECT_EQ(c.dwStyle, static_cast<DWORD>(GetWindowLongW(hControl, GWL_STYLE)) & c.dwMask);
    }
    EXPECT_NE(0, SendMessageW(GetWindow(hAbout, GW_CHILD), STM_GETICON, 0, 0));

    // The About box names the version the file carries. Three WORDs, the key
    // "VS_VERSION_INFO" and padding come before the fixed part.
    const std::vector<BYTE> version = ResourceBytes(RT_VERSION, 1);
    ASSERT_GE(version.size(), 40 + sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* pInfo = reinterpret_cast<const VS_FIXEDFILEINFO*>(version.data() + 40);
    EXPECT_EQ(0xFEEF04BDu, pInfo->dwSignature);
    const std::wstring strVersion = L"Vantix version " + std::to_wstring(HIWORD(pInfo->dwFileVersionMS)) + L"." +
                                    std::to_wstring(LOWORD(pInfo->dwFileVersionMS)) + L"\n";
    EXPECT_EQ(0u, WindowText(GetWindow(GetDlgItem(hAbout, 1004), GW_HWNDPREV)).find(strVersion));
    DestroyWindow(hList);
    DestroyWindow(hAbout);

    wchar_t szPath[MAX_PATH];
    std::wstring strPath(szPath, GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), szPath, MAX_PATH));
    CharLowerW(&strPath[0]);
    EXPECT_NE(std::wstring::npos, strPath.find(L"common-controls_6595b64144ccf1df_6.")) << szPath;
    const std::vector<BYTE> manifest = ResourceBytes(RT_MANIFEST, 1);
    EXPECT_NE(std::string::npos,
              std::string(manifest.begin(), manifest.end()).find("level=\"asInvoker\" uiAccess=\"false\""));
}

TEST(Resources, StringsTheWindowLoads)
{
    CString str;
    for (const auto& s : {std::make_pair(101, L"&About Vantix..."), std::make_pair(103, L"Description"),
                          std::make_pair(104, L"Uninstall string")}) {
        EXPECT_TRUE(str.LoadString(s.first)) << s.first;
        EXPECT_TRUE(str == s.second) << s.first << ": " << static_cast<LPCWSTR>(str);
    }
}

}  // namespace
