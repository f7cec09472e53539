#include "zip_writer.h"

#include <zlib.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr uint32_t LOCAL_HEADER_SIGNATURE = 0x04034b50;
constexpr uint32_t CENTRAL_HEADER_SIGNATURE = 0x02014b50;
constexpr uint32_t END_RECORD_SIGNATURE = 0x06054b50;
constexpr uint16_t FLAG_UTF8_NAME = 0x0800;
constexpr uint16_t METHOD_STORE = 0;
constexpr uint16_t METHOD_DEFLATE = 8;
constexpr uint16_t VERSION_STORE = 10;
constexpr uint16_t VERSION_DEFLATE = 20;
constexpr size_t MAX_NAME_LENGTH = 0xFFFF;
constexpr uint32_t MAX_ENTRIES = 0xFFFF;

void Put16(std::vector<unsigned char>& out, uint16_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(std::vector<unsigned char>& out, uint32_t value)
{
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

// Raw deflate at the default level; false when zlib fails.
bool Deflate(const void* data, size_t size, std::vector<unsigned char>& out)
{
    z_stream stream = {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&stream, static_cast<uLong>(size)));
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

} // namespace

bool StartZipWriter(ZipWriter& zip, size_t initialCapacity)
{
    zip = ZipWriter();
    try {
        zip.archive.reserve(initialCapacity);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    zip.started = true;
    return true;
}

bool AddZipEntry(ZipWriter& zip, const char* name, const void* data, size_t size)
{
    if (!zip.started || zip.finished || zip.entryCount >= MAX_ENTRIES)
        return false;
    size_t nameLength = strlen(name);
    if (nameLength == 0 || nameLength > MAX_NAME_LENGTH || size > 0xFFFFFFFFu)
        return false;

    try {
        std::vector<unsigned char> packed;
        if (!Deflate(data, size, packed))
            return false;
        bool stored = packed.size() >= size;
        const unsigned char* payload = stored ? static_cast<const unsigned char*>(data) : packed.data();
        size_t payloadSize = stored ? size : packed.size();
        uint16_t method = stored ? METHOD_STORE : METHOD_DEFLATE;
        uint16_t version = stored ? VERSION_STORE : VERSION_DEFLATE;
        uint32_t crc = static_cast<uint32_t>(crc32(0, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
        size_t offset = zip.archive.size();
        if (offset + 30 + nameLength + payloadSize > 0xFFFFFFFFu)
            return false;

        std::vector<unsigned char> header;
        Put32(header, LOCAL_HEADER_SIGNATURE);
        Put16(header, version);
        Put16(header, FLAG_UTF8_NAME);
        Put16(header, method);
        Put16(header, 0); // time
        Put16(header, 0); // date
        Put32(header, crc);
        Put32(header, static_cast<uint32_t>(payloadSize));
        Put32(header, static_cast<uint32_t>(size));
        Put16(header, static_cast<uint16_t>(nameLength));
        Put16(header, 0); // extra field

        std::vector<unsigned char> central;
        Put32(central, CENTRAL_HEADER_SIGNATURE);
        Put16(central, VERSION_DEFLATE); // made by: MS-DOS host, 2.0
        Put16(central, version);
        Put16(central, FLAG_UTF8_NAME);
        Put16(central, method);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(payloadSize));
        Put32(central, static_cast<uint32_t>(size));
        Put16(central, static_cast<uint16_t>(nameLength));
        Put16(central, 0); // extra field
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, 0); // external attributes
        Put32(central, static_cast<uint32_t>(offset));
        central.insert(central.end(), name, name + nameLength);

        zip.lastArchiveSize = zip.archive.size();
        zip.lastDirectorySize = zip.directory.size();
        zip.archive.insert(zip.archive.end(), header.begin(), header.end());
        zip.archive.insert(zip.archive.end(), name, name + nameLength);
        zip.archive.insert(zip.archive.end(), payload, payload + payloadSize);
        zip.directory.insert(zip.directory.end(), central.begin(), central.end());
    } catch (const std::bad_alloc&) {
        zip.archive.resize(zip.lastArchiveSize);
        zip.directory.resize(zip.lastDirectorySize);
        zip.canDrop = false;
        return false;
    }
    ++zip.entryCount;
    zip.canDrop = true;
    return true;
}

bool DropLastZipEntry(ZipWriter& zip)
{
    if (!zip.canDrop || zip.finished)
        return false;
    zip.archive.resize(zip.lastArchiveSize);
    zip.directory.resize(zip.lastDirectorySize);
    --zip.entryCount;
    zip.canDrop = false;
    return true;
}

std::vector<unsigned char> ZipEndRecord(const ZipWriter& zip)
{
    std::vector<unsigned char> record;
    record.reserve(22);
    Put32(record, END_RECORD_SIGNATURE);
    Put16(record, 0); // this disk
    Put16(record, 0); // disk of the directory
    Put16(record, static_cast<uint16_t>(zip.entryCount));
    Put16(record, static_cast<uint16_t>(zip.entryCount));
    Put32(record, static_cast<uint32_t>(zip.directory.size()));
    Put32(record, static_cast<uint32_t>(zip.archive.size()));
    Put16(record, 0); // comment
    return record;
}

bool FinishZipWriter(ZipWriter& zip)
{
    if (!zip.started || zip.finished)
        return false;
    size_t directoryOffset = zip.archive.size();
    try {
        std::vector<unsigned char> endRecord = ZipEndRecord(zip);
        zip.archive.insert(zip.archive.end(), zip.directory.begin(), zip.directory.end());
        zip.archive.insert(zip.archive.end(), endRecord.begin(), endRecord.end());
    } catch (const std::bad_alloc&) {
        zip.archive.resize(directoryOffset);
        return false;
    }
    zip.directory.clear();
    zip.finished = true;
    zip.canDrop = false;
    return true;
}

bool EndZipWriter(ZipWriter& zip)
{
    bool wasStarted = zip.started;
    zip = ZipWriter();
    return wasStarted;
}
