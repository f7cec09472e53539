#include "folder_delete.h"

#include <windows.h>

namespace {

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

void DeleteContents(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        std::wstring path = folder + L"\\" + entry.cFileName;
        bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder && !isLink) {
            DeleteContents(path);
            RemoveDirectoryW(path.c_str());
        } else if (isFolder) {
            // A junction or a link to a folder: removing it removes the link.
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

} // namespace

void DeleteDirectoryTree(const std::wstring& folder)
{
    DWORD attributes = GetFileAttributesW(folder.c_str());
    bool isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!isLink)
        DeleteContents(folder);
    RemoveDirectoryW(folder.c_str());
}
