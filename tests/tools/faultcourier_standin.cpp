// Stand-in for FaultCourier.exe in the crash handler's tests: records how it
// was started (its command line and working folder, one per line, UTF-8)
// in "faultcourier_args.txt" in its working folder, and exits.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

} // namespace

int wmain()
{
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::string record = Utf8(GetCommandLineW()) + "\n" + Utf8(folder) + "\n";

    // Written under another name first, so that a reader never sees half.
    HANDLE file = CreateFileW(L"faultcourier_args.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(L"faultcourier_args.tmp", L"faultcourier_args.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
