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

// The path with its "." and ".." segments resolved, never above the root,
// as the runtime resolves them; a trailing "/" stays.
std::string WithoutDotSegments(const std::string& path)
{
    std::vector<std::string> segments;
    for (size_t start = 0;;) {
        size_t end = path.find('/', start);
        std::string segment = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bool last = end == std::string::npos;
        if (segment == "." || segment == "..") {
            // The first segment is the empty one before the leading "/".
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

std::string AsciiLower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A path as UTF-8 with its escapes decoded (but those of "/" and "\"),
// ASCII letters lower-cased, "\" as "/", no slash twice and its dot
// segments resolved; "/" for an empty one.
std::string ComparablePath(const std::string& raw)
{
    std::string path;
    path.reserve(raw.size() + 1);
    for (size_t at = 0; at < raw.size(); ++at) {
        char c = raw[at];
        if (c == '%' && at + 2 < raw.size() && HexValue(raw[at + 1]) >= 0 && HexValue(raw[at + 2]) >= 0) {
            char decoded = static_cast<char>(HexValue(raw[at + 1]) * 16 + HexValue(raw[at + 2]));
            // An escaped separator stays escaped: it never splits a name.
            if (decoded != '/' && decoded != '\\') {
                c = decoded;
                at += 2;
            }
        }
        if (c == '\\')
            c = '/';
        if (c == '/' && !path.empty() && path.back() == '/')
            continue;
        path += c;
    }
    if (path.empty() || path[0] != '/')
        path.insert(path.begin(), '/');
    return AsciiLower(WithoutDotSegments(path));
}

// An address split as the origin check compares it: the scheme, whether an
// authority follows ("//"), the authority (host and port, with whatever
// else stands there), and the path; the query and fragment are dropped.
struct AddressParts {
    std::string scheme;
    bool hasAuthority = false;
    std::string authority;
    std::string path;
};

bool SplitAddress(std::wstring_view url, AddressParts& parts)
{
    std::string text = ConvertToUtf8(std::wstring(url.substr(0, url.find_first_of(L"?#"))));
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || text.find_first_of("/\\") < colon)
        return false;
    parts.scheme = AsciiLower(text.substr(0, colon));
    std::string rest = text.substr(colon + 1);
    auto isSlash = [](char c) { return c == '/' || c == '\\'; };
    parts.hasAuthority = rest.size() >= 2 && isSlash(rest[0]) && isSlash(rest[1]);
    if (parts.hasAuthority) {
        size_t end = rest.find_first_of("/\\", 2);
        parts.authority = AsciiLower(rest.substr(2, end == std::string::npos ? std::string::npos : end - 2));
        rest = end == std::string::npos ? std::string() : rest.substr(end);
    }
    parts.path = ComparablePath(rest);
    return true;
}

} // namespace

bool IsUrlBelowBase(std::wstring_view url, std::wstring_view baseUrl)
{
    AddressParts base, address;
    if (!SplitAddress(baseUrl, base) || !SplitAddress(url, address))
        return false;
    if (address.scheme != base.scheme || address.hasAuthority != base.hasAuthority ||
        address.authority != base.authority)
        return false;
    return address.path.compare(0, base.path.size(), base.path) == 0;
}

bool IsInterfaceUrl(std::wstring_view url)
{
    return IsUrlBelowBase(url, GetLauncherBaseUrl());
}
