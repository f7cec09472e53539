#include "crash_files.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "error_output.h"
#include "scoped_handles.h"

namespace {

constexpr int ENTRY_NAME_SIZE = 256;

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

bool OnlyBlanks(const std::string& data, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) {
        if (data[i] != ' ')
            return false;
    }
    return true;
}

} // namespace

bool ReadCrashFile(const std::wstring& path, bool skipLarge, std::string& data)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
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
    size_t prefixLength = strlen(prefix);
    if (prefixLength == 0)
        return;
    size_t from = 0;
    for (;;) {
        size_t hit = data.find(prefix, from, prefixLength);
        if (hit == std::string::npos)
            return;
        size_t previousFeed = hit == 0 ? std::string::npos : data.rfind('\n', hit - 1);
        size_t lineStart = previousFeed == std::string::npos ? 0 : previousFeed + 1;
        if (!OnlyBlanks(data, lineStart, hit)) {
            from = data.find('\n', hit);
            if (from == std::string::npos)
                return;
            continue;
        }

        // The run goes on while the following lines are comments too.
        size_t lineEnd = data.find('\n', hit);
        for (;;) {
            if (lineEnd == std::string::npos) {
                data.resize(lineStart);
                return;
            }
            size_t next = data.find_first_not_of(' ', lineEnd + 1);
            if (next == std::string::npos || data.compare(next, prefixLength, prefix) != 0)
                break;
            lineEnd = data.find('\n', next);
        }
        data.erase(lineStart, lineEnd - lineStart);
        from = lineStart;
    }
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
                  const char* const* prefixes, size_t prefixCount, const char* const* keys,
                  size_t keyCount, bool skipLarge)
{
    std::string data;
    if (!ReadCrashFile(path, skipLarge, data))
        return;
    for (size_t i = 0; i < prefixCount; ++i)
        StripCommentRuns(data, prefixes[i]);
    for (size_t i = 0; i < keyCount; ++i)
        MaskKeyValue(data, keys[i]);
    if (!AddZipEntry(zip, entryName, data.data(), data.size()))
        PrintError("Error: Could not attach to zip");
}

void AddFilesToZip(ZipWriter& zip, const std::wstring& folder, const wchar_t* pattern,
                   const char* const* prefixes, size_t prefixCount, const char* const* keys,
                   size_t keyCount, bool skipLarge)
{
    WIN32_FIND_DATAW entry;
    FindHandle find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry));
    if (!find)
        return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue; // also "." and ".."
        if (entry.nFileSizeHigh == 0 && entry.nFileSizeLow == 0)
            continue;
        char name[ENTRY_NAME_SIZE];
        int length = WideCharToMultiByte(CP_UTF8, 0, entry.cFileName, -1, name, ENTRY_NAME_SIZE, nullptr, nullptr);
        if (length <= 0)
            continue;
        std::wstring path = folder + L"\\" + entry.cFileName;
        AddFileToZip(zip, name, path, prefixes, prefixCount, keys, keyCount, skipLarge);
    } while (FindNextFileW(find.Get(), &entry));
}
