// ContentManifest: the index of every file the launcher keeps current.
//
// One line per file: "<path>.<MD5>.lzma,<size>" or "<path>.<MD5>.bulk,<size>",
// where path begins with "/" and uses "/" separators, MD5 is 32 characters
// and size is the byte count of the object as transferred. The remote name
// (path, ".", MD5 and suffix) names the object on the content server.
//
// The lists below are process-wide: replaced by each manifest fetch (on the
// update worker, before any download thread runs) and only read afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveEntry;

enum ManifestEntryKind : uint8_t {
    ENTRY_LAUNCHER_FILE = 1, // the launcher's own files (and Steam files)
    ENTRY_AGREEMENT = 2,     // the EULA and CBA documents of the current language
    ENTRY_CONTENT = 3,       // every other file
    ENTRY_CACHE = 4,         // the game's ".cache" and ".toc" files
};

struct ManifestEntry {
    std::wstring remoteName; // path "." MD5 ".lzma" | ".bulk"
    std::wstring localPath;  // full local path, "\" separators
    std::wstring md5;        // the 32 characters of the line
    int64_t size = 0;        // bytes of the object
    ManifestEntryKind kind = ENTRY_CONTENT;
    const ArchiveEntry* archive = nullptr; // set when the offline archive holds the object
};

struct ManifestFile {
    std::wstring localPath;
    std::wstring md5;
    int64_t size = 0;
};

using ManifestList = std::vector<ManifestEntry>;

extern ManifestList ManifestEntries;
extern std::vector<ManifestFile> ManifestFileList;

// The agreement documents of the current language. The paths are emptied by
// every update step's Run and found again by the next parse; the hashes are
// only overwritten.
extern std::wstring EulaFilePath;
extern std::wstring EulaFileHash;
extern std::wstring CbaFilePath;
extern std::wstring CbaFileHash;

// What the parse of a line depends on besides the line.
struct ManifestParseContext {
    std::wstring eulaName;     // "/eula_" + language code (lower case)
    std::wstring cbaName;      // "/cba_" + language code
    std::wstring launcherRoot; // folder of the launcher's own files, no trailing "\"
    std::wstring installRoot;  // the current cluster's install folder, no trailing "\"
};

// The context of the current settings: the launcher root of the current
// cluster's downloaded files (or the install folder in single-cluster mode)
// and the cluster's install folder.
ManifestParseContext MakeManifestParseContext(const std::wstring& eulaName, const std::wstring& cbaName);

// The five paths whose files are the launcher's own, matched at the start of
// a line without regard to case.
extern const wchar_t* const LauncherPrefixes[5];

// Fills entry from one trimmed line and gives true when the line is a valid
// entry line. May set the agreement paths and hashes. Lines whose path could
// name a file outside the install ("..", drive letters, a path not beginning
// with "/"), whose root folder is unknown, or whose size does not fit 64 bits
// are refused with a log line.
bool ParseManifestLine(const ManifestParseContext& context, ManifestEntry& entry, const std::wstring& line);

// Replaces ManifestEntries and ManifestFileList with the entries of a decoded
// manifest (bytes in the ANSI code page, lines separated by line feeds),
// sorted. Gives false, after logging "Could not parse binary manifest", when
// no line was valid.
bool LoadManifestText(const ManifestParseContext& context, const char* bytes, size_t size);

// The stable order of the list: by kind, and within a kind archived entries
// first, by archive address; the rest keep their manifest order.
void SortManifestEntries(ManifestList& entries);

// The largest decoded manifest that is taken: 200,000 lines of 671 bytes, about
// twice the longest line a path of MAX_PATH characters makes (path, ".", 32
// hexadecimal digits, ".lzma,", a 19-digit size, CR LF). A larger one is
// refused before it is stored.
constexpr uint64_t MANIFEST_MAX_BYTES = uint64_t{128} << 20;

// The object name of a fresh manifest fetch, "/origin/%08X/index.txt.lzma",
// whose number comes from two successive rand() values (the caller seeds).
std::wstring MakeManifestObjectName();
