#include "folder_delete.h"

#include <windows.h>

#include <cstdio>

#include "error_output.h"
#include "scoped_handles.h"
#include "strings.h"

namespace {

constexpr size_t KEPT_LINE_SIZE = 1024;

FolderCheckedHook CheckedHook = nullptr;

// The files a crash folder holds besides those taken by their kind.
const wchar_t* const CRASH_FILE_NAMES[] = {L"Description.txt", L"dxdiag.txt"};
// The kinds the report's zip takes (the attachment's "*.dmp", "*.log" and
// "*.cfg").
const wchar_t* const CRASH_FILE_EXTENSIONS[] = {L".dmp", L".log", L".cfg"};

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    int length = static_cast<int>(wcslen(prefix));
    return text.size() >= static_cast<size_t>(length) &&
           CompareStringOrdinal(text.c_str(), length, prefix, length, TRUE) == CSTR_EQUAL;
}

// The components of path, empty ones (doubled separators) not counted.
size_t CountComponents(const std::wstring& path)
{
    size_t count = 0;
    bool inComponent = false;
    for (wchar_t c : path) {
        if (IsSeparator(c)) {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

std::wstring FullPath(const std::wstring& path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

std::wstring WithoutTrailingSeparators(std::wstring path)
{
    while (path.size() > 1 && IsSeparator(path.back()))
        path.pop_back();
    return path;
}

// The crash-folder rule for one entry, by its name and attributes:
// CRASH_FOLDER for a crash file, else what it makes of its folder.
CrashFolderVerdict EntryVerdict(const wchar_t* name, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return CrashFolderVerdict::HOLDS_FOLDER;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return CrashFolderVerdict::HOLDS_LINK;
    if (!IsCrashFileName(name))
        return CrashFolderVerdict::HOLDS_OTHER;
    return CrashFolderVerdict::CRASH_FOLDER;
}

// The folder held from before its check to its removal. Opened for listing
// (so that its sharing counts) and not shared for deletion, it cannot be
// moved away meanwhile where the system enforces that; elsewhere the
// handle's identity tells whether the path still names it (StillNames).
HANDLE OpenCheckedFolder(const std::wstring& folder)
{
    return CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool StillNames(HANDLE held, const std::wstring& folder)
{
    UniqueHandle now(CreateFileW(
        folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION was, is;
    return now && GetFileInformationByHandle(held, &was) && GetFileInformationByHandle(now.Get(), &is) &&
           was.dwVolumeSerialNumber == is.dwVolumeSerialNumber && was.nFileIndexHigh == is.nFileIndexHigh &&
           was.nFileIndexLow == is.nFileIndexLow;
}

// Deletes the files the check listed, the folder still held, then removes
// the folder. The first file that no longer passes the rule, or a path that
// no longer names the held folder, stops it; a folder left holding more
// than the listed files was added to.
CrashFolderCheck DeleteCheckedFiles(const std::wstring& folder, UniqueHandle& held,
                                    const CrashFolderCheck& checked)
{
    CrashFolderCheck result;
    result.verdict = CrashFolderVerdict::CRASH_FOLDER;
    bool allDeleted = true;
    for (const std::wstring& name : checked.files) {
        if (!StillNames(held.Get(), folder)) {
            result.verdict = CrashFolderVerdict::REPLACED;
            return result;
        }
        std::wstring path = folder + L"\\" + name;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue; // gone already
        result.verdict = EntryVerdict(name.c_str(), attributes);
        if (result.verdict != CrashFolderVerdict::CRASH_FOLDER) {
            result.entry = name;
            return result;
        }
        if (!DeleteFileW(path.c_str()))
            allDeleted = false;
    }
    if (!StillNames(held.Get(), folder)) {
        result.verdict = CrashFolderVerdict::REPLACED;
        return result;
    }
    held.Reset(); // the folder cannot be removed while it is held
    if (!RemoveDirectoryW(folder.c_str()) && GetLastError() == ERROR_DIR_NOT_EMPTY && allDeleted)
        result.verdict = CrashFolderVerdict::GAINED_ENTRIES;
    return result;
}

} // namespace

bool IsCrashFileName(const wchar_t* name)
{
    for (const wchar_t* known : CRASH_FILE_NAMES) {
        if (EqualsNoCase(name, known))
            return true;
    }
    const wchar_t* extension = GetExtensionPart(name);
    for (const wchar_t* kind : CRASH_FILE_EXTENSIONS) {
        if (EqualsNoCase(extension, kind))
            return true;
    }
    return false;
}

bool IsRootPath(const std::wstring& fullPath)
{
    // Shares named through the device namespaces, the redirector's own
    // device among them, are "\\server\share" below these.
    const wchar_t* const SHARE_PREFIXES[] = {L"\\\\?\\UNC\\", L"\\\\.\\UNC\\",
                                             L"\\\\?\\GLOBALROOT\\Device\\Mup\\",
                                             L"\\\\.\\GLOBALROOT\\Device\\Mup\\"};
    std::wstring path = fullPath;
    bool device = false; // "\\?\" and "\\.\" name the same places directly
    bool share = false;
    for (const wchar_t* prefix : SHARE_PREFIXES) {
        if (StartsWithNoCase(path, prefix)) {
            path = L"\\\\" + path.substr(wcslen(prefix));
            share = true;
            break;
        }
    }
    if (!share && (StartsWithNoCase(path, L"\\\\?\\") || StartsWithNoCase(path, L"\\\\.\\"))) {
        path = path.substr(4);
        device = true;
    }
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    if (path.empty())
        return true; // "\": the current drive's root
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return CountComponents(path) <= 2; // "\\server\share"
    if (path.size() == 2 && path[1] == L':')
        return true; // "C:"
    // A volume named directly ("\\?\Volume{...}") or as a device below
    // the object namespace's root ("\\?\GLOBALROOT\Device\HarddiskVolume1").
    if (device && StartsWithNoCase(path + L"\\", L"GLOBALROOT\\"))
        return CountComponents(path) <= 3;
    return device && CountComponents(path) <= 1;
}

CrashFolderCheck CheckCrashFolder(const std::wstring& folder)
{
    CrashFolderCheck check;
    std::wstring full = FullPath(folder);
    if (IsRootPath(full)) {
        check.verdict = CrashFolderVerdict::ROOT;
        return check;
    }
    // Named with a trailing separator, a link reads as the folder it leads to.
    DWORD attributes = GetFileAttributesW(WithoutTrailingSeparators(full).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        check.verdict = CrashFolderVerdict::LINK;
        return check;
    }
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!find) {
        check.error = GetLastError();
        return check;
    }
    CrashFolderCheck found; // the first link or other file
    found.verdict = CrashFolderVerdict::CRASH_FOLDER;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        CrashFolderVerdict verdict = EntryVerdict(entry.cFileName, entry.dwFileAttributes);
        if (verdict == CrashFolderVerdict::HOLDS_FOLDER) {
            check.verdict = verdict;
            check.entry = entry.cFileName;
            return check;
        }
        if (verdict == CrashFolderVerdict::CRASH_FOLDER) {
            found.files.push_back(entry.cFileName);
        } else if (found.verdict == CrashFolderVerdict::CRASH_FOLDER) {
            found.verdict = verdict;
            found.entry = entry.cFileName;
        }
    } while (FindNextFileW(find.Get(), &entry));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        check.error = error;
        return check;
    }
    return found;
}

std::string KeptFolderLine(const CrashFolderCheck& check)
{
    std::string name = ConvertToUtf8(check.entry);
    char line[KEPT_LINE_SIZE];
    switch (check.verdict) {
    case CrashFolderVerdict::CRASH_FOLDER:
        return std::string();
    case CrashFolderVerdict::ROOT:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it is the root of a drive or share, not a crash folder\n");
        break;
    case CrashFolderVerdict::LINK:
        snprintf(line, sizeof(line), "Error: Folder kept: it is a link, not a crash folder\n");
        break;
    case CrashFolderVerdict::HOLDS_FOLDER:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it holds the folder \"%s\", so it is not a crash folder\n",
                 name.c_str());
        break;
    case CrashFolderVerdict::HOLDS_LINK:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it holds the link \"%s\", so it is not a crash folder\n", name.c_str());
        break;
    case CrashFolderVerdict::HOLDS_OTHER:
        snprintf(line, sizeof(line), "Error: Folder kept: it holds \"%s\", which is not a crash file\n",
                 name.c_str());
        break;
    case CrashFolderVerdict::NOT_LISTED:
        snprintf(line, sizeof(line), "Error: Folder kept: its entries could not be listed. Error code: %lu\n",
                 check.error);
        break;
    case CrashFolderVerdict::GAINED_ENTRIES:
        snprintf(line, sizeof(line), "Error: Folder kept: entries were added to it after it was checked\n");
        break;
    case CrashFolderVerdict::REPLACED:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: another folder took its place after it was checked\n");
        break;
    }
    return line;
}

bool DeleteCrashFolder(const std::wstring& folder)
{
    UniqueHandle held(OpenCheckedFolder(folder));
    DWORD heldError = held ? 0 : GetLastError();
    CrashFolderCheck check = CheckCrashFolder(folder);
    if (check.verdict == CrashFolderVerdict::CRASH_FOLDER && !held) {
        check.verdict = CrashFolderVerdict::NOT_LISTED;
        check.error = heldError;
    }
    if (check.verdict == CrashFolderVerdict::CRASH_FOLDER) {
        if (CheckedHook)
            CheckedHook(folder);
        check = DeleteCheckedFiles(folder, held, check);
    }
    if (check.verdict != CrashFolderVerdict::CRASH_FOLDER) {
        PrintError("%s", KeptFolderLine(check).c_str());
        return false;
    }
    return true;
}

void SetFolderCheckedHook(FolderCheckedHook hook)
{
    CheckedHook = hook;
}
