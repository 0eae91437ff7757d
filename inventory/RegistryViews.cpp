#include "inventory/RegistryViews.h"

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
