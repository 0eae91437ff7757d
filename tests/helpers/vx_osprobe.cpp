// Reports the registry-view tests as seen by a process of its own, whose
// reported Windows version Wine takes from AppDefaults\vx_osprobe.exe.
// Exit code: bit 0 IsWindows2000(), bit 1 IsNative64BitWindows().
#include "inventory/RegistryViews.h"

int main()
{
    return (IsWindows2000() ? 1 : 0) | (IsNative64BitWindows() ? 2 : 0);
}
