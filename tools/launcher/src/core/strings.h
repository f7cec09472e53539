// Small string, path, version and UTF-8 helpers.
//
// Capacities are in characters, terminator included. Every bounded helper
// always terminates its output (unless told otherwise) and returns the number
// of characters written. Path helpers look at most at the first MAX_PATH
// characters of a path; "\" and "/" both separate components.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

size_t CopyString(wchar_t* dst, size_t capacity, const wchar_t* src);
size_t AppendString(wchar_t* dst, size_t capacity, const wchar_t* src);
size_t FormatString(wchar_t* dst, size_t capacity, const wchar_t* format, ...);
size_t FormatStringV(wchar_t* dst, size_t capacity, const wchar_t* format, va_list args);
size_t FormatNumberWithCommas(wchar_t* dst, size_t capacity, int64_t value);

void ToLowerPath(wchar_t* text);
const wchar_t* GetFileNamePart(const wchar_t* path);
const wchar_t* GetExtensionPart(const wchar_t* path);
size_t CopyDirectoryPart(wchar_t* dst, const wchar_t* path);        // dst holds 260
size_t CopyPathWithoutExtension(wchar_t* dst, const wchar_t* path); // dst holds 260
bool WildcardMatch(const wchar_t* pattern, const wchar_t* text);

struct FileVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

// Fixed file version of KERNEL32.DLL.
bool GetModuleFileVersion(FileVersion& version);
// First "ProductVersion" string of the file's translation table.
bool GetProductVersion(const wchar_t* file, std::wstring& text);

std::string ConvertToUtf8(const std::wstring& wide);
std::wstring ConvertFromUtf8(const std::string& narrow);
