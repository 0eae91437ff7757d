// A child program for the process tests, running its arguments as steps:
// "sleep MS", "marker PATH" (creates the file), "exit N", "pad TEXT" (does
// nothing), "spawn STEPS..." (starts itself with the rest and exits),
// "relaunch-from-temp NAME STEPS..." (the same from a copy at %TEMP%\NAME).
// Exit code 0, or 1000 and above when a step failed.
#include <windows.h>
#include <shellapi.h>

#include <stdlib.h>

#include <string>

namespace {

int Start(const std::wstring& program, wchar_t** steps, int count, int failure)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    for (int i = 0; i < count; ++i) {
        const std::wstring step = steps[i];
        commandLine += !step.empty() && step.find(L' ') == std::wstring::npos ? L" " + step : L" \"" + step + L"\"";
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return failure;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == NULL)
        return 1000;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);

    for (int i = 1; i < argc; ++i) {
        const std::wstring step = argv[i];
        const bool bHasArg = i + 1 < argc;
        if (step == L"sleep" && bHasArg) {
            Sleep(wcstoul(argv[++i], NULL, 10));
        } else if (step == L"marker" && bHasArg) {
            HANDLE hFile = CreateFileW(argv[++i], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (hFile == INVALID_HANDLE_VALUE)
                return 1001;
            CloseHandle(hFile);
        } else if (step == L"exit" && bHasArg) {
            return static_cast<int>(wcstoul(argv[++i], NULL, 10));
        } else if (step == L"pad" && bHasArg) {
            ++i;
        } else if (step == L"spawn") {
            return Start(self, argv + i + 1, argc - i - 1, 1002);
        } else if (step == L"relaunch-from-temp" && bHasArg) {
            wchar_t copy[MAX_PATH];
            GetTempPathW(MAX_PATH, copy);
            lstrcatW(copy, argv[i + 1]);
            return CopyFileW(self, copy, FALSE) ? Start(copy, argv + i + 2, argc - i - 2, 1004) : 1003;
        } else {
            return 1005;
        }
    }
    return 0;
}
