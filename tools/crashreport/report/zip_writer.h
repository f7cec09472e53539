// A small zip archive writer, in memory.
//
// Entries are deflated (raw deflate, default level) and stored instead when
// deflate does not make them smaller. Names are flagged UTF-8; entries carry
// no time (DOS time and date 0), no extra fields, no comments, no folders.
// No Zip64: an archive holds at most 65535 entries and 4 GiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstddef>
#include <vector>

struct ZipWriter {
    std::vector<unsigned char> archive; // local entries, then (after finishing) the directory
    std::vector<unsigned char> directory;
    uint32_t entryCount = 0;
    bool started = false;
    bool finished = false;
    // Where the entry added last begins, so that it can be taken back.
    size_t lastArchiveSize = 0;
    size_t lastDirectorySize = 0;
    bool canDrop = false;
    // Kept for the caller, which decides what fits where (crash_files.h).
    size_t encodedRoom = SIZE_MAX;
};

// Starts an empty archive with room for initialCapacity bytes reserved.
// False when that memory cannot be had.
bool StartZipWriter(ZipWriter& zip, size_t initialCapacity);

// Adds one entry. False (the archive unchanged) when the writer is not
// started or already finished, the name is empty or too long, or the limits
// above are reached.
bool AddZipEntry(ZipWriter& zip, const char* name, const void* data, size_t size);

// Takes back the entry added last; false when there is none to take back
// (only one entry can be, and none once the archive is finished).
bool DropLastZipEntry(ZipWriter& zip);

// The end record that finishing appends (22 bytes).
std::vector<unsigned char> ZipEndRecord(const ZipWriter& zip);

// Appends the central directory and its end record; afterwards
// zip.archive holds the whole archive. False when not started or already
// finished.
bool FinishZipWriter(ZipWriter& zip);

// Frees everything; false when the writer was never started.
bool EndZipWriter(ZipWriter& zip);
