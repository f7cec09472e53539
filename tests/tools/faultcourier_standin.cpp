// Stand-in for FaultCourier.exe in the crash handler's tests: records how it
// was started (its command line and working folder, one per line, UTF-8)
// and the names of the files in the crash folder it was given (one line,
// each name followed by ";") in "faultcourier_args.txt" in its working
// folder, and exits. When that folder holds "faultcourier_delete", it first
// deletes the crash folder as FaultCourier does once its report is done.
// Each start also adds its crash folder as one line to
// "faultcourier_starts.txt", last of all, so that a test can count the starts
// and, once it sees a line, finds that start's record complete.
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

// The last double-quoted text of the command line: the crash folder.
std::wstring CrashFolderArgument()
{
    std::wstring line = GetCommandLineW();
    size_t end = line.rfind(L'"');
    size_t start = end == std::wstring::npos || end == 0 ? std::wstring::npos : line.rfind(L'"', end - 1);
    return start == std::wstring::npos ? std::wstring() : line.substr(start + 1, end - start - 1);
}

// The folder's file names; with remove, each file is deleted and then the
// folder itself (what stays, stays, as with FaultCourier).
std::string ListFiles(const std::wstring& folder, bool remove)
{
    std::string names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            names += Utf8(found.cFileName) + ";";
            if (remove)
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (remove)
        RemoveDirectoryW(folder.c_str());
    return names;
}

} // namespace

int wmain()
{
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const bool remove = GetFileAttributesW(L"faultcourier_delete") != INVALID_FILE_ATTRIBUTES;
    std::string record = Utf8(GetCommandLineW()) + "\n" + Utf8(folder) + "\n" +
                         ListFiles(CrashFolderArgument(), remove) + "\n";

    // Written under another name first, so that a reader never sees half.
    HANDLE file = CreateFileW(L"faultcourier_args.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    if (!MoveFileExW(L"faultcourier_args.tmp", L"faultcourier_args.txt", MOVEFILE_REPLACE_EXISTING))
        return 1;
    HANDLE starts =
        CreateFileW(L"faultcourier_starts.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (starts == INVALID_HANDLE_VALUE)
        return 1;
    const std::string line = Utf8(CrashFolderArgument().c_str()) + "\n";
    WriteFile(starts, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(starts);
    return 0;
}
