#include "folder_delete.h"

#include <windows.h>

#include "scoped_handles.h"

namespace {

constexpr DWORD REAL_PATH_SIZE = 32768;

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Where path really lies. The link itself is opened where the system can
// do that (so a link's location is its own); a system that resolves links
// on open gives the target's location instead. False when it cannot be told.
bool RealLocation(const std::wstring& path, std::wstring& location)
{
    UniqueHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle)
        return false;
    location.resize(REAL_PATH_SIZE);
    DWORD length = GetFinalPathNameByHandleW(handle.Get(), location.data(), REAL_PATH_SIZE, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= REAL_PATH_SIZE)
        return false;
    location.resize(length);
    return true;
}

// True only when path is known to lie inside the folder whose real location
// is root. An entry whose location cannot be told (a dangling or looping
// link, one that cannot be opened) may be a link to anywhere.
bool LiesInside(const std::wstring& path, const std::wstring& root)
{
    std::wstring location;
    if (root.empty() || !RealLocation(path, location))
        return false;
    std::wstring prefix = root.back() == L'\\' ? root : root + L"\\";
    return location.size() > prefix.size() &&
           CompareStringOrdinal(location.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

void DeleteContents(const std::wstring& folder, const std::wstring& root)
{
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
    if (!find)
        return;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        std::wstring path = folder + L"\\" + entry.cFileName;
        if (!LiesInside(path, root))
            continue; // maybe a link whose target the system would touch instead
        bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (isFolder && !isLink) {
            DeleteContents(path, root);
            RemoveDirectoryW(path.c_str());
        } else if (isFolder) {
            // A junction or a link to a folder: removing it removes the link.
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find.Get(), &entry));
}

} // namespace

void DeleteDirectoryTree(const std::wstring& folder)
{
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // The folder is itself a link: only the link may go, and only where
        // the system opens (and so removes) the link rather than its target.
        std::wstring trimmed = folder;
        while (trimmed.size() > 1 && (trimmed.back() == L'\\' || trimmed.back() == L'/'))
            trimmed.pop_back();
        size_t slash = trimmed.find_last_of(L"\\/");
        std::wstring parent, location;
        if (slash == std::wstring::npos || !RealLocation(trimmed.substr(0, slash), parent) ||
            !RealLocation(trimmed, location))
            return;
        if (parent.back() != L'\\')
            parent += L'\\';
        std::wstring own = parent + trimmed.substr(slash + 1);
        if (CompareStringOrdinal(location.c_str(), -1, own.c_str(), -1, TRUE) == CSTR_EQUAL)
            RemoveDirectoryW(trimmed.c_str());
        return;
    }
    // Without the folder's own real location nothing below it can be told
    // to lie inside it, and nothing below it is deleted.
    std::wstring root;
    if (!RealLocation(folder, root))
        root.clear();
    DeleteContents(folder, root);
    RemoveDirectoryW(folder.c_str());
}
