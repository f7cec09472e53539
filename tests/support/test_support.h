// Helpers shared by the test executables: temporary folders, file access,
// and the client of the local test server's control API.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A fresh folder under the temp folder, removed (recursively) on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
std::wstring ExecutableFolder(); // folder of the running test executable
std::wstring BuildFolder();      // the build tree holding the test executable
std::wstring EnvW(const wchar_t* name);

std::string Base64Decode(const std::string& text);
std::string Base64Encode(const std::string& bytes);
std::string JsonEscape(const std::string& text);

// Runs a program and waits (at most timeoutMs); returns its exit code, or -1.
// Standard output and error are captured into *output when given.
int RunProcess(const std::wstring& commandLine, std::string* output = nullptr,
               unsigned timeoutMs = 60000, const std::wstring& workingDir = L"");

// Makes name (in folder) a symbolic link to target (relative to folder, or
// under Wine an absolute Unix path such as "/dev/full");
// true when the link exists afterwards. Wine accepts CreateSymbolicLinkW
// without making anything, so there the system's own ln makes it.
bool MakeLink(const std::wstring& folder, const std::wstring& name, const std::wstring& target, bool isFolder);
// Removes such a link (not what it leads to); true when it is gone.
bool RemoveLink(const std::wstring& folder, const std::wstring& name);

struct RecordedRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool tls = false;
    std::string Header(const std::string& name) const; // case-insensitive, "" when absent
};

// The test server started by the test runner (ports in TEST_HTTP_PORT and
// TEST_HTTPS_PORT). HTTPS is served for the host name "localhost".
class TestServer {
public:
    static int HttpPort();
    static int HttpsPort();
    static std::wstring HttpBase();  // http://127.0.0.1:<port>
    static std::wstring HttpsBase(); // https://localhost:<port>

    static bool Reset();
    // Adds a route; extraJson is appended inside the JSON object (for example
    // "\"delay\": 2, \"times\": 1").
    static bool AddRoute(const std::string& method, const std::string& path, int status,
                         const std::string& body, const std::string& extraJson = "");
    static bool AddRouteJson(const std::string& json);
    static std::vector<RecordedRequest> Requests();
    // Raw request to the control API ("/__ctl/..."); returns the body, or ""
    // with *ok false on failure.
    static std::string Control(const std::string& method, const std::string& path,
                               const std::string& body = "", bool* ok = nullptr);
    // A "Vantorel.ini" that sends every cluster's roles to this server:
    // content over http, the web service over https, and the origin over
    // https, or over http when originOverHttp.
    static std::string ServerConfig(bool originOverHttp = false);
};

} // namespace testing_support
