// Loading the offline installer archive: its parts, its index and the check
// that the parts hold every indexed object.
#include "offline_archive.h"

#include "log.h"
#include "settings_store.h"
#include "strings.h"

ArchiveIndexMap ArchiveIndex;
std::vector<ArchivePart> ArchiveParts;

namespace {

// Parts beyond this many would be a damaged or hostile folder.
constexpr int kPartLimit = 1000;

bool IsPlainFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueHandle OpenPart(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

} // namespace

std::wstring ArchivePartPath(const std::wstring& path, int k)
{
    if (path.size() <= 3)
        return std::wstring();
    wchar_t suffix[16];
    FormatString(suffix, 16, L"b%02d", k);
    return path.substr(0, path.size() - 3) + suffix;
}

int64_t GetHandleFileSize(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    GetFileInformationByHandle(file, &info);
    return static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
}

bool CheckArchiveBounds(const ArchiveIndexMap& index, int64_t total)
{
    for (const auto& item : index) {
        const ArchiveEntry& entry = item.second;
        if (entry.address < 0 || entry.size < 0 || entry.address > total ||
            entry.size > total - entry.address) {
            LogPrintf(L"Archive missing for address %lld\n",
                      static_cast<long long>(static_cast<uint64_t>(entry.address) +
                                             static_cast<uint64_t>(entry.size)));
            return false;
        }
    }
    return true;
}

void UnloadOfflineInstaller()
{
    ArchiveParts.clear();
    ArchiveIndex.clear();
}

void LoadOfflineInstaller()
{
    UnloadOfflineInstaller();

    wchar_t setting[260] = L"";
    ReadSettingString(SCOPE_LAUNCHER, setting, 260, L"OfflineInstall");
    std::wstring path = setting;
    if (path.size() <= 3 || !IsPlainFile(path))
        return;

    std::wstring firstPath = ArchivePartPath(path, 0);
    if (!IsPlainFile(firstPath))
        return;
    LogPrintf(L"Parsing maninfest from %s\n", firstPath.c_str());
    UniqueHandle first = OpenPart(firstPath);
    if (!first)
        return;
    if (!ReadArchiveIndex(first.Get())) {
        ArchiveIndex.clear();
        return;
    }

    int64_t total = GetHandleFileSize(first.Get());
    ArchiveParts.push_back({std::move(first), 0, total});
    for (int k = 1; k < kPartLimit; ++k) {
        std::wstring partPath = ArchivePartPath(path, k);
        if (!IsPlainFile(partPath))
            break;
        UniqueHandle part = OpenPart(partPath);
        int64_t size = part ? GetHandleFileSize(part.Get()) : 0;
        if (!part || size > INT64_MAX - total) {
            LogPrintf(L"Could not read %s\n", partPath.c_str());
            UnloadOfflineInstaller();
            return;
        }
        ArchiveParts.push_back({std::move(part), total, size});
        total += size;
    }

    if (!CheckArchiveBounds(ArchiveIndex, total)) {
        UnloadOfflineInstaller();
        return;
    }
    int bound = BindArchiveEntries(ManifestEntries, ArchiveIndex);
    LogPrintf(L"Found %d/%d current files in the offline installer\n", bound,
              static_cast<int>(ArchiveIndex.size()));
}
