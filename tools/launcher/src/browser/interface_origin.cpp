#include "interface_origin.h"

#include "page_bridge.h"
#include "strings.h"

#include <vector>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The path with its "." and ".." segments resolved (never above its first
// segment, the scheme), as the runtime resolves them; a trailing "/" stays.
std::string WithoutDotSegments(const std::string& path)
{
    std::vector<std::string> segments;
    for (size_t start = 0;;) {
        size_t end = path.find('/', start);
        std::string segment = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bool last = end == std::string::npos;
        if (segment == "." || segment == "..") {
            if (segment == ".." && segments.size() > 1)
                segments.pop_back();
            if (last)
                segments.emplace_back();
        } else {
            segments.push_back(std::move(segment));
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string resolved;
    for (size_t index = 0; index < segments.size(); ++index)
        resolved += (index ? "/" : "") + segments[index];
    return resolved;
}

// The address without query and fragment, as UTF-8 with its escapes
// decoded (but those of "/" and "\"), ASCII letters lower-cased, "\" as
// "/" and no slash twice.
std::string ComparablePath(std::wstring_view url)
{
    std::string narrow = ConvertToUtf8(std::wstring(url.substr(0, url.find_first_of(L"?#"))));
    std::string path;
    path.reserve(narrow.size());
    for (size_t at = 0; at < narrow.size(); ++at) {
        char c = narrow[at];
        if (c == '%' && at + 2 < narrow.size() && HexValue(narrow[at + 1]) >= 0 &&
            HexValue(narrow[at + 2]) >= 0) {
            char decoded = static_cast<char>(HexValue(narrow[at + 1]) * 16 + HexValue(narrow[at + 2]));
            // An escaped separator stays escaped: it never splits a name.
            if (decoded != '/' && decoded != '\\') {
                c = decoded;
                at += 2;
            }
        }
        if (c == '\\')
            c = '/';
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c == '/' && !path.empty() && path.back() == '/')
            continue;
        path += c;
    }
    return WithoutDotSegments(path);
}

} // namespace

bool IsUrlBelowBase(std::wstring_view url, std::wstring_view baseUrl)
{
    std::string base = ComparablePath(baseUrl);
    std::string path = ComparablePath(url);
    return !base.empty() && path.compare(0, base.size(), base) == 0;
}

bool IsInterfaceUrl(std::wstring_view url)
{
    return IsUrlBelowBase(url, GetLauncherBaseUrl());
}
