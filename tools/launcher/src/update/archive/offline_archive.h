// The offline installer archive: the game's content on disk as numbered part
// files ("b00", "b01", ... in place of the last three characters of the path
// that the setting "OfflineInstall" names), which together are one byte
// stream.
//
// The stream begins with the index (little-endian): an unsigned 16-bit object
// count, then per object an unsigned 8-bit name length n, n bytes of UTF-8
// name (the object's remote name) and its unsigned 64-bit stored size. The
// objects follow back to back in record order; an object may run on from one
// part into the next.
//
// The index, the parts and the manifest bindings are loaded on the update
// worker before any download thread runs, and only read afterwards. Archive
// reads name their own offsets, so several download threads may extract from
// the same part at once.
#pragma once

#include "archive_entry.h"
#include "download_transfer.h"
#include "manifest.h"
#include "scoped_handles.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ArchivePart {
    UniqueHandle file;
    int64_t base = 0; // address of the part's first byte
    int64_t size = 0;
};

// Name (UTF-16, ordered by code units) to where the object lies.
using ArchiveIndexMap = std::map<std::wstring, ArchiveEntry>;

extern ArchiveIndexMap ArchiveIndex;
extern std::vector<ArchivePart> ArchiveParts;

// Reads the setting, opens the parts, reads and checks the index and binds
// ManifestEntries to archived objects. An archive that cannot be used leaves
// ArchiveIndex and ArchiveParts empty (and binds nothing).
void LoadOfflineInstaller();

// Closes the parts and empties the index. Entries bound to it must be gone.
void UnloadOfflineInstaller();

// The path of part k: path with its last three characters replaced by "b00",
// "b01", ... Empty when path has three characters or fewer.
std::wstring ArchivePartPath(const std::wstring& path, int k);

// Where the index reader takes its bytes from: true when all size bytes were
// read.
class IndexByteSource {
  public:
    virtual ~IndexByteSource() = default;
    virtual bool ReadExactly(void* buffer, size_t size) = 0;
};

// Reads the index into index (emptied first). The addresses include the
// index's own length. False, with a log line saying why, for a count, name
// length or size of 0, a short read, a name that is not UTF-8, the same name
// twice, or addresses beyond 64 bits; index then holds the records read so
// far and the caller empties it.
bool ParseArchiveIndex(IndexByteSource& source, ArchiveIndexMap& index);

// ParseArchiveIndex over an open file, read from its start with plain
// sequential reads, into ArchiveIndex.
bool ReadArchiveIndex(HANDLE file);

// The size of an open file.
int64_t GetHandleFileSize(HANDLE file);

// Whether every indexed object lies within total bytes; logs the first that
// does not.
bool CheckArchiveBounds(const ArchiveIndexMap& index, int64_t total);

// Binds entries to the objects of index: content, agreement and other files
// by their exact remote name and size; a cache file to the archived version
// of its file (stem "." 32 hexadecimal characters ".lzma" or ".bulk"), whose
// name, size and MD5 it adopts. Launcher files are never bound. Logs each
// entry left unbound and the count. Gives the number bound.
int BindArchiveEntries(ManifestList& entries, const ArchiveIndexMap& index);

// Reads up to length bytes at the transfer's archive part and part offset,
// never across a part boundary, and advances the position (to the next part
// at a part's end). False when the transfer is past the last part or the
// read fails or gives no bytes (a part that shrank after loading).
bool ReadArchiveFile(DownloadTransfer& transfer, void* buffer, uint32_t length, uint32_t* read);

// Extracts the archived object into file (from its current position), ".lzma"
// objects decoded, through the same body readers as downloads; hash receives
// the MD5 of the bytes written (32 upper-case hexadecimal characters), empty
// on failure. The readers set StepError on failure. taken receives the bytes
// read from the archive, also when the extraction failed.
bool ExtractArchivedObject(const ArchiveEntry& entry, HANDLE file, const std::wstring& name,
                           const std::wstring& remoteName, std::wstring& hash,
                           std::atomic<int64_t>& bytesDone, const std::atomic<bool>& abortRequested,
                           int64_t* taken = nullptr);
