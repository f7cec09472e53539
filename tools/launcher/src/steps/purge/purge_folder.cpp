#include "purge_folder.h"

#include "log.h"
#include "purge_bounds.h"
#include "scoped_handles.h"
#include "strings.h"

#include <windows.h>

#include <cwctype>
#include <deque>
#include <vector>

namespace {

struct PurgeEntry {
    std::wstring path; // folders to scan end with "\"
    int64_t size = 0;  // files: their size
};

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// The components of path after its first skip characters.
std::vector<std::wstring> Components(const std::wstring& path, size_t skip)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (size_t i = skip; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return parts;
}

class Purge {
  public:
    Purge(bool uninstall, PurgeCounters& counters, const std::atomic<bool>& stop)
        : uninstall_(uninstall), counters_(counters), stop_(stop)
    {
    }

    const PurgeOutcome& Outcome() const { return outcome_; }

    void Run(const std::wstring& folder)
    {
        root_ = RealFolderPath(folder);
        if (uninstall_) {
            wchar_t container[MAX_PATH] = {};
            CopyDirectoryPart(container, folder.c_str());
            if (IsPurgeRootAllowed(container))
                remove_.push_back({std::wstring(container) + L"\\", 0});
        }
        scan_.push_back({folder + L"\\", 0});
        remove_.push_back({folder + L"\\", 0});
        while (!scan_.empty() && !stop_) {
            std::wstring next = scan_.front().path;
            scan_.pop_front();
            Scan(next);
        }
        LogWrite(L"Purging download cache...\n");
        for (const PurgeEntry& file : files_) {
            if (stop_)
                break;
            if (DeleteFileW(file.path.c_str())) {
                LogPrintf(L"Deleted %s\n", file.path.c_str());
            } else {
                DWORD error = GetLastError();
                LogPrintf(L"Could not delete file %s\n", file.path.c_str());
                Kept(file.path, error);
            }
            counters_.bytesDeleted += file.size;
        }
        for (auto folder = remove_.rbegin(); folder != remove_.rend() && !stop_; ++folder) {
            if (RemoveDirectoryW(folder->path.c_str())) {
                LogPrintf(L"Deleted %s\n", folder->path.c_str());
                continue;
            }
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                LogPrintf(L"Could not delete dir %s\n", folder->path.c_str());
        }
    }

  private:
    void Scan(const std::wstring& folder)
    {
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW((folder + L"*").c_str(), &data));
        if (!find)
            return;
        do {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
                continue;
            bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder && (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0))
                continue;
            std::wstring path = folder + data.cFileName;
            // A link or junction, or a folder whose real place is elsewhere,
            // is kept and not entered.
            if (!StaysBelowRoot(path, data.dwFileAttributes, root_)) {
                LogPrintf(L"Skipped link %s\n", path.c_str());
                continue;
            }
            if (isFolder) {
                remove_.push_back({path, 0});
                scan_.push_back({path + L"\\", 0});
                continue;
            }
            if (!uninstall_ && _wcsicmp(data.cFileName, L"Launcher.exe") == 0)
                continue;
            // Opening with read sharing only fails for a file that another
            // program has open for writing: that file is kept.
            UniqueHandle file(
                CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file) {
                Kept(path, GetLastError());
                continue;
            }
            LARGE_INTEGER size = {};
            GetFileSizeEx(file.Get(), &size);
            file.Reset();
            files_.push_back({path, size.QuadPart});
            counters_.bytesFound += size.QuadPart;
        } while (FindNextFileW(find.Get(), &data) && !stop_);
    }

    // A file to delete stays; one that went away meanwhile does not count.
    void Kept(const std::wstring& path, DWORD error)
    {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        if (outcome_.filesKept++ == 0)
            outcome_.firstKept = path;
    }

    bool uninstall_;
    PurgeCounters& counters_;
    const std::atomic<bool>& stop_;
    std::wstring root_;
    std::deque<PurgeEntry> scan_;
    std::vector<PurgeEntry> files_;
    std::vector<PurgeEntry> remove_;
    PurgeOutcome outcome_;
};

} // namespace

bool IsPurgeRootAllowed(const std::wstring& folder)
{
    std::vector<std::wstring> parts;
    if (folder.size() >= 3 && iswalpha(folder[0]) && folder[1] == L':' && IsSeparator(folder[2])) {
        parts = Components(folder, 3);
        if (parts.empty())
            return false;
    } else if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        parts = Components(folder, 2);
        // Server and share are the root; "\\?\" and "\\.\" forms are refused.
        if (parts.size() < 3 || parts[0] == L"?" || parts[0] == L".")
            return false;
    } else {
        return false;
    }
    for (const std::wstring& part : parts) {
        if (part == L"." || part == L"..")
            return false;
    }
    return true;
}

PurgeOutcome PurgeFolder(const std::wstring& folder, bool uninstall, PurgeCounters& counters,
                         const std::atomic<bool>& stop)
{
    std::wstring trimmed = folder;
    while (trimmed.size() > 1 && IsSeparator(trimmed.back()))
        trimmed.pop_back();
    if (!IsPurgeRootAllowed(trimmed) || trimmed.size() >= MAX_PATH) {
        LogPrintf(L"Refusing to purge %s: not a folder below a drive or share\n", folder.c_str());
        PurgeOutcome refused;
        refused.refused = true;
        return refused;
    }
    Purge purge(uninstall, counters, stop);
    purge.Run(trimmed);
    LogWrite(L"Purge complete\n");
    return purge.Outcome();
}
