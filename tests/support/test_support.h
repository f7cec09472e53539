// Helpers shared by the test executables: temporary folders, file access,
// and the client of the local test server's control API.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A fresh folder under the temp folder, removed (recursively) on destruction.
// Throws std::runtime_error, which fails the test, when none can be made.
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

// What RunProcess does with a program that still runs at its deadline.
enum class AtDeadline {
    EndTreeAndFail, // ends it and every process it started, and fails the test
    EndProgram,     // ends it alone, as a script that gives up on it would
};

// Runs a program and waits at most timeoutMs; returns its exit code, or
// nothing when it still ran at the deadline (it is then ended). Standard
// output and error are one pipe, read into *output (when given) only while
// the program runs and never past the deadline, however much it writes; a
// program that writes without end keeps its first and last OUTPUT_KEPT / 2
// bytes, with a line between that says how many were left out. So neither a
// chatty program nor a process it started that keeps the pipe can keep the
// test waiting. Without output, the program shares this program's standard
// handles. onStart, when given, is called with the program's process id as
// soon as it runs.
constexpr size_t OUTPUT_KEPT = 1024 * 1024;
std::optional<int> RunProcess(const std::wstring& commandLine, std::string* output = nullptr,
                              unsigned timeoutMs = 60000, const std::wstring& workingDir = L"",
                              const std::function<void(unsigned long processId)>& onStart = nullptr,
                              AtDeadline atDeadline = AtDeadline::EndTreeAndFail);

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
    int port = 0; // the server port it came to
    std::string Header(const std::string& name) const; // case-insensitive, "" when absent
};

// The test server started by the test runner (ports in TEST_HTTP_PORT,
// TEST_HTTPS_PORT and TEST_OTHER_HTTPS_PORT). HTTPS is served for the host
// name "localhost", on a second port too: a server elsewhere with a
// certificate from the same CA.
class TestServer {
public:
    static int HttpPort();
    static int HttpsPort();
    static int OtherHttpsPort();
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
