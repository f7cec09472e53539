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

constexpr size_t kNone = static_cast<size_t>(-1);

// A folder to scan, with where it really lies and its place among the
// folders to remove.
struct ScanFolder {
    std::wstring path; // ends with "\"
    std::wstring real; // its RealFolderPath
    size_t index;      // into the folders to remove
};

struct FileEntry {
    std::wstring path;
    int64_t size = 0;
    size_t folder; // the folder that holds it, into the folders to remove
};

struct RemoveFolder {
    std::wstring path;
    size_t parent;           // into the folders to remove; kNone for the first ones
    bool leftInside = false; // holds what stays on purpose or is already counted
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
        size_t parent = kNone;
        if (uninstall_) {
            wchar_t container[MAX_PATH] = {};
            CopyDirectoryPart(container, folder.c_str());
            // It may hold other folders than the install: what stays in it
            // is not the purge's to report.
            if (IsPurgeRootAllowed(container)) {
                remove_.push_back({std::wstring(container) + L"\\", kNone, true});
                parent = 0;
            }
        }
        scan_.push_back({folder + L"\\", RealFolderPath(folder), remove_.size()});
        remove_.push_back({folder + L"\\", parent});
        while (!scan_.empty() && !stop_) {
            ScanFolder next = std::move(scan_.front());
            scan_.pop_front();
            Scan(next);
        }
        LogWrite(L"Purging download cache...\n");
        for (const FileEntry& file : files_) {
            if (stop_)
                break;
            if (DeleteFileW(file.path.c_str())) {
                LogPrintf(L"Deleted %s\n", file.path.c_str());
            } else {
                DWORD error = GetLastError();
                LogPrintf(L"Could not delete file %s\n", file.path.c_str());
                Kept(file.path, error, file.folder);
            }
            counters_.bytesDeleted += file.size;
        }
        // Deepest first: a folder's subfolders are behind it in the list. A
        // folder that stays is counted unless what it holds is; either way
        // its parent then stays through it.
        for (size_t i = remove_.size(); i-- > 0 && !stop_;) {
            const RemoveFolder& folder = remove_[i];
            if (RemoveDirectoryW(folder.path.c_str())) {
                LogPrintf(L"Deleted %s\n", folder.path.c_str());
                continue;
            }
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                continue;
            LogPrintf(L"Could not delete dir %s\n", folder.path.c_str());
            if (folder.leftInside)
                LeftInside(folder.parent);
            else
                Kept(FolderName(folder.path), error, folder.parent);
        }
    }

  private:
    void Scan(const ScanFolder& folder)
    {
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW((folder.path + L"*").c_str(), &data));
        // A folder that cannot be listed stays with all it holds; its
        // removal fails and counts it.
        if (!find)
            return;
        do {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
                LeftInside(folder.index);
                continue;
            }
            bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder && (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0))
                continue;
            std::wstring path = folder.path + data.cFileName;
            // A link or junction is kept and not entered.
            if (IsLinkItem(data.dwFileAttributes)) {
                LogPrintf(L"Skipped link %s\n", path.c_str());
                LeftInside(folder.index);
                continue;
            }
            if (isFolder) {
                ScanSubfolder(folder, path, data.cFileName);
                continue;
            }
            if (!uninstall_ && _wcsicmp(data.cFileName, L"Launcher.exe") == 0) {
                LeftInside(folder.index);
                continue;
            }
            // Opening with read sharing only fails for a file that another
            // program has open for writing: that file is kept.
            UniqueHandle file(
                CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!file) {
                Kept(path, GetLastError(), folder.index);
                continue;
            }
            LARGE_INTEGER size = {};
            GetFileSizeEx(file.Get(), &size);
            file.Reset();
            files_.push_back({path, size.QuadPart, folder.index});
            counters_.bytesFound += size.QuadPart;
        } while (FindNextFileW(find.Get(), &data) && !stop_);
    }

    // A folder that does not lie where its name says is a link not marked
    // as one: kept and not entered. One whose place cannot be told (nor its
    // parent's) stays and counts.
    void ScanSubfolder(const ScanFolder& parent, const std::wstring& path, const wchar_t* name)
    {
        std::wstring real = RealFolderPath(path);
        if (real.empty() || parent.real.empty()) {
            if (WentAway(path))
                return;
            LogPrintf(L"Could not delete dir %s\n", path.c_str());
            Stayed(FolderName(path), parent.index);
            return;
        }
        if (!LiesWhereNamed(real, parent.real, name)) {
            LogPrintf(L"Skipped link %s\n", path.c_str());
            LeftInside(parent.index);
            return;
        }
        scan_.push_back({path + L"\\", std::move(real), remove_.size()});
        remove_.push_back({path, parent.index});
    }

    static bool WentAway(const std::wstring& path)
    {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return false;
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    // A folder is named with its trailing "\" where it is reported.
    static std::wstring FolderName(const std::wstring& path)
    {
        return IsSeparator(path.back()) ? path : path + L"\\";
    }

    void LeftInside(size_t folder)
    {
        if (folder != kNone)
            remove_[folder].leftInside = true;
    }

    // Something to delete stays, in folder; one that went away meanwhile
    // (error) does not count.
    void Kept(const std::wstring& path, DWORD error, size_t folder)
    {
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            Stayed(path, folder);
    }

    void Stayed(const std::wstring& path, size_t folder)
    {
        LeftInside(folder);
        if (outcome_.kept++ == 0)
            outcome_.firstKept = path;
    }

    bool uninstall_;
    PurgeCounters& counters_;
    const std::atomic<bool>& stop_;
    std::deque<ScanFolder> scan_;
    std::vector<FileEntry> files_;
    std::vector<RemoveFolder> remove_; // in listing order: a parent before its subfolders
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
