#include "inventory/RegistryViews.h"

#include "inventory/RegistryKey.h"
#include "inventory/UninstallScan.h"

#include <string.h>

bool IsWindows2000()
{
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!GetVersionExW(&info))
        ZeroMemory(&info, sizeof(info));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return info.dwMajorVersion == 5 && info.dwMinorVersion == 0;
}

bool IsNative64BitWindows()
{
    // Looked up at run time: Windows 2000 has no GetNativeSystemInfo.
    typedef void(WINAPI * GetNativeSystemInfoFn)(LPSYSTEM_INFO);
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    if (hKernel == NULL)
        return false;
    GetNativeSystemInfoFn pGetNativeSystemInfo =
        reinterpret_cast<GetNativeSystemInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(hKernel, "GetNativeSystemInfo")));
    if (pGetNativeSystemInfo == NULL)
        return false;
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof(info));
    pGetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

REGSAM ViewAccessMask(bool bWindows2000, bool b64BitView)
{
    if (bWindows2000)
        return KEY_READ;
    return KEY_READ | (b64BitView ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
}

REGSAM ViewAccessMask(bool b64BitView)
{
    return ViewAccessMask(IsWindows2000(), b64BitView);
}

namespace {

// KEY_NAME_INFORMATION, with room for any name this program asks about.
struct KeyNameInformation
{
    ULONG cbName;
    wchar_t name[1024];
};

typedef LONG(NTAPI* NtQueryKeyFn)(HANDLE, int, void*, ULONG, ULONG*);
const int kKeyNameInformationClass = 3;

bool QueryKernelName(NtQueryKeyFn pNtQueryKey, HKEY hKey, KeyNameInformation& info)
{
    ULONG cbResult = 0;
    LONG status = pNtQueryKey(hKey, kKeyNameInformationClass, &info, sizeof(info), &cbResult);
    return status >= 0 && info.cbName <= sizeof(info.name);
}

}  // namespace

bool ViewsShareUninstallKey(HKEY root)
{
    // Only the kernel names tell whether two handles are one key: the
    // contents of two distinct keys can be alike.
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    if (hNtdll == NULL)
        return false;
    NtQueryKeyFn pNtQueryKey = reinterpret_cast<NtQueryKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(hNtdll, "NtQueryKey")));
    if (pNtQueryKey == NULL)
        return false;

    CRegistryKey key32;
    CRegistryKey key64;
    if (key32.Open(root, kUninstallKeyPath, ViewAccessMask(false)) != ERROR_SUCCESS ||
        key64.Open(root, kUninstallKeyPath, ViewAccessMask(true)) != ERROR_SUCCESS)
        return false;
    KeyNameInformation name32;
    KeyNameInformation name64;
    if (!QueryKernelName(pNtQueryKey, key32.Get(), name32) ||
        !QueryKernelName(pNtQueryKey, key64.Get(), name64))
        return false;
    return name32.cbName == name64.cbName &&
           memcmp(name32.name, name64.name, name32.cbName) == 0;
}
