#include "manifest.h"

#include "archive_entry.h"
#include "clusters.h"
#include "downloaded_path.h"
#include "launcher_settings.h"
#include "log.h"
#include "strings.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

ManifestList ManifestEntries;
std::vector<ManifestFile> ManifestFileList;
std::wstring EulaFilePath;
std::wstring EulaFileHash;
std::wstring CbaFilePath;
std::wstring CbaFileHash;

const wchar_t* const LauncherPrefixes[5] = {
    L"/Tools/Launcher.exe",           L"/Tools/FaultCourier.exe", L"/Tools/Windows/x64/dbghelp.dll",
    L"/Tools/Windows/x64/symsrv.dll", L"/Tools/CEF3_1/",
};

namespace {

constexpr size_t kSuffixLength = 5; // ".lzma" or ".bulk"
constexpr size_t kLowerNameLimit = 259;
constexpr size_t kMd5Length = 32;

bool IsReservedDeviceName(const std::wstring& component)
{
    // The part before the first "." decides: "nul.txt" opens the device too.
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (auto& c : base)
        c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const names[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : names) {
        if (base == name)
            return true;
    }
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'1' && base[3] <= L'9';
}

// A manifest path is appended to a local folder as it stands, so it must be a
// plain relative path below that folder: "/" first, no empty, "." or ".."
// component, no drive letter, stream or device, no character that Windows
// refuses or silently drops (trailing dots and blanks).
bool IsSafeManifestPath(const std::wstring& path)
{
    if (path.size() < 2 || path[0] != L'/')
        return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find(L'/', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring component = path.substr(start, end - start);
        if (component.empty() || component.back() == L'.' || component.back() == L' ')
            return false;
        for (wchar_t c : component) {
            if (c < 0x20 || wcschr(L"\\:*?\"<>|", c))
                return false;
        }
        if (IsReservedDeviceName(component))
            return false;
        start = end + 1;
    }
    return true;
}

// Reads the decimal digits at text; false when there are more than fit a
// signed 64-bit value.
bool ReadSize(const wchar_t* text, int64_t& size)
{
    uint64_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - L'0');
        if (value > static_cast<uint64_t>(INT64_MAX))
            return false;
    }
    size = static_cast<int64_t>(value);
    return true;
}

bool IsTrimmed(wchar_t c)
{
    return c == 0 || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r' || c == L' ';
}

std::wstring ConvertAnsiLine(const char* bytes, size_t length)
{
    if (length == 0 || length > INT_MAX)
        return std::wstring();
    int count = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (count <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), wide.data(), count);
    return wide;
}

} // namespace

bool ParseManifestLine(const ManifestParseContext& context, ManifestEntry& entry, const std::wstring& line)
{
    // A line holding a zero is damaged; the C-string view would see only its start.
    if (line.find(L'\0') != std::wstring::npos)
        return false;
    size_t suffix = line.find(L".lzma,");
    if (suffix == std::wstring::npos)
        suffix = line.find(L".bulk,");
    if (suffix == std::wstring::npos || suffix == 0)
        return false;
    size_t dot = line.rfind(L'.', suffix - 1);
    if (dot == std::wstring::npos || dot + 1 + kMd5Length != suffix)
        return false;

    std::wstring path = line.substr(0, dot);
    if (!IsSafeManifestPath(path)) {
        LogPrintf(L"Ignoring manifest line with unsafe path: %s\n", line.c_str());
        return false;
    }
    int64_t size = 0;
    if (!ReadSize(line.c_str() + suffix + kSuffixLength + 1, size)) {
        LogPrintf(L"Ignoring manifest line with bad size: %s\n", line.c_str());
        return false;
    }

    entry.remoteName = line.substr(0, suffix + kSuffixLength);
    std::wstring lower = entry.remoteName.substr(0, kLowerNameLimit);
    for (auto& c : lower)
        c = static_cast<wchar_t>(towlower(c));

    bool launcherPrefix = false;
    for (const wchar_t* prefix : LauncherPrefixes) {
        if (_wcsnicmp(line.c_str(), prefix, wcslen(prefix)) == 0) {
            launcherPrefix = true;
            break;
        }
    }

    const std::wstring& root = launcherPrefix ? context.launcherRoot : context.installRoot;
    if (root.empty()) {
        // The path alone would be a folder of the current drive's root.
        LogPrintf(L"Ignoring manifest line without a local folder: %s\n", line.c_str());
        return false;
    }
    entry.localPath = root + path;
    std::replace(entry.localPath.begin(), entry.localPath.end(), L'/', L'\\');
    entry.md5 = line.substr(dot + 1, kMd5Length);
    entry.size = size;
    entry.archive = nullptr;

    if (launcherPrefix || lower.find(L"/steam") != std::wstring::npos) {
        entry.kind = ENTRY_LAUNCHER_FILE;
    } else if (EulaFilePath.empty() && !context.eulaName.empty() &&
               lower.find(context.eulaName) != std::wstring::npos) {
        EulaFilePath = entry.localPath;
        EulaFileHash = entry.md5;
        entry.kind = ENTRY_AGREEMENT;
    } else if (CbaFilePath.empty() && !context.cbaName.empty() &&
               lower.find(context.cbaName) != std::wstring::npos) {
        CbaFilePath = entry.localPath;
        CbaFileHash = entry.md5;
        entry.kind = ENTRY_AGREEMENT;
    } else if (lower.find(L".cache") != std::wstring::npos || lower.find(L".toc") != std::wstring::npos) {
        entry.kind = ENTRY_CACHE;
    } else {
        entry.kind = ENTRY_CONTENT;
    }
    return true;
}

bool LoadManifestText(const ManifestParseContext& context, const char* bytes, size_t size)
{
    ManifestEntries.clear();
    ManifestFileList.clear();

    // Every line of the whole buffer, also after a stray zero byte.
    size_t start = 0;
    while (start < size) {
        const void* found = memchr(bytes + start, '\n', size - start);
        size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - bytes) : size;
        std::wstring line = ConvertAnsiLine(bytes + start, end - start);
        start = end + 1;
        while (!line.empty() && IsTrimmed(line.back()))
            line.pop_back();
        if (line.empty())
            continue;
        ManifestEntry entry;
        if (ParseManifestLine(context, entry, line))
            ManifestEntries.push_back(std::move(entry));
    }

    SortManifestEntries(ManifestEntries);
    ManifestFileList.reserve(ManifestEntries.size());
    for (const ManifestEntry& entry : ManifestEntries)
        ManifestFileList.push_back({entry.localPath, entry.md5, entry.size});

    if (ManifestEntries.empty()) {
        LogWrite(L"Could not parse binary manifest\n");
        return false;
    }
    return true;
}

ManifestParseContext MakeManifestParseContext(const std::wstring& eulaName, const std::wstring& cbaName)
{
    ManifestParseContext context;
    context.eulaName = eulaName;
    context.cbaName = cbaName;
    context.launcherRoot = GetDownloadedFilePath(L"");
    context.installRoot = GetClusterInstallDir(ServerCluster);
    return context;
}

void SortManifestEntries(ManifestList& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const ManifestEntry& x, const ManifestEntry& y) {
        if (x.kind != y.kind)
            return x.kind < y.kind;
        if (x.archive && !y.archive)
            return true;
        return x.archive && y.archive && x.archive->address < y.archive->address;
    });
}

std::wstring MakeManifestObjectName()
{
    unsigned high = static_cast<unsigned>(rand());
    unsigned low = static_cast<unsigned>(rand());
    wchar_t name[128];
    FormatString(name, 128, L"/origin/%08X/index.txt.lzma", (high << 16) | low);
    return name;
}
