#include "crash_files.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "base64.h"
#include "error_output.h"
#include "scoped_handles.h"

namespace {

constexpr int ENTRY_NAME_SIZE = 256;
constexpr DWORD REAL_PATH_SIZE = 32768;

// Reads exactly size bytes into out; false on a failed or short read.
bool ReadExactly(HANDLE file, char* out, size_t size)
{
    while (size > 0) {
        DWORD piece = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        DWORD read = 0;
        if (!ReadFile(file, out, piece, &read, nullptr) || read == 0)
            return false;
        out += read;
        size -= read;
    }
    return true;
}

// A line (from lineStart up to lineEnd, npos for the last one) that begins
// with the prefix after leading blanks.
bool IsCommentLine(const std::string& data, size_t lineStart, size_t lineEnd, const char* prefix,
                   size_t prefixLength)
{
    size_t end = lineEnd == std::string::npos ? data.size() : lineEnd;
    size_t first = lineStart;
    while (first < end && data[first] == ' ')
        ++first;
    return end - first >= prefixLength && memcmp(&data[first], prefix, prefixLength) == 0;
}

bool IsLinkOrFolder(DWORD attributes)
{
    return (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

bool FinalPath(HANDLE handle, std::wstring& path)
{
    path.resize(REAL_PATH_SIZE);
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), REAL_PATH_SIZE, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= REAL_PATH_SIZE)
        return false;
    path.resize(length);
    return true;
}

// False when the open file really lies elsewhere than its path says: a
// system that follows a link on open (and does not mark it as one) gives the
// target's location. True when that cannot be told.
bool LiesWhereNamed(HANDLE file, const std::wstring& path)
{
    size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return true;
    UniqueHandle folder(CreateFileW(path.substr(0, separator).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring folderLocation, fileLocation;
    if (!folder || !FinalPath(folder.Get(), folderLocation) || !FinalPath(file, fileLocation))
        return true;
    if (folderLocation.empty() || folderLocation.back() != L'\\')
        folderLocation += L'\\';
    std::wstring expected = folderLocation + path.substr(separator + 1);
    return CompareStringOrdinal(fileLocation.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether the archive, once finished, still fits its encoded room.
bool ArchiveFits(const ZipWriter& zip)
{
    const std::vector<unsigned char> endRecord = ZipEndRecord(zip);
    const size_t size = zip.archive.size() + zip.directory.size() + endRecord.size();
    const size_t groups = (size + 2) / 3;
    if (groups > zip.encodedRoom / 4)
        return false; // not even without a single grown character
    if (groups <= zip.encodedRoom / 12)
        return true; // even if every character grew
    EncodedLengthCounter counter;
    CountEncodedBytes(counter, zip.archive.data(), zip.archive.size());
    CountEncodedBytes(counter, zip.directory.data(), zip.directory.size());
    CountEncodedBytes(counter, endRecord.data(), endRecord.size());
    return FinishEncodedLength(counter) < zip.encodedRoom;
}

} // namespace

bool ReadCrashFile(const std::wstring& path, bool skipLarge, std::string& data)
{
    // A link could point anywhere on the machine; only the folder's own
    // files are sent.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || IsLinkOrFolder(attributes))
        return false;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.Get(), &information) ||
        IsLinkOrFolder(information.dwFileAttributes) || !LiesWhereNamed(file.Get(), path))
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        return false;
    try {
        if (static_cast<unsigned long long>(size.QuadPart) < ZIP_FILE_LIMIT) {
            data.resize(static_cast<size_t>(size.QuadPart));
            return ReadExactly(file.Get(), data.data(), data.size());
        }
        if (skipLarge)
            return false;
        data.resize(ZIP_FILE_LIMIT);
        if (!ReadExactly(file.Get(), data.data(), CUT_HEAD_SIZE))
            return false;
        memcpy(&data[CUT_HEAD_SIZE], "\n\n\n", 3);
        LARGE_INTEGER tail;
        tail.QuadPart = size.QuadPart - static_cast<LONGLONG>(CUT_TAIL_SIZE);
        if (!SetFilePointerEx(file.Get(), tail, nullptr, FILE_BEGIN))
            return false;
        return ReadExactly(file.Get(), &data[CUT_HEAD_SIZE + 3], CUT_TAIL_SIZE);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void StripCommentRuns(std::string& data, const char* prefix)
{
    const size_t prefixLength = strlen(prefix);
    if (prefixLength == 0)
        return;
    // One pass: kept bytes move down to out as the lines are read.
    const size_t size = data.size();
    size_t out = 0;
    size_t lineStart = 0;
    while (lineStart < size) {
        size_t lineEnd = data.find('\n', lineStart);
        if (!IsCommentLine(data, lineStart, lineEnd, prefix, prefixLength)) {
            size_t next = lineEnd == std::string::npos ? size : lineEnd + 1;
            if (out != lineStart)
                memmove(&data[out], &data[lineStart], next - lineStart);
            out += next - lineStart;
            lineStart = next;
            continue;
        }
        // The run goes on while the following lines are comments too.
        while (lineEnd != std::string::npos) {
            size_t nextEnd = data.find('\n', lineEnd + 1);
            if (!IsCommentLine(data, lineEnd + 1, nextEnd, prefix, prefixLength))
                break;
            lineEnd = nextEnd;
        }
        if (lineEnd == std::string::npos) {
            // The run reaches the last line: it is cut off there.
            data.resize(out);
            return;
        }
        data[out++] = '\n'; // the run becomes one empty line
        lineStart = lineEnd + 1;
    }
    data.resize(out);
}

void MaskKeyValue(std::string& data, const char* key)
{
    size_t keyLength = strlen(key);
    size_t hit = data.find(key, 0, keyLength);
    if (keyLength == 0 || hit == std::string::npos)
        return;
    for (size_t i = hit + keyLength; i < data.size() && data[i] != '\n'; ++i)
        data[i] = 'X';
}

void AddFileToZip(ZipWriter& zip, const char* entryName, const std::wstring& path,
                  const char* const* prefixes, size_t prefixCount, const char* const* keys, size_t keyCount,
                  bool skipLarge)
{
    try {
        std::string data;
        if (!ReadCrashFile(path, skipLarge, data))
            return;
        for (size_t i = 0; i < prefixCount; ++i)
            StripCommentRuns(data, prefixes[i]);
        for (size_t i = 0; i < keyCount; ++i)
            MaskKeyValue(data, keys[i]);
        if (!AddZipEntry(zip, entryName, data.data(), data.size())) {
            PrintError("Error: Could not attach to zip");
            return;
        }
        if (!ArchiveFits(zip)) {
            // Only this file is left out: a large dump must not cost the
            // report the small logs and configuration files after it.
            DropLastZipEntry(zip);
            PrintError("Error: %s does not fit the report; it is left out\n", entryName);
        }
    } catch (const std::bad_alloc&) {
        PrintError("Error: Could not attach to zip");
    }
}

void AddFilesToZip(ZipWriter& zip, const std::wstring& folder, const wchar_t* pattern,
                   const char* const* prefixes, size_t prefixCount, const char* const* keys, size_t keyCount,
                   bool skipLarge)
{
    try {
        WIN32_FIND_DATAW entry;
        FindHandle find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry));
        if (!find)
            return;
        do {
            if (IsLinkOrFolder(entry.dwFileAttributes))
                continue; // also "." and ".."
            if (entry.nFileSizeHigh == 0 && entry.nFileSizeLow == 0)
                continue;
            char name[ENTRY_NAME_SIZE];
            int length =
                WideCharToMultiByte(CP_UTF8, 0, entry.cFileName, -1, name, ENTRY_NAME_SIZE, nullptr, nullptr);
            if (length <= 0)
                continue;
            std::wstring path = folder + L"\\" + entry.cFileName;
            AddFileToZip(zip, name, path, prefixes, prefixCount, keys, keyCount, skipLarge);
        } while (FindNextFileW(find.Get(), &entry));
    } catch (const std::bad_alloc&) {
        PrintError("Error: Out of memory listing the crash files\n");
    }
}
