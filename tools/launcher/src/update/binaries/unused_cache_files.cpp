#include "install_purge.h"

#include "clusters.h"
#include "entry_applicability.h"
#include "launcher_settings.h"
#include "manifest.h"
#include "manifest_path_set.h"
#include "scoped_handles.h"

#include <windows.h>

namespace {

std::vector<UnusedCacheFile> UnusedCacheFileList;
bool UnusedCacheFilesBuilt = false;

const wchar_t* const kCachePatterns[] = {L"*.cache", L"*.toc", nullptr};

bool IsPlainFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

void ForgetUnusedCacheFiles()
{
    UnusedCacheFileList.clear();
    UnusedCacheFilesBuilt = false;
}

const std::vector<UnusedCacheFile>& ListUnusedCacheFiles()
{
    if (UnusedCacheFilesBuilt)
        return UnusedCacheFileList;
    for (const ManifestEntry& entry : ManifestEntries) {
        if (entry.kind == ENTRY_LAUNCHER_FILE || entry.kind == ENTRY_AGREEMENT)
            continue;
        if (!IsManifestEntryApplicable(entry.remoteName) && IsPlainFile(entry.localPath))
            UnusedCacheFileList.push_back({entry.localPath, entry.size});
    }
    std::wstring folder = DownloadFolder;
    if (!SingleClusterMode)
        folder += std::wstring(L"\\") + GetClusterFolderName(ServerCluster);
    folder += L"\\Cache.Windows\\";
    WIN32_FIND_DATAW item;
    // Without a download folder the path would name the current drive's root.
    FindHandle find(DownloadFolder.empty() ? INVALID_HANDLE_VALUE
                                           : FindFirstFileW((folder + L"*").c_str(), &item));
    if (find) {
        const ManifestPathSet listed(ManifestFileList);
        do {
            if (item.dwFileAttributes &
                (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY))
                continue;
            std::wstring path = folder + item.cFileName;
            if (MatchesAnyPattern(item.cFileName, kCachePatterns) && !IsKeptFile(path.c_str(), listed))
                UnusedCacheFileList.push_back(
                    {path, static_cast<int64_t>((static_cast<uint64_t>(item.nFileSizeHigh) << 32) |
                                                item.nFileSizeLow)});
        } while (FindNextFileW(find.Get(), &item));
    }
    UnusedCacheFilesBuilt = true;
    return UnusedCacheFileList;
}
