#include "folder_delete.h"

#include <windows.h>

#include "error_output.h"
#include "held_folder.h"
#include "scoped_handles.h"
#include "strings.h"

namespace {

FolderCheckedHook CheckedHook = nullptr;
EntryCheckedHook EntryHook = nullptr;

// The files a crash folder holds besides those taken by their kind.
const wchar_t* const CRASH_FILE_NAMES[] = {L"Description.txt", L"dxdiag.txt"};
// The kinds the report's zip takes (the attachment's "*.dmp", "*.log" and
// "*.cfg").
const wchar_t* const CRASH_FILE_EXTENSIONS[] = {L".dmp", L".log", L".cfg"};

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

// The long form of path (no 8.3 names), or path where it has none.
std::wstring LongPath(const std::wstring& path)
{
    DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return path;
    std::wstring longPath(size, L'\0');
    DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), size);
    if (length == 0 || length >= size)
        return path;
    longPath.resize(length);
    return longPath;
}

// A full path without its device prefix: a share named through the device
// namespaces, the redirector's own device among them, is "\\\\h\\s"
// ("\\\\?\\UNC\\h\\s"); any other path below "\\\\?\\" or "\\\\.\\" (which name
// the same places directly) loses that prefix, and device tells it had one.
std::wstring WithoutDevicePrefix(const std::wstring& path, bool* device = nullptr)
{
    const wchar_t* const SHARE_PREFIXES[] = {L"\\\\?\\UNC\\", L"\\\\.\\UNC\\",
                                             L"\\\\?\\GLOBALROOT\\Device\\Mup\\",
                                             L"\\\\.\\GLOBALROOT\\Device\\Mup\\"};
    if (device)
        *device = false;
    for (const wchar_t* prefix : SHARE_PREFIXES) {
        if (StartsWithNoCase(path, prefix))
            return L"\\\\" + path.substr(wcslen(prefix));
    }
    if (StartsWithNoCase(path, L"\\\\?\\") || StartsWithNoCase(path, L"\\\\.\\")) {
        if (device)
            *device = true;
        return path.substr(4);
    }
    return path;
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

// The path to open for folder (a full path): without trailing separators, so
// that a link is opened as itself rather than as the folder it leads to,
// but a drive's root keeps its own ("C:" alone names a current folder).
std::wstring HeldFolderPath(const std::wstring& full)
{
    std::wstring path = WithoutTrailingSeparators(full);
    if (path.size() < full.size() && !path.empty() && path.back() == L':')
        path += L'\\';
    return path;
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

CrashFolderCheck Verdict(CrashFolderVerdict verdict, const std::wstring& entry = std::wstring(),
                         DWORD error = 0)
{
    CrashFolderCheck check;
    check.verdict = verdict;
    check.entry = entry;
    check.error = error;
    return check;
}

// What the system names the held folder: its path as the system gives it
// now, whatever spelling opened it (another drive's path to a mapped drive's
// folder, a device name). A root by that name is ROOT; a folder without one
// is UNNAMED, since nothing could tell whether it is gone.
CrashFolderCheck JudgeHeldName(HANDLE held, std::wstring& finalPath)
{
    DWORD error = 0;
    finalPath = FinalPathOf(held, VOLUME_NAME_DOS, error);
    DWORD inVolumeError = 0;
    std::wstring inVolume = FinalPathOf(held, VOLUME_NAME_NONE, inVolumeError);
    if ((!finalPath.empty() && IsRootPath(finalPath)) ||
        (!inVolume.empty() && CountComponents(inVolume) == 0))
        return Verdict(CrashFolderVerdict::ROOT);
    if (finalPath.empty())
        return Verdict(CrashFolderVerdict::UNNAMED, std::wstring(), error);
    return Verdict(CrashFolderVerdict::CRASH_FOLDER);
}

// The check of the folder held, opened by path: by what the system names
// it, whether it is a link, and by its entries, listed through the handle.
CrashFolderCheck CheckHeldFolder(HANDLE held, const std::wstring& path, std::wstring& finalPath)
{
    CrashFolderCheck named = JudgeHeldName(held, finalPath);
    if (named.verdict != CrashFolderVerdict::CRASH_FOLDER)
        return named;
    FolderEntry folder;
    DWORD error = 0;
    if (!InformationOf(held, folder, error))
        return Verdict(CrashFolderVerdict::NOT_LISTED, std::wstring(), error);
    // Where a link cannot be opened as itself (Wine opens what it leads to),
    // only its path shows it; asked after the opening, a link put there
    // since is caught too.
    DWORD pathAttributes = GetFileAttributesW(path.c_str());
    if ((folder.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (pathAttributes != INVALID_FILE_ATTRIBUTES && (pathAttributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return Verdict(CrashFolderVerdict::LINK);
    // The folder itself is opened as a link where it is one, but the folders
    // above it are followed as its path is looked up: a name other than that
    // path (in its long form) says it was reached through a link.
    std::wstring reached = WithoutDevicePrefix(finalPath);
    if (!EqualsNoCase(reached.c_str(), WithoutDevicePrefix(LongPath(path)).c_str()))
        return Verdict(CrashFolderVerdict::REACHED_ELSEWHERE, reached);
    std::vector<FolderEntry> entries;
    if (!ListHeldFolder(held, entries, error))
        return Verdict(CrashFolderVerdict::NOT_LISTED, std::wstring(), error);
    CrashFolderCheck found; // the first link or other file
    found.verdict = CrashFolderVerdict::CRASH_FOLDER;
    for (const FolderEntry& entry : entries) {
        CrashFolderVerdict verdict = EntryVerdict(entry.name.c_str(), entry.attributes);
        if (verdict == CrashFolderVerdict::HOLDS_FOLDER)
            return Verdict(verdict, entry.name);
        if (verdict == CrashFolderVerdict::CRASH_FOLDER) {
            found.files.push_back(entry.name);
        } else if (found.verdict == CrashFolderVerdict::CRASH_FOLDER) {
            found.verdict = verdict;
            found.entry = entry.name;
        }
    }
    return found;
}

bool IsListed(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (const std::wstring& listed : names) {
        if (EqualsNoCase(listed.c_str(), name.c_str()))
            return true;
    }
    return false;
}

// Whether an opened entry of the held folder is still a crash file there:
// by its handle's attributes, and by where the system says the open file
// lies, which must be the held folder (finalPath) under the entry's name.
// Where a link cannot be opened as itself (Wine opens what it leads to, and
// does not mark a link to a file), only that place tells it.
CrashFolderCheck RecheckEntry(HANDLE entry, const std::wstring& name, const std::wstring& finalPath)
{
    FolderEntry opened;
    DWORD error = 0;
    if (!InformationOf(entry, opened, error))
        return Verdict(CrashFolderVerdict::NOT_DELETED, name, error);
    CrashFolderVerdict verdict = EntryVerdict(name.c_str(), opened.attributes);
    if (verdict != CrashFolderVerdict::CRASH_FOLDER)
        return Verdict(verdict, name);
    std::wstring location = FinalPathOf(entry, VOLUME_NAME_DOS, error);
    std::wstring expected = finalPath;
    if (expected.empty() || !IsSeparator(expected.back()))
        expected += L'\\';
    expected += name;
    if (location.empty() || !EqualsNoCase(location.c_str(), expected.c_str()))
        return Verdict(CrashFolderVerdict::LEADS_ELSEWHERE, name);
    return Verdict(CrashFolderVerdict::CRASH_FOLDER);
}

// Why a held folder that still holds entries could not be removed: one of
// the checked files that did not go, or else entries added after the check.
CrashFolderCheck WhyNotEmpty(HANDLE held, const std::vector<std::wstring>& checked)
{
    std::vector<FolderEntry> entries;
    DWORD error = 0;
    if (!ListHeldFolder(held, entries, error))
        return Verdict(CrashFolderVerdict::NOT_REMOVED, std::wstring(), ERROR_DIR_NOT_EMPTY);
    for (const FolderEntry& entry : entries) {
        if (IsListed(checked, entry.name))
            return Verdict(CrashFolderVerdict::NOT_DELETED, entry.name);
    }
    return Verdict(CrashFolderVerdict::GAINED_ENTRIES);
}

// Removes the emptied folder through its handle, which this closes, and
// makes sure it is gone.
CrashFolderCheck RemoveHeldFolder(UniqueHandle& held, const std::wstring& finalPath,
                                  const std::vector<std::wstring>& checked)
{
    DWORD error = 0;
    if (!MarkForDeletion(held.Get(), error)) {
        if (error == ERROR_DIR_NOT_EMPTY)
            return WhyNotEmpty(held.Get(), checked);
        return Verdict(CrashFolderVerdict::NOT_REMOVED, std::wstring(), error);
    }
    held.Reset();
    // Only asked, never acted on: whatever goes by this name now is not
    // touched.
    if (GetFileAttributesW(finalPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Verdict(CrashFolderVerdict::NOT_REMOVED);
    return Verdict(CrashFolderVerdict::CRASH_FOLDER);
}

// Deletes the files the check listed, each opened through the held folder
// and checked again, then removes the folder. The first file that no longer
// passes the rule stops it; a file that cannot be deleted keeps the folder
// once the others are deleted.
CrashFolderCheck DeleteCheckedFiles(const std::wstring& folder, UniqueHandle& held,
                                    const std::wstring& finalPath, const CrashFolderCheck& checked)
{
    CrashFolderCheck undeleted = Verdict(CrashFolderVerdict::CRASH_FOLDER);
    for (const std::wstring& name : checked.files) {
        DWORD error = 0;
        UniqueHandle entry(OpenHeldEntry(held.Get(), name, error));
        CrashFolderCheck why = Verdict(CrashFolderVerdict::NOT_DELETED, name, error);
        if (!entry && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            continue; // gone already
        if (entry) {
            CrashFolderCheck again = RecheckEntry(entry.Get(), name, finalPath);
            if (again.verdict == CrashFolderVerdict::CRASH_FOLDER) {
                if (EntryHook)
                    EntryHook(folder, name);
                if (MarkForDeletion(entry.Get(), error))
                    continue;
                why.error = error;
            } else if (again.verdict == CrashFolderVerdict::NOT_DELETED) {
                why = again;
            } else {
                return again;
            }
        }
        if (undeleted.verdict == CrashFolderVerdict::CRASH_FOLDER)
            undeleted = why;
    }
    if (undeleted.verdict != CrashFolderVerdict::CRASH_FOLDER)
        return undeleted;
    return RemoveHeldFolder(held, finalPath, checked.files);
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
    bool device = false;
    std::wstring path = WithoutDevicePrefix(fullPath, &device);
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
    std::wstring full = FullPath(folder);
    if (IsRootPath(full))
        return Verdict(CrashFolderVerdict::ROOT);
    UniqueHandle held(OpenHeldFolder(HeldFolderPath(full)));
    if (!held) {
        DWORD error = GetLastError();
        return Verdict(CrashFolderVerdict::NOT_LISTED, std::wstring(), error);
    }
    std::wstring finalPath;
    return CheckHeldFolder(held.Get(), HeldFolderPath(full), finalPath);
}

bool DeleteCrashFolder(const std::wstring& folder)
{
    std::wstring full = FullPath(folder);
    CrashFolderCheck check = Verdict(CrashFolderVerdict::ROOT);
    UniqueHandle held;
    std::wstring finalPath;
    if (!IsRootPath(full)) {
        std::wstring path = HeldFolderPath(full);
        held.Reset(OpenHeldFolder(path));
        DWORD error = GetLastError();
        if (held)
            check = CheckHeldFolder(held.Get(), path, finalPath);
        else
            check = Verdict(CrashFolderVerdict::NOT_LISTED, std::wstring(), error);
    }
    if (check.verdict == CrashFolderVerdict::CRASH_FOLDER) {
        if (CheckedHook)
            CheckedHook(folder);
        // Deleting goes through the held handle alone; a path that names
        // another folder now still says the folder is not where it was.
        if (StillNames(held.Get(), folder))
            check = DeleteCheckedFiles(folder, held, finalPath, check);
        else
            check = Verdict(CrashFolderVerdict::REPLACED);
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

void SetEntryCheckedHook(EntryCheckedHook hook)
{
    EntryHook = hook;
}
