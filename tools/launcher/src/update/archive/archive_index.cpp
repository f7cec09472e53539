// Reading the offline installer archive's index.
#include "offline_archive.h"

#include "log.h"

#include <cstring>

namespace {

// A file read from its current position with plain sequential reads.
class FileByteSource : public IndexByteSource {
  public:
    explicit FileByteSource(HANDLE file) : file_(file) {}
    bool ReadExactly(void* buffer, size_t size) override
    {
        DWORD read = 0;
        return ReadFile(file_, buffer, static_cast<DWORD>(size), &read, nullptr) && read == size;
    }

  private:
    HANDLE file_;
};

uint64_t LittleEndian(const unsigned char* bytes, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

// The name as UTF-16; false when the bytes are not valid UTF-8 (a lenient
// conversion would map different damaged names onto one).
bool ConvertName(const unsigned char* bytes, int length, std::wstring& name)
{
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                    length, nullptr, 0);
    if (count <= 0)
        return false;
    name.assign(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), length,
                        name.data(), count);
    return name.find(L'\0') == std::wstring::npos;
}

bool Invalid(const wchar_t* why, unsigned record)
{
    LogPrintf(L"Offline installer index is invalid: %s (record %u)\n", why, record);
    return false;
}

} // namespace

bool ParseArchiveIndex(IndexByteSource& source, ArchiveIndexMap& index)
{
    index.clear();
    unsigned char countBytes[2];
    if (!source.ReadExactly(countBytes, sizeof countBytes))
        return Invalid(L"short read", 0);
    unsigned count = static_cast<unsigned>(LittleEndian(countBytes, 2));
    if (count == 0)
        return Invalid(L"no objects", 0);

    // Addresses are made relative to the end of the index, which is known
    // only at the end; both sums must stay within a signed 64-bit address.
    int64_t objectBytes = 0;
    int64_t indexLength = 2;
    for (unsigned record = 0; record < count; ++record) {
        unsigned char length = 0;
        if (!source.ReadExactly(&length, 1))
            return Invalid(L"short read", record);
        if (length == 0)
            return Invalid(L"empty name", record);
        unsigned char name[255];
        unsigned char sizeBytes[8];
        if (!source.ReadExactly(name, length) || !source.ReadExactly(sizeBytes, sizeof sizeBytes))
            return Invalid(L"short read", record);
        uint64_t size = LittleEndian(sizeBytes, 8);
        if (size == 0)
            return Invalid(L"empty object", record);
        if (size > static_cast<uint64_t>(INT64_MAX - objectBytes))
            return Invalid(L"object beyond 64-bit addresses", record);
        std::wstring wide;
        if (!ConvertName(name, length, wide))
            return Invalid(L"name is not UTF-8", record);
        if (!index.emplace(wide, ArchiveEntry{objectBytes, static_cast<int64_t>(size)}).second)
            return Invalid(L"duplicate name", record);
        objectBytes += static_cast<int64_t>(size);
        indexLength += 1 + length + 8;
    }
    if (objectBytes > INT64_MAX - indexLength)
        return Invalid(L"object beyond 64-bit addresses", count - 1);
    for (auto& item : index)
        item.second.address += indexLength;
    return true;
}

bool ReadArchiveIndex(HANDLE file)
{
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return false;
    FileByteSource source(file);
    return ParseArchiveIndex(source, ArchiveIndex);
}
