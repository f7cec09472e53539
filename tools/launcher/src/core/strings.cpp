#include "strings.h"

#include "wideformat.h"

#include <windows.h>

#include <cwctype>
#include <vector>

size_t CopyString(wchar_t* dst, size_t capacity, const wchar_t* src)
{
    if (capacity == 0)
        return 0;
    size_t i = 0;
    for (; i + 1 < capacity && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
    return i;
}

size_t AppendString(wchar_t* dst, size_t capacity, const wchar_t* src)
{
    size_t end = 0;
    while (end < capacity && dst[end])
        ++end;
    if (end >= capacity)
        return end;
    return end + CopyString(dst + end, capacity - end, src);
}

size_t FormatString(wchar_t* dst, size_t capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    size_t count = FormatStringV(dst, capacity, format, args);
    va_end(args);
    return count;
}

size_t FormatStringV(wchar_t* dst, size_t capacity, const wchar_t* format, va_list args)
{
    if (capacity < 2 || !format || !format[0])
        return 0;
    va_list measure;
    va_copy(measure, args);
    int count = LegacyVsnwprintf(dst, capacity - 1, format, args);
    const bool failed = count < 0 && LegacyCountWide(format, measure) < 0;
    va_end(measure);
    if (failed) {
        // Not a text too long but a format that cannot be applied: whatever
        // the formatter left is no text.
        dst[0] = 0;
        return 0;
    }
    if (count < 0) {
        // Cut at capacity - 1 characters: the formatter filled the buffer up
        // to there without a terminator.
        dst[capacity - 1] = 0;
        size_t length = 0;
        while (length < capacity - 1 && dst[length])
            ++length;
        return length;
    }
    dst[count] = 0;
    return static_cast<size_t>(count);
}

size_t FormatNumberWithCommas(wchar_t* dst, size_t capacity, int64_t value)
{
    if (value == 0)
        return CopyString(dst, capacity, L"0");
    // Digits of the magnitude from the least significant; unsigned so that
    // the smallest 64-bit value has a magnitude too.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    wchar_t reversed[32];
    size_t length = 0;
    int digits = 0;
    while (magnitude) {
        if (digits && digits % 3 == 0)
            reversed[length++] = L',';
        reversed[length++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
        ++digits;
    }
    size_t total = length + (value < 0 ? 1 : 0);
    if (total + 1 > capacity)
        return 0;
    size_t out = 0;
    if (value < 0)
        dst[out++] = L'-';
    while (length)
        dst[out++] = reversed[--length];
    dst[out] = 0;
    return out;
}

void ToLowerPath(wchar_t* text)
{
    for (size_t i = 0; i < MAX_PATH && text[i]; ++i)
        text[i] = static_cast<wchar_t>(towlower(text[i]));
}

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Length of the path within MAX_PATH, or MAX_PATH when it has no terminator
// there.
size_t BoundedLength(const wchar_t* path)
{
    size_t length = 0;
    while (length < MAX_PATH && path[length])
        ++length;
    return length;
}

// Copies the first length characters of path (at most MAX_PATH - 1).
size_t CopyPathPrefix(wchar_t* dst, const wchar_t* path, size_t length)
{
    if (length > MAX_PATH - 1)
        length = MAX_PATH - 1;
    for (size_t i = 0; i < length; ++i)
        dst[i] = path[i];
    dst[length] = 0;
    return length;
}

} // namespace

const wchar_t* GetFileNamePart(const wchar_t* path)
{
    size_t length = BoundedLength(path);
    if (length >= MAX_PATH)
        return path;
    for (size_t i = length; i > 0; --i) {
        if (IsSeparator(path[i - 1]))
            return path + i;
    }
    return path;
}

const wchar_t* GetExtensionPart(const wchar_t* path)
{
    size_t length = BoundedLength(path);
    if (length >= MAX_PATH)
        return path;
    const wchar_t* name = GetFileNamePart(path);
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = name; *p; ++p) {
        if (*p == L'.')
            dot = p;
    }
    return dot ? dot : path + length;
}

size_t CopyDirectoryPart(wchar_t* dst, const wchar_t* path)
{
    size_t length = BoundedLength(path);
    size_t cut = 0;
    for (size_t i = length; i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            cut = i - 1;
            break;
        }
    }
    return CopyPathPrefix(dst, path, cut);
}

size_t CopyPathWithoutExtension(wchar_t* dst, const wchar_t* path)
{
    // A name that is all extension (".cpy") leaves nothing; a path without a
    // terminator within MAX_PATH is copied as far as it goes.
    size_t length = BoundedLength(path);
    size_t cut = length >= MAX_PATH ? length : static_cast<size_t>(GetExtensionPart(path) - path);
    return CopyPathPrefix(dst, path, cut);
}

bool WildcardMatch(const wchar_t* pattern, const wchar_t* text)
{
    // Iterative form of the recursive definition: remember the last star and
    // let it take one more character whenever the rest fails to match.
    const wchar_t* star = nullptr;
    const wchar_t* starText = nullptr;
    while (*text) {
        if (*pattern == L'*') {
            star = pattern++;
            starText = text;
        } else if (*pattern == L'?' || (*pattern && *pattern == *text)) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++starText;
        } else {
            return false;
        }
    }
    while (*pattern == L'*')
        ++pattern;
    return *pattern == 0;
}

namespace {

// Full path of a file; a bare name is a module that is loaded to learn it.
bool ResolveModulePath(const wchar_t* file, wchar_t* path)
{
    bool hasColon = false;
    for (const wchar_t* p = file; *p; ++p)
        hasColon = hasColon || *p == L':';
    if (hasColon) {
        CopyString(path, MAX_PATH, file);
        return true;
    }
    HMODULE module = LoadLibraryW(file);
    if (!module)
        return false;
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    FreeLibrary(module);
    return length > 0 && length < MAX_PATH;
}

bool ReadVersionResource(const wchar_t* path, std::vector<unsigned char>& data)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (!size)
        return false;
    data.resize(size);
    return GetFileVersionInfoW(path, 0, size, data.data()) != FALSE;
}

} // namespace

bool GetModuleFileVersion(FileVersion& version)
{
    wchar_t path[MAX_PATH];
    std::vector<unsigned char> data;
    if (!ResolveModulePath(L"KERNEL32.DLL", path) || !ReadVersionResource(path, data))
        return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length != sizeof(VS_FIXEDFILEINFO))
        return false;
    version.major = HIWORD(info->dwFileVersionMS);
    version.minor = LOWORD(info->dwFileVersionMS);
    version.build = HIWORD(info->dwFileVersionLS);
    version.revision = LOWORD(info->dwFileVersionLS);
    return true;
}

bool GetProductVersion(const wchar_t* file, std::wstring& text)
{
    text.clear();
    wchar_t path[MAX_PATH];
    std::vector<unsigned char> data;
    if (!ResolveModulePath(file, path) || !ReadVersionResource(path, data))
        return false;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length))
        return false;
    for (UINT i = 0; i < length / sizeof(Translation); ++i) {
        wchar_t query[64];
        FormatString(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion",
                     translations[i].language, translations[i].codePage);
        wchar_t* value = nullptr;
        UINT valueLength = 0;
        if (VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &valueLength) && value) {
            text = value;
            return true;
        }
    }
    return false;
}

std::string ConvertToUtf8(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string narrow(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size,
                            nullptr, nullptr);
    return narrow;
}

std::wstring ConvertFromUtf8(const std::string& narrow)
{
    if (narrow.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), size);
    return wide;
}
