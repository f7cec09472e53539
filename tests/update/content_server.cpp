#include "content_server.h"

#include "log.h"

#include <windows.h>

#include <cwchar>

using testing_support::TestServer;

namespace {

std::string JsonString(const std::string& json, const std::string& key)
{
    std::string marker = "\"" + key + "\": \"";
    size_t start = json.find(marker);
    if (start == std::string::npos)
        return {};
    start += marker.size();
    size_t end = json.find('"', start);
    return end == std::string::npos ? std::string() : json.substr(start, end - start);
}

int64_t JsonNumber(const std::string& json, const std::string& key)
{
    std::string marker = "\"" + key + "\": ";
    size_t start = json.find(marker);
    return start == std::string::npos ? -1 : _strtoi64(json.c_str() + start + marker.size(), nullptr, 10);
}

ContentObject Parse(const std::string& answer, bool ok)
{
    ContentObject object;
    object.ok = ok;
    object.name = JsonString(answer, "name");
    object.md5 = JsonString(answer, "md5");
    object.size = JsonNumber(answer, "size");
    object.objectSize = JsonNumber(answer, "object_size");
    return object;
}

std::string Quoted(const std::string& text)
{
    return "\"" + testing_support::JsonEscape(text) + "\"";
}

} // namespace

namespace content_server {

ContentObject Put(const std::string& name, int64_t size, int seed, const std::string& extraJson)
{
    std::string json = "{\"name\": " + Quoted(name) + ", \"size\": " + std::to_string(size) +
                       ", \"seed\": " + std::to_string(seed) + (extraJson.empty() ? "" : ", " + extraJson) +
                       "}";
    bool ok = false;
    std::string answer = TestServer::Control("POST", "/__ctl/content/put", json, &ok);
    return Parse(answer, ok);
}

ContentObject PutBytes(const std::string& name, const std::string& bytes, const std::string& extraJson)
{
    std::string json = "{\"name\": " + Quoted(name) +
                       ", \"data_b64\": " + Quoted(testing_support::Base64Encode(bytes)) +
                       (extraJson.empty() ? "" : ", " + extraJson) + "}";
    bool ok = false;
    std::string answer = TestServer::Control("POST", "/__ctl/content/put", json, &ok);
    return Parse(answer, ok);
}

ContentObject PutManifest(const std::string& text)
{
    bool ok = false;
    std::string answer = TestServer::Control("POST", "/__ctl/content/manifest", text, &ok);
    return Parse(answer, ok);
}

std::string Object(const std::string& name)
{
    std::string query;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (isalnum(u) || c == '/' || c == '.' || c == '_' || c == '-') {
            query += c;
        } else {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", u);
            query += hex;
        }
    }
    return TestServer::Control("GET", "/__ctl/content/object?name=" + query);
}

bool Fail(const std::string& name, const std::string& attemptsJson)
{
    bool ok = false;
    TestServer::Control("POST", "/__ctl/content/fail",
                        "{\"name\": " + Quoted(name) + ", \"attempts\": " + attemptsJson + "}", &ok);
    return ok;
}

bool FailEvery(const std::string& name, const std::string& freshJson, const std::string& resumeJson)
{
    bool ok = false;
    TestServer::Control("POST", "/__ctl/content/fail",
                        "{\"name\": " + Quoted(name) + ", \"fresh\": " + freshJson +
                            ", \"resume\": " + resumeJson + "}",
                        &ok);
    return ok;
}

std::vector<std::string> Archive(const std::vector<std::string>& names, const std::vector<int64_t>& partSizes,
                                 const std::string& flipJson)
{
    std::string json = "{\"names\": [";
    for (size_t i = 0; i < names.size(); ++i)
        json += (i ? ", " : "") + Quoted(names[i]);
    json += "], \"part_sizes\": [";
    for (size_t i = 0; i < partSizes.size(); ++i)
        json += (i ? ", " : "") + std::to_string(partSizes[i]);
    json += "], \"flip\": " + flipJson + "}";
    bool ok = false;
    std::string answer = TestServer::Control("POST", "/__ctl/content/archive", json, &ok);
    std::vector<std::string> parts;
    // The base64 texts of the "parts" list hold no quote.
    size_t at = answer.find("\"parts\": [");
    if (!ok || at == std::string::npos)
        return parts;
    size_t end = answer.find(']', at);
    for (at = answer.find('"', answer.find('[', at)); at < end; at = answer.find('"', at + 1)) {
        size_t close = answer.find('"', at + 1);
        parts.push_back(testing_support::Base64Decode(answer.substr(at + 1, close - at - 1)));
        at = close;
    }
    return parts;
}

bool WriteArchive(const std::wstring& installer, const std::vector<std::string>& parts)
{
    std::wstring stem = installer.substr(0, installer.size() - 3);
    for (size_t k = 0; k < parts.size(); ++k) {
        wchar_t suffix[8];
        swprintf(suffix, 8, L"b%02d", static_cast<int>(k));
        if (!testing_support::WriteFileBytes(stem + suffix, parts[k]))
            return false;
    }
    return !parts.empty() && testing_support::WriteFileBytes(installer, "");
}

AttemptCounts Counts(const std::string& name)
{
    std::string answer = TestServer::Control("GET", "/__ctl/content/attempts?name=" + name);
    AttemptCounts counts;
    counts.count = static_cast<int>(JsonNumber(answer, "count"));
    counts.injected = static_cast<int>(JsonNumber(answer, "injected"));
    counts.stalling = static_cast<int>(JsonNumber(answer, "stalling"));
    return counts;
}

int Attempts(const std::string& name)
{
    std::string answer = TestServer::Control("GET", "/__ctl/content/attempts?name=" + name);
    return static_cast<int>(JsonNumber(answer, "count"));
}

} // namespace content_server
