#include "zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>

namespace {

constexpr uint32_t END_SIGNATURE = 0x06054b50;
constexpr uint32_t CENTRAL_SIGNATURE = 0x02014b50;
constexpr uint32_t LOCAL_SIGNATURE = 0x04034b50;
constexpr size_t END_RECORD_SIZE = 22;
constexpr size_t CENTRAL_HEADER_SIZE = 46;
constexpr size_t LOCAL_HEADER_SIZE = 30;
constexpr uint16_t METHOD_STORED = 0;
constexpr uint16_t METHOD_DEFLATED = 8;
// Entries larger than this are refused: the interface is small, and a size
// from a damaged directory must not make the reader allocate gigabytes.
constexpr uint32_t MAX_ENTRY_SIZE = 256u << 20;
// Nor may the whole: entries are read up to these many and this much
// unpacked data; each entry's bytes must be its own (entries that share
// their data would multiply one stream).
constexpr size_t MAX_ENTRY_COUNT = 4096;
constexpr uint64_t MAX_TOTAL_SIZE = uint64_t{512} << 20;

class ByteView {
  public:
    ByteView(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    bool Has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
    uint16_t U16(size_t offset) const
    {
        return static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
    }
    uint32_t U32(size_t offset) const { return U16(offset) | static_cast<uint32_t>(U16(offset + 2)) << 16; }
    const unsigned char* At(size_t offset) const { return data_ + offset; }
    size_t size() const { return size_; }

  private:
    const unsigned char* data_;
    size_t size_;
};

struct CentralEntry {
    uint16_t method;
    uint32_t crc;
    uint32_t packedSize;
    uint32_t size;
    uint32_t localOffset;
    std::string name;
};

// Finds the end-of-central-directory record, searching back over a comment.
std::optional<size_t> FindEndRecord(const ByteView& zip)
{
    if (zip.size() < END_RECORD_SIZE)
        return std::nullopt;
    size_t last = zip.size() - END_RECORD_SIZE;
    size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
    for (size_t offset = last + 1; offset-- > first;) {
        if (zip.U32(offset) == END_SIGNATURE)
            return offset;
    }
    return std::nullopt;
}

// Where an entry's local header and data lie in the zip: [start, end).
struct Span {
    size_t start;
    size_t end;
};

std::optional<Span> EntrySpan(const ByteView& zip, const CentralEntry& entry)
{
    if (!zip.Has(entry.localOffset, LOCAL_HEADER_SIZE) || zip.U32(entry.localOffset) != LOCAL_SIGNATURE)
        return std::nullopt;
    size_t dataOffset = size_t{entry.localOffset} + LOCAL_HEADER_SIZE + zip.U16(entry.localOffset + 26) +
                        zip.U16(entry.localOffset + 28);
    if (!zip.Has(dataOffset, entry.packedSize))
        return std::nullopt;
    return Span{entry.localOffset, dataOffset + entry.packedSize};
}

// Whether span meets one of the spans taken so far (keyed by their start).
bool Overlaps(const std::map<size_t, size_t>& taken, const Span& span)
{
    auto next = taken.lower_bound(span.start);
    if (next != taken.end() && next->first < span.end)
        return true;
    return next != taken.begin() && std::prev(next)->second > span.start;
}

std::optional<std::string> Unpack(const ByteView& zip, const CentralEntry& entry, const Span& span)
{
    if (entry.size > MAX_ENTRY_SIZE)
        return std::nullopt;
    size_t dataOffset = span.end - entry.packedSize;

    std::string data(entry.size, '\0');
    if (entry.method == METHOD_STORED) {
        if (entry.packedSize != entry.size)
            return std::nullopt;
        std::memcpy(data.data(), zip.At(dataOffset), entry.size);
    } else if (entry.method == METHOD_DEFLATED) {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return std::nullopt;
        stream.next_in = const_cast<Bytef*>(zip.At(dataOffset));
        stream.avail_in = entry.packedSize;
        stream.next_out = reinterpret_cast<Bytef*>(data.data());
        stream.avail_out = entry.size;
        int result = inflate(&stream, Z_FINISH);
        bool complete = result == Z_STREAM_END && stream.total_out == entry.size;
        inflateEnd(&stream);
        if (!complete)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    if (crc != entry.crc)
        return std::nullopt;
    return data;
}

std::string Lowered(std::string_view name)
{
    std::string lowered(name);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lowered;
}

} // namespace

size_t ZipArchive::Load(const void* data, size_t size)
{
    try {
        LoadEntries(data, size);
    } catch (const std::bad_alloc&) {
        // The entries read so far stay.
        problem_ = "not enough memory";
    }
    return entries_.size();
}

void ZipArchive::LoadEntries(const void* data, size_t size)
{
    problem_.clear();
    ByteView zip(static_cast<const unsigned char*>(data), size);
    std::optional<size_t> end = FindEndRecord(zip);
    if (!end) {
        problem_ = "no zip directory";
        return;
    }
    uint16_t count = zip.U16(*end + 10);
    size_t offset = zip.U32(*end + 16);
    std::map<size_t, size_t> taken;
    uint64_t total = 0;

    for (uint16_t index = 0; index < count; ++index) {
        if (index == MAX_ENTRY_COUNT) {
            problem_ = "more than " + std::to_string(MAX_ENTRY_COUNT) + " entries";
            return;
        }
        if (!zip.Has(offset, CENTRAL_HEADER_SIZE) || zip.U32(offset) != CENTRAL_SIGNATURE) {
            problem_ = "a damaged directory";
            return;
        }
        size_t nameLength = zip.U16(offset + 28);
        size_t extraLength = zip.U16(offset + 30);
        size_t commentLength = zip.U16(offset + 32);
        if (!zip.Has(offset + CENTRAL_HEADER_SIZE, nameLength)) {
            problem_ = "a damaged directory";
            return;
        }
        CentralEntry entry{
            zip.U16(offset + 10),
            zip.U32(offset + 16),
            zip.U32(offset + 20),
            zip.U32(offset + 24),
            zip.U32(offset + 42),
            std::string(reinterpret_cast<const char*>(zip.At(offset + CENTRAL_HEADER_SIZE)), nameLength)};
        offset += CENTRAL_HEADER_SIZE + nameLength + extraLength + commentLength;

        if (entry.name.empty() || entry.name.back() == '/')
            continue;
        std::optional<Span> span = EntrySpan(zip, entry);
        if (!span || Overlaps(taken, *span)) {
            problem_ = "entry " + entry.name + (span ? " shares its data with another" : " is damaged");
            return;
        }
        total += entry.size;
        if (total > MAX_TOTAL_SIZE) {
            problem_ = "more than " + std::to_string(MAX_TOTAL_SIZE >> 20) + " MiB unpacked";
            return;
        }
        std::optional<std::string> contents = Unpack(zip, entry, *span);
        if (!contents) {
            problem_ = "entry " + entry.name + " is damaged";
            return;
        }
        taken[span->start] = span->end;
        if (contents->empty())
            continue;
        entries_[Lowered(entry.name)] = std::make_shared<const std::string>(std::move(*contents));
    }
}

ArchiveEntryData ZipArchive::Find(std::string_view name) const
{
    auto found = entries_.find(Lowered(name));
    return found == entries_.end() ? nullptr : found->second;
}
