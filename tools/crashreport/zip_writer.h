// A small zip archive writer, in memory.
//
// Entries are deflated (raw deflate, default level) and stored instead when
// deflate does not make them smaller. Names are flagged UTF-8; entries carry
// no time (DOS time and date 0), no extra fields, no comments, no folders.
// No Zip64: an archive holds at most 65535 entries and 4 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ZipWriter {
    std::vector<unsigned char> archive; // local entries, then (after finishing) the directory
    std::vector<unsigned char> directory;
    uint32_t entryCount = 0;
    bool started = false;
    bool finished = false;
};

// Starts an empty archive with room for initialCapacity bytes reserved.
// False when that memory cannot be had.
bool StartZipWriter(ZipWriter& zip, size_t initialCapacity);

// Adds one entry. False (the archive unchanged) when the writer is not
// started or already finished, the name is empty or too long, or the limits
// above are reached.
bool AddZipEntry(ZipWriter& zip, const char* name, const void* data, size_t size);

// Appends the central directory and its end record; afterwards
// zip.archive holds the whole archive. False when not started or already
// finished.
bool FinishZipWriter(ZipWriter& zip);

// Frees everything; false when the writer was never started.
bool EndZipWriter(ZipWriter& zip);
