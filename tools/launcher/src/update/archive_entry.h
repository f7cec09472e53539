// Where one object lies in the offline installer archive.
#pragma once

#include <cstdint>

struct ArchiveEntry {
    int64_t address = 0; // byte offset of the object in the archive
    int64_t size = 0;    // bytes of the object as stored
};
