// Stand-in for the system tools the support chain runs, which Wine lacks
// (tracert.exe) or answers with nothing (tasklist.exe). Tests copy it under
// the tool's name beside the test program; it prints output in the tool's
// form and exits with a code the launcher must not care about.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path;
    if (_wcsicmp(name, L"tracert.exe") == 0) {
        const wchar_t* host = argc > 1 ? argv[argc - 1] : L"?";
        wprintf(L"\r\nTracing route to %ls over a maximum of 30 hops\r\n\r\n", host);
        wprintf(L"  1    <1 ms    <1 ms    <1 ms  %ls\r\n\r\nTrace complete.\r\n", host);
        return 1;
    }
    wprintf(L"\r\nImage Name                     PID Session Name        Session#    Mem Usage\r\n");
    wprintf(L"========================= ======== ================ =========== ============\r\n");
    wprintf(L"Launcher.exe                  %5lu Console                    1     12,345 K\r\n",
            GetCurrentProcessId());
    return 0;
}
