// The interface archive's entries, unpacked into memory.
//
// The reader walks the central directory, so sizes and offsets come from it
// even when an entry's local header left them to a trailing data descriptor.
// Stored and deflated entries are read; each entry's CRC-32 is checked. The
// first entry that cannot be read ends the load: the entries before it stay,
// the rest are missing. So does an entry whose bytes overlap an earlier
// one's, the 4097th entry, an entry that takes the unpacked total past
// 512 MiB, and memory running out. Names are kept lower-cased, so lookups ignore case;
// folders and empty entries are not kept, and a later entry of a name
// replaces an earlier one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

using ArchiveEntryData = std::shared_ptr<const std::string>;

class ZipArchive {
  public:
    // Reads the entries of the zip held in data; returns how many were kept.
    size_t Load(const void* data, size_t size);

    // The data of an entry (a shared copy that outlives the archive), or
    // null when the archive holds no such name.
    ArchiveEntryData Find(std::string_view name) const;

    size_t EntryCount() const { return entries_.size(); }
    // Why the last load stopped early ("" when it read every entry).
    const std::string& Problem() const { return problem_; }

  private:
    void LoadEntries(const void* data, size_t size);

    std::map<std::string, ArchiveEntryData> entries_;
    std::string problem_;
};
