#include "install_purge.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "log.h"
#include "manifest.h"
#include "manifest_path_set.h"
#include "purge/purge_bounds.h"
#include "scoped_handles.h"
#include "strings.h"

#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <memory>
#include <vector>

namespace {

bool IsSkipped(const wchar_t* name, DWORD attributes)
{
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return true;
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

bool IsSkipped(const WIN32_FIND_DATAW& item)
{
    return IsSkipped(item.cFileName, item.dwFileAttributes);
}

struct ListedItem {
    std::wstring name;
    DWORD attributes;
};

// Lists folders through a handle the caller holds, so that the handle that
// tells where a folder really lies also lists it: under Wine each open and
// close of a folder is a round trip to its server, and a walk through
// thousands of folders waits mostly on those.
class FolderLister {
  public:
    FolderLister() : buffer_(new ULONGLONG[kBufferBytes / sizeof(ULONGLONG)]) {}

    // Appends the folder's items to items (without "." and ".."); false
    // when the listing failed, with what was listed before the failure kept.
    bool List(HANDLE folder, std::vector<ListedItem>& items)
    {
        FILE_INFO_BY_HANDLE_CLASS batch = FileIdBothDirectoryRestartInfo; // from the first item
        for (;;) {
            if (!GetFileInformationByHandleEx(folder, batch, buffer_.get(), kBufferBytes))
                return GetLastError() == ERROR_NO_MORE_FILES;
            batch = FileIdBothDirectoryInfo;
            const BYTE* at = reinterpret_cast<const BYTE*>(buffer_.get());
            for (;;) {
                const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L"..")
                    items.push_back({std::move(name), entry->FileAttributes});
                if (entry->NextEntryOffset == 0)
                    break;
                at += entry->NextEntryOffset;
            }
        }
    }

  private:
    static constexpr DWORD kBufferBytes = 64 * 1024;
    std::unique_ptr<ULONGLONG[]> buffer_; // FILE_ID_BOTH_DIR_INFO holds 64-bit fields
};

void DeleteOldOriginFolder()
{
    wchar_t localData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, localData)))
        return;
    std::wstring path = std::wstring(localData) + L"\\Vantorel\\origin";
    if (path.size() >= MAX_PATH)
        return;
    // The shell wants the list ended by two zeros.
    std::wstring from = path + L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    int result = SHFileOperationW(&operation);
    if (result != 0 && result != 2)
        LogPrintf(L"Could not delete %s [0x%08x]\n", path.c_str(), result);
}

// Whether a listed folder holds nothing but hidden or system items; false
// when it cannot be listed.
bool IsEmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW item;
    FindHandle find(FindFirstFileW((folder + L"*").c_str(), &item));
    if (!find)
        return false;
    do {
        if (!IsSkipped(item))
            return false;
    } while (FindNextFileW(find.Get(), &item));
    return true;
}

} // namespace

bool IsPurgeableFolder(const std::wstring& folder)
{
    std::wstring path = folder;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return path.find_first_not_of(L"\\/", 3) != std::wstring::npos;
    if (path.compare(0, 2, L"\\\\") == 0) {
        // "\\server\share" is the share's root; a folder below it is needed.
        size_t share = path.find(L'\\', 2);
        size_t below = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
        return below != std::wstring::npos && below + 1 < path.size();
    }
    return false;
}

bool MatchesAnyPattern(const wchar_t* name, const wchar_t* const* patterns)
{
    wchar_t lower[MAX_PATH];
    CopyString(lower, MAX_PATH, name);
    ToLowerPath(lower);
    for (; *patterns; ++patterns) {
        if (WildcardMatch(*patterns, lower))
            return true;
    }
    return false;
}

bool IsKeptFile(const wchar_t* path)
{
    return IsKeptFile(path, ManifestPathSet(ManifestFileList));
}

bool IsKeptFile(const wchar_t* path, const ManifestPathSet& listed)
{
    return listed.Contains(path) || wcsstr(path, L".LightMap.") || wcsstr(path, L"\\unins00");
}

void PurgeVestigialFiles(const std::atomic<bool>& abortRequested, const wchar_t* const* patterns,
                         bool removeEmptyFolders)
{
    DeleteOldOriginFolder();

    // Each folder of the walk with its real location: a folder is entered
    // only when it lies where its parent and its name say, so nothing
    // outside a start is reached and no file is judged by an alias's path.
    // What the walk left in each folder is counted, so that only the
    // folders it left empty are listed once more before their removal.
    struct WalkFolder {
        std::wstring path; // ends with "\"
        std::wstring name; // as its parent listed it; empty for a start
        size_t parent;     // index into folders; none for a start
        std::wstring real; // RealFolderPath once opened (a start's at once)
        long remaining;    // items the walk left, hidden and system ones aside; -1 not listed
    };
    constexpr size_t kNoParent = static_cast<size_t>(-1);
    std::vector<WalkFolder> folders;
    auto addStart = [&](const std::wstring& folder) {
        folders.push_back({folder + L"\\", L"", kNoParent, RealFolderPath(folder), -1});
    };
    const std::wstring& install = GetClusterInstallDir(ServerCluster);
    if (IsPurgeableFolder(install))
        addStart(install);
    else
        LogPrintf(L"Not purging the install folder \"%s\"\n", install.c_str());
    if (!SingleClusterMode) {
        wchar_t localData[MAX_PATH] = {};
        if (SUCCEEDED(
                SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, localData)))
            addStart(std::wstring(localData) + L"\\Vantorel\\Downloaded\\" +
                     GetClusterFolderName(ServerCluster));
    }

    const ManifestPathSet listed(ManifestFileList);
    FolderLister lister;
    std::vector<ListedItem> items;
    for (size_t i = 0; i < folders.size() && !abortRequested; ++i) {
        WalkFolder folder = folders[i];
        std::wstring named = folder.path.substr(0, folder.path.size() - 1);
        UniqueHandle handle(CreateFileW(named.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle)
            continue;
        // A folder that leads elsewhere (a link not marked as one) is
        // neither listed nor ever removed.
        if (folder.parent != kNoParent) {
            folders[i].real = RealFolderPath(handle.Get());
            if (!LiesWhereNamed(folders[i].real, folders[folder.parent].real, folder.name)) {
                LogPrintf(L"Skipped link %s\n", named.c_str());
                folders[i].remaining = 1;
                continue;
            }
        }
        items.clear();
        if (!lister.List(handle.Get(), items) && items.empty())
            continue;
        handle.Reset();
        long remaining = 0;
        for (const ListedItem& item : items) {
            if (abortRequested)
                return;
            if (IsSkipped(item.name.c_str(), item.attributes))
                continue;
            ++remaining;
            std::wstring path = folder.path + item.name;
            if (IsLinkItem(item.attributes)) {
                LogPrintf(L"Skipped link %s\n", path.c_str());
                continue;
            }
            if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (path.size() + 1 < MAX_PATH)
                    folders.push_back({path + L"\\", item.name, i, L"", -1});
                continue;
            }
            if (MatchesAnyPattern(item.name.c_str(), patterns) && !IsKeptFile(path.c_str(), listed)) {
                LogPrintf(L"Purging vestigial %s\n", path.c_str());
                if (DeleteFileW(path.c_str()))
                    --remaining;
                else
                    LogPrintf(L"Purging failed (0x%08X)\n", GetLastError());
            }
        }
        folders[i].remaining = remaining;
    }

    if (!removeEmptyFolders)
        return;
    // Deepest first: a folder's subfolders are behind it in the list.
    for (size_t i = folders.size(); i-- > 0 && !abortRequested;) {
        const std::wstring& folder = folders[i].path;
        if (folders[i].remaining > 0 || !IsEmptyFolder(folder))
            continue;
        LogPrintf(L"Purging empty %s\n", folder.c_str());
        if (!RemoveDirectoryW(folder.c_str())) {
            LogPrintf(L"Purging failed (0x%08X)\n", GetLastError());
            continue;
        }
        if (folders[i].parent != kNoParent)
            --folders[folders[i].parent].remaining;
    }
}

bool IsSupportedFileSystem(const wchar_t* root)
{
    wchar_t name[MAX_PATH] = {};
    if (!GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH)) {
        LogPrintf(L"GetVolumeInformation(%s) failed", root);
        return true;
    }
    return _wcsicmp(name, L"FAT") != 0 && _wcsicmp(name, L"FAT32") != 0 && _wcsicmp(name, L"CDFS") != 0;
}

std::wstring DoubleBackslashes(const std::wstring& text)
{
    std::wstring doubled;
    doubled.reserve(text.size() + 8);
    for (wchar_t c : text) {
        doubled += c;
        if (c == L'\\')
            doubled += c;
    }
    return doubled;
}
