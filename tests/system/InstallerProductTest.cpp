// A product installed by Wine's own installer service from a real package:
// its key name is a product code whose packed form names the installer's
// product data, and its icon comes from there.
#include "icons/IconLookup.h"
#include "inventory/ProductCode.h"
#include "support/TestSupport.h"

#include <shellapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kProductCode[] = L"{174A283B-43F7-417D-8D79-D148EB17BCF7}";

std::vector<COLORREF> Pixels(HICON hIcon)
{
    std::vector<COLORREF> pixels;
    ICONINFO info;
    if (!GetIconInfo(hIcon, &info))
        return pixels;
    HDC hdc = CreateCompatibleDC(NULL);
    BITMAP bm;
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = bm.bmWidth;
    bi.bmiHeader.biHeight = -bm.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    pixels.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    GetDIBits(hdc, info.hbmColor, 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteDC(hdc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

TEST(InstallerProductTest, PackedCodeNamesTheProductDataAndItsIconIsTheRowIcon)
{
    std::wstring package = testsupport::ExeDir() + L"\\..\\samples\\sample.msi";
    ASSERT_EQ(0u, testsupport::RunAndWait(L"msiexec.exe /i \"" + package + L"\" /qn"));

    CWideString keyName(kProductCode);
    ASSERT_TRUE(IsProductCode(keyName));
    std::wstring productKey =
        std::wstring(L"SOFTWARE\\Classes\\Installer\\Products\\") + PackProductCode(keyName).GetText();
    testsupport::CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, productKey.c_str(), KEY_READ | KEY_WOW64_32KEY));
    wchar_t location[MAX_PATH] = {0};
    DWORD cb = sizeof(location) - sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), L"ProductIcon", NULL, NULL,
                                              reinterpret_cast<BYTE*>(location), &cb));

    HICON hExpected = NULL;
    ASSERT_EQ(1u, ExtractIconExW(location, 0, NULL, &hExpected, 1));
    HICON hIcon = LoadEntryIcon(HKEY_LOCAL_MACHINE, keyName);
    ASSERT_NE(static_cast<HICON>(NULL), hIcon);
    std::vector<COLORREF> pixels = Pixels(hIcon);
    EXPECT_EQ(16u * 16u, pixels.size()) << "the small icon";
    EXPECT_EQ(Pixels(hExpected), pixels);
    DestroyIcon(hIcon);
    DestroyIcon(hExpected);

    EXPECT_EQ(0u, testsupport::RunAndWait(std::wstring(L"msiexec.exe /x ") + kProductCode + L" /qn"));
    EXPECT_NE(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, productKey.c_str(), KEY_READ | KEY_WOW64_32KEY));
}

}  // namespace
