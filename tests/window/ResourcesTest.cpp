// The compiled resources, read back from this executable, which links the
// program's resource object. Resources are named by their published numbers,
// not by the header, so that a wrong number there shows up here.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// Reads an extended dialog template into one line for the dialog and one per
// control, in template order; reads past the end give 0.
class CTemplateReader
{
public:
    explicit CTemplateReader(std::vector<BYTE> data) : m_data(std::move(data)), m_nPos(0) {}

    std::vector<std::wstring> Describe()
    {
        std::vector<std::wstring> lines;
        WORD nVersion = Word(), nSignature = Word();
        DWORD dwHelp = Dword(), dwExStyle = Dword(), dwStyle = Dword();
        WORD nControls = Word();
        std::wstring strRect = Rect(), strMenu = NameOrOrdinal(), strClass = NameOrOrdinal();
        std::wstring strCaption = NameOrOrdinal();
        WORD nPoints = Word(), nWeight = Word();
        BYTE bItalic = Byte(), bCharset = Byte();
        lines.push_back(Format(L"v%u %X help %lu %08lX ex %lX %ls menu '%ls' class '%ls' '%ls' "
                               L"font %u %ls %u %u %u", nVersion, nSignature, dwHelp, dwStyle,
                               dwExStyle, strRect.c_str(), strMenu.c_str(), strClass.c_str(),
                               strCaption.c_str(), nPoints, NameOrOrdinal().c_str(), nWeight,
                               bItalic, bCharset));
        for (WORD i = 0; i < nControls; ++i) {
            m_nPos = (m_nPos + 3) & ~size_t(3);
            DWORD dwCtlHelp = Dword(), dwCtlExStyle = Dword(), dwCtlStyle = Dword();
            strRect = Rect();
            int nId = static_cast<int>(Dword());
            strClass = NameOrOrdinal();
            // The dialog manager takes the predefined classes by ordinal or name alike.
            if (strClass == L"#128")
                strClass = L"button";
            if (strClass == L"#130")
                strClass = L"static";
            CharLowerW(&strClass[0]);
            std::wstring strText = NameOrOrdinal();
            WORD cbExtra = Word();
            m_nPos += cbExtra;
            lines.push_back(Format(L"%d %ls %08lX ex %lX help %lu %ls '%ls' extra %u", nId,
                                   strClass.c_str(), dwCtlStyle, dwCtlExStyle, dwCtlHelp,
                                   strRect.c_str(), strText.c_str(), cbExtra));
        }
        return lines;
    }

private:
    BYTE Byte() { return m_nPos < m_data.size() ? m_data[m_nPos++] : 0; }
    WORD Word()
    {
        BYTE lo = Byte();
        return static_cast<WORD>(lo | Byte() << 8);
    }
    DWORD Dword()
    {
        WORD lo = Word();
        return lo | static_cast<DWORD>(Word()) << 16;
    }
    std::wstring Rect()
    {
        short v[4];
        for (short& n : v)
            n = static_cast<short>(Word());
        return Format(L"%d,%d,%d,%d", v[0], v[1], v[2], v[3]);
    }
    // An ordinal reads as "#n".
    std::wstring NameOrOrdinal()
    {
        std::wstring str;
        for (WORD c = Word(); c != 0; c = Word()) {
            if (c == 0xFFFF && str.empty())
                return Format(L"#%u", Word());
            str += static_cast<wchar_t>(c);
        }
        return str;
    }
    template <typename... Args>
    static std::wstring Format(const wchar_t* pszFormat, Args... args)
    {
        wchar_t sz[512];
        _snwprintf(sz, 512, pszFormat, args...);
        sz[511] = 0;
        return sz;
    }

    std::vector<BYTE> m_data;
    size_t m_nPos;
};

TEST(Resources, DialogTemplatesCarryExactlyTheirStyles)
{
    EXPECT_EQ((std::vector<std::wstring>{
        L"v1 FFFF help 0 90CF0040 ex 40000 0,0,394,240 menu '' class '' 'Vantix' font 8 MS Sans Serif 0 0 1",
        L"1005 static 50020000 ex 0 help 0 7,7,88,8 '&Currently installed programs:' extra 0",
        L"1000 syslistview32 5081004D ex 0 help 0 7,17,380,195 '' extra 0",
        L"1001 button 50010000 ex 0 help 0 7,219,50,14 '&Remove' extra 0",
        L"1002 button 50010000 ex 0 help 0 64,219,50,14 'Re&fresh' extra 0",
        L"1006 button 50010003 ex 0 help 0 121,221,61,10 '&Show updates' extra 0",
        L"1003 button 50010000 ex 0 help 0 337,219,50,14 'Close' extra 0",
    }), CTemplateReader(ResourceBytes(RT_DIALOG, 102)).Describe());

    EXPECT_EQ((std::vector<std::wstring>{
        L"v1 FFFF help 0 80C800C0 ex 80 0,0,212,52 menu '' class '' 'About Vantix' font 8 MS Sans Serif 0 0 1",
        L"-1 static 50001003 ex 0 help 0 10,10,20,20 '#128' extra 0",
        L"-1 static 50020080 ex 0 help 0 40,10,125,20 "
        L"'Vantix version 1.7\n(C) 2026 Vantix developers' extra 0",
        L"1004 static 50020000 ex 0 help 0 40,35,125,8 'https://vantix.example.org/' extra 0",
        L"1 button 50030001 ex 0 help 0 175,10,30,14 'OK' extra 0",
    }), CTemplateReader(ResourceBytes(RT_DIALOG, 100)).Describe());
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The dialog manager must be able to build both: the manifest brings in the
// list view class of the common controls 6, and the About icon resolves by its
// ordinal.
TEST(Resources, DialogManagerBuildsBothTemplates)
{
    HWND hList = CreateDialogParamW(s_hSelf, MAKEINTRESOURCEW(102), NULL, IgnoreAll, 0);
    ASSERT_NE(nullptr, hList);
    EXPECT_NE(nullptr, GetDlgItem(hList, 1000));
    DestroyWindow(hList);

    HWND hAbout = CreateDialogParamW(s_hSelf, MAKEINTRESOURCEW(100), NULL, IgnoreAll, 0);
    ASSERT_NE(nullptr, hAbout);
    EXPECT_NE(0, SendMessageW(GetWindow(hAbout, GW_CHILD), STM_GETICON, 0, 0));
    DestroyWindow(hAbout);

    wchar_t szPath[MAX_PATH];
    DWORD cch = GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), szPath, MAX_PATH);
    std::wstring strPath(szPath, cch);
    CharLowerW(&strPath[0]);
    EXPECT_NE(std::wstring::npos, strPath.find(L"common-controls_6595b64144ccf1df_6.")) << szPath;
}

TEST(Resources, StringsMenuAndAccelerator)
{
    wchar_t sz[64];
    for (const auto& s : {std::make_pair(101, L"&About Vantix..."),
                          std::make_pair(103, L"Description"),
                          std::make_pair(104, L"Uninstall string")}) {
        ASSERT_LT(0, LoadStringW(s_hSelf, s.first, sz, 64)) << s.first;
        EXPECT_STREQ(s.second, sz);
    }

    HMENU hMenu = LoadMenuW(s_hSelf, MAKEINTRESOURCEW(134));
    ASSERT_NE(nullptr, hMenu);
    std::wstring strItems;
    for (HMENU h : {hMenu, GetSubMenu(hMenu, 0)}) {
        for (int i = 0; i < GetMenuItemCount(h); ++i) {
            sz[0] = 0;
            GetMenuStringW(h, i, sz, 64, MF_BYPOSITION);
            strItems += std::to_wstring(static_cast<int>(GetMenuItemID(h, i))) + L" " + sz + L"|";
        }
    }
    // A popup's "id" is -1 and a separator's is 0.
    EXPECT_EQ(L"-1 _CONTEXT_|1001 &Remove|0 |1002 Re&fresh|", strItems);
    DestroyMenu(hMenu);

    HACCEL hAccel = LoadAcceleratorsW(s_hSelf, MAKEINTRESOURCEW(129));
    ACCEL accel[2] = {};
    ASSERT_EQ(1, CopyAcceleratorTableW(hAccel, accel, 2));
    EXPECT_EQ(FVIRTKEY | FNOINVERT, accel[0].fVirt);
    EXPECT_EQ(VK_F5, accel[0].key);
    EXPECT_EQ(1002, accel[0].cmd);
    DestroyAcceleratorTable(hAccel);
}

// A 16 x 16 bitmap resource as one letter a pixel, top row first: S light
// grey, D dark grey, W white, ? anything else.
std::string BitmapPicture(UINT id, UINT fuLoad, COLORREF crFace, COLORREF crShadow)
{
    HBITMAP hbm = static_cast<HBITMAP>(LoadImageW(s_hSelf, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, fuLoad));
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    RGBQUAD quads[16 * 16];
    HDC hdc = GetDC(NULL);
    int nRows = hbm ? GetDIBits(hdc, hbm, 0, 16, quads, &bmi, DIB_RGB_COLORS) : 0;
    ReleaseDC(NULL, hdc);
    DeleteObject(hbm);
    std::string str;
    for (int i = 0; i < nRows * 16; ++i) {
        COLORREF cr = RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue);
        str += cr == crFace ? 'S' : cr == crShadow ? 'D' : cr == RGB(255, 255, 255) ? 'W' : '?';
        if (i % 16 == 15)
            str += '\n';
    }
    return str;
}

// Hollow triangles in rows 4-10, columns 4-11, lit from the top left.
TEST(Resources, SortArrowsPixelForPixel)
{
    auto rows = [](const char* pszTriangle) {
        std::string str = std::string(4 * 17, 'S') + pszTriangle + std::string(5 * 17, 'S');
        for (size_t i = 16; i < str.size(); i += 17)
            str[i] = '\n';
        return str;
    };
    const std::string strUp = rows("SSSSSSSDWSSSSSSS SSSSSSSDWSSSSSSS SSSSSSDSSWSSSSSS SSSSSSDSSWSSSSSS "
                                   "SSSSSDSSSSWSSSSS SSSSSDSSSSWSSSSS SSSSWWWWWWWWSSSS ");
    const std::string strDown = rows("SSSSDDDDDDDDSSSS SSSSSDSSSSWSSSSS SSSSSDSSSSWSSSSS SSSSSSDSSWSSSSSS "
                                     "SSSSSSDSSWSSSSSS SSSSSSSDWSSSSSSS SSSSSSSDWSSSSSSS ");
    const COLORREF crGrey = RGB(192, 192, 192), crDark = RGB(128, 128, 128);
    EXPECT_EQ(strUp, BitmapPicture(131, LR_DEFAULTCOLOR, crGrey, crDark));
    EXPECT_EQ(strDown, BitmapPicture(132, LR_DEFAULTCOLOR, crGrey, crDark));

    // The header loads them with their greys mapped to the current 3-D colours.
    EXPECT_EQ(strDown, BitmapPicture(132, LR_LOADMAP3DCOLORS, GetSysColor(COLOR_3DFACE),
                                     GetSysColor(COLOR_3DSHADOW)));
}

// Every icon size the window asks for is an image of its own, at 16 colours.
TEST(Resources, IconsAndCursor)
{
    for (const auto& icon : {std::make_pair(128, 32), std::make_pair(128, 16),
                             std::make_pair(130, 16)}) {
        std::vector<BYTE> group = ResourceBytes(RT_GROUP_ICON, icon.first);
        ASSERT_FALSE(group.empty());
        int nId = LookupIconIdFromDirectoryEx(group.data(), TRUE, icon.second, icon.second, 0);
        std::vector<BYTE> image = ResourceBytes(RT_ICON, nId);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        const BITMAPINFOHEADER* pbih = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(icon.second, pbih->biWidth) << icon.first;
        EXPECT_EQ(4, pbih->biBitCount) << icon.first;
    }
    // A group directory is 6 bytes and 14 for each image.
    EXPECT_EQ(6u + 2 * 14, ResourceBytes(RT_GROUP_ICON, 128).size());
    EXPECT_EQ(6u + 14, ResourceBytes(RT_GROUP_ICON, 130).size());

    HCURSOR hCursor = static_cast<HCURSOR>(
        LoadImageW(s_hSelf, MAKEINTRESOURCEW(133), IMAGE_CURSOR, 32, 32, LR_DEFAULTCOLOR));
    ICONINFO ii = {};
    ASSERT_TRUE(GetIconInfo(hCursor, &ii));
    EXPECT_FALSE(ii.fIcon);
    EXPECT_EQ(6u, ii.xHotspot);
    EXPECT_EQ(0u, ii.yHotspot);
    EXPECT_EQ(nullptr, ii.hbmColor);  // monochrome
    DeleteObject(ii.hbmMask);
    DestroyCursor(hCursor);
}

TEST(Resources, ManifestAndVersion)
{
    std::vector<BYTE> manifest = ResourceBytes(RT_MANIFEST, 1);
    std::string strManifest(manifest.begin(), manifest.end());
    EXPECT_NE(std::string::npos, strManifest.find("level=\"asInvoker\" uiAccess=\"false\""));

    // Three WORDs, the key "VS_VERSION_INFO" and padding come before the fixed part.
    std::vector<BYTE> version = ResourceBytes(RT_VERSION, 1);
    ASSERT_GE(version.size(), 40 + sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* pInfo = reinterpret_cast<const VS_FIXEDFILEINFO*>(version.data() + 40);
    EXPECT_EQ(0xFEEF04BDu, pInfo->dwSignature);
    EXPECT_EQ(0x00010007u, pInfo->dwFileVersionMS);
    EXPECT_EQ(0u, pInfo->dwFileVersionLS);
    EXPECT_EQ(0x00010007u, pInfo->dwProductVersionMS);
    EXPECT_EQ(0u, pInfo->dwProductVersionLS);
}

}  // namespace
