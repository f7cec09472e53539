#include "test_support.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

int PortFromEnv(const wchar_t* name)
{
    std::wstring value = EnvW(name);
    return value.empty() ? 0 : _wtoi(value.c_str());
}

// The pipe that takes a program's output holds this much before the program
// has to wait for the reader, who looks in every 50 ms.
constexpr DWORD PIPE_BUFFER = 256 * 1024;

// A program's output, kept within OUTPUT_KEPT bytes: the first half as it
// came, then the latest bytes.
class BoundedOutput {
  public:
    void Append(const char* bytes, size_t count)
    {
        size_t toHead = std::min(count, HALF - std::min(head_.size(), HALF));
        head_.append(bytes, toHead);
        tail_.append(bytes + toHead, count - toHead);
        if (tail_.size() > 2 * HALF)
            Drop(tail_.size() - HALF);
    }
    std::string Text()
    {
        if (tail_.size() > HALF)
            Drop(tail_.size() - HALF);
        if (dropped_ == 0)
            return head_ + tail_;
        return head_ + "\n[... " + std::to_string(dropped_) + " bytes of output left out ...]\n" + tail_;
    }

  private:
    static constexpr size_t HALF = OUTPUT_KEPT / 2;
    void Drop(size_t count)
    {
        tail_.erase(0, count);
        dropped_ += count;
    }
    std::string head_, tail_;
    unsigned long long dropped_ = 0;
};

// Reads what the pipe holds at this moment, at most PIPE_BUFFER bytes, so a
// writer that never pauses cannot keep the reader here; true when something
// was read.
bool ReadWhatIsThere(HANDLE pipe, BoundedOutput& output)
{
    DWORD available = 0, read = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
        return false;
    available = std::min(available, PIPE_BUFFER);
    char chunk[16384];
    while (available > 0 && ReadFile(pipe, chunk, std::min<DWORD>(available, sizeof chunk), &read, nullptr) &&
           read > 0) {
        output.Append(chunk, read);
        available -= std::min(read, available);
    }
    return true;
}

std::string Utf8(const std::wstring& text)
{
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

} // namespace

TempDir::TempDir()
{
    wchar_t base[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    // Another name is tried only while the name was taken, a bounded number
    // of times; any other failure ends the test at once.
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        wchar_t name[MAX_PATH];
        wsprintfW(name, L"%svt_%lu_%lu_%ld", base, GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
        if (CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("could not make a temporary folder in " + Utf8(base) + " (error " +
                             std::to_string(error) + ")");
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(child.c_str());
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string out;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        out.append(chunk, read);
    CloseHandle(file);
    return out;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ExecutableFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    size_t slash = p.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : p.substr(0, slash);
}

std::wstring BuildFolder()
{
    return ExecutableFolder();
}

std::wstring EnvW(const wchar_t* name)
{
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    return (n > 0 && n < 32768) ? std::wstring(buffer, n) : std::wstring();
}

std::string Base64Encode(const std::string& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16;
        if (i + 1 < bytes.size())
            v |= (unsigned char)bytes[i + 1] << 8;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += (i + 1 < bytes.size()) ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string Base64Decode(const std::string& text)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int v = value(c);
        if (v < 0)
            continue;
        buffer = (buffer << 6) | v;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

std::string JsonEscape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                wsprintfA(esc, "\\u%04x", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::optional<int> RunProcess(const std::wstring& commandLine, std::string* output, unsigned timeoutMs,
                              const std::wstring& workingDir,
                              const std::function<void(unsigned long)>& onStart, AtDeadline atDeadline)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readPipe = nullptr, writePipe = nullptr;
    if (output) {
        if (!CreatePipe(&readPipe, &writePipe, &sa, PIPE_BUFFER)) {
            ADD_FAILURE() << "could not make a pipe for " << Utf8(commandLine);
            return std::nullopt;
        }
        SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW si = {sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = output ? writePipe : GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = output ? writePipe : GetStdHandle(STD_ERROR_HANDLE);
    // The processes the program starts are in its job, to be ended with it.
    HANDLE job = atDeadline == AtDeadline::EndTreeAndFail ? CreateJobObjectW(nullptr, nullptr) : nullptr;
    PROCESS_INFORMATION pi = {};
    std::wstring mutableLine = commandLine;
    BOOL ok = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                             workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi);
    if (writePipe)
        CloseHandle(writePipe);
    if (!ok) {
        ADD_FAILURE() << "could not start " << Utf8(commandLine) << " (error " << GetLastError() << ")";
        if (readPipe)
            CloseHandle(readPipe);
        if (job)
            CloseHandle(job);
        return std::nullopt;
    }
    if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    if (onStart)
        onStart(pi.dwProcessId);

    // The program has ended only when its handle is signalled: any exit
    // code, -1 included, may be its own.
    std::optional<int> code;
    BoundedOutput kept;
    const DWORD start = GetTickCount();
    for (;;) {
        bool read = readPipe && ReadWhatIsThere(readPipe, kept);
        DWORD elapsed = GetTickCount() - start;
        DWORD wait = elapsed >= timeoutMs ? 0 : read ? 0 : std::min<DWORD>(50, timeoutMs - elapsed);
        if (WaitForSingleObject(pi.hProcess, wait) == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(pi.hProcess, &exitCode);
            code = static_cast<int>(exitCode);
            break;
        }
        if (elapsed >= timeoutMs)
            break;
    }
    if (!code) {
        if (job)
            TerminateJobObject(job, 255);
        TerminateProcess(pi.hProcess, 255);
        WaitForSingleObject(pi.hProcess, 15000);
        if (atDeadline == AtDeadline::EndTreeAndFail)
            ADD_FAILURE() << "still running after " << timeoutMs
                          << " ms, so ended with what it started: " << Utf8(commandLine);
    }
    if (readPipe) {
        ReadWhatIsThere(readPipe, kept);
        CloseHandle(readPipe);
        *output += kept.Text();
    }
    if (job)
        CloseHandle(job);
    CloseHandle(pi.hProcess);
    return code;
}

std::string RecordedRequest::Header(const std::string& name) const
{
    for (const auto& h : headers) {
        if (_stricmp(h.first.c_str(), name.c_str()) == 0)
            return h.second;
    }
    return {};
}

int TestServer::HttpPort() { return PortFromEnv(L"TEST_HTTP_PORT"); }
int TestServer::HttpsPort() { return PortFromEnv(L"TEST_HTTPS_PORT"); }
int TestServer::OtherHttpsPort() { return PortFromEnv(L"TEST_OTHER_HTTPS_PORT"); }

std::wstring TestServer::HttpBase()
{
    return L"http://127.0.0.1:" + std::to_wstring(HttpPort());
}

std::wstring TestServer::HttpsBase()
{
    return L"https://localhost:" + std::to_wstring(HttpsPort());
}

std::string TestServer::ServerConfig(bool originOverHttp)
{
    std::string http = "127.0.0.1:" + std::to_string(HttpPort());
    std::string https = "localhost:" + std::to_string(HttpsPort());
    std::string ini;
    for (const char* section : {"Public", "Test", "Dev"})
        ini += std::string("[") + section + "]\r\nContent=" + http + "\r\nOrigin=" +
               (originOverHttp ? http : https) + "\r\nApi=" + https + "\r\n";
    return ini;
}

std::string TestServer::Control(const std::string& method, const std::string& path, const std::string& body, bool* ok)
{
    if (ok)
        *ok = false;
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started || HttpPort() == 0)
        return {};
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return {};
    DWORD timeout = 30000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(HttpPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return {};
    }
    std::ostringstream request;
    request << method << " " << path << " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            << "Content-Length: " << body.size() << "\r\n\r\n"
            << body;
    std::string raw = request.str();
    send(s, raw.data(), static_cast<int>(raw.size()), 0);
    std::string answer;
    char chunk[8192];
    int n;
    while ((n = recv(s, chunk, sizeof chunk, 0)) > 0)
        answer.append(chunk, n);
    closesocket(s);
    size_t split = answer.find("\r\n\r\n");
    if (split == std::string::npos)
        return {};
    if (ok)
        *ok = answer.compare(0, 12, "HTTP/1.1 200") == 0 || answer.compare(0, 12, "HTTP/1.0 200") == 0;
    return answer.substr(split + 4);
}

bool TestServer::Reset()
{
    bool ok = false;
    Control("POST", "/__ctl/reset", "", &ok);
    return ok;
}

bool TestServer::AddRouteJson(const std::string& json)
{
    bool ok = false;
    Control("POST", "/__ctl/route", json, &ok);
    return ok;
}

bool TestServer::AddRoute(const std::string& method, const std::string& path, int status, const std::string& body,
                          const std::string& extraJson)
{
    std::string json = "{\"method\": \"" + JsonEscape(method) + "\", \"path\": \"" + JsonEscape(path) +
                       "\", \"status\": " + std::to_string(status) + ", \"body_b64\": \"" + Base64Encode(body) + "\"";
    if (!extraJson.empty())
        json += ", " + extraJson;
    json += "}";
    return AddRouteJson(json);
}

std::vector<RecordedRequest> TestServer::Requests()
{
    std::vector<RecordedRequest> out;
    std::string text = Control("GET", "/__ctl/requests?format=lines");
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        if (fields.size() < 5)
            continue;
        RecordedRequest r;
        r.method = fields[0];
        r.path = fields[1];
        std::istringstream headerLines(Base64Decode(fields[2]));
        std::string h;
        while (std::getline(headerLines, h)) {
            if (!h.empty() && h.back() == '\r')
                h.pop_back();
            size_t colon = h.find(": ");
            if (colon != std::string::npos)
                r.headers.emplace_back(h.substr(0, colon), h.substr(colon + 2));
        }
        r.body = Base64Decode(fields[3]);
        r.tls = fields[4] == "1";
        r.port = fields.size() > 5 ? std::atoi(fields[5].c_str()) : 0;
        out.push_back(std::move(r));
    }
    return out;
}

// Whether the folder lists an entry of that name; also true for a link to a
// device, of which Wine gives no attributes.
static bool EntryExists(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

// Runs a command of the system beneath Wine in folder and waits (bounded)
// until path exists (or, with gone, no longer exists). Such a process
// cannot be waited on; its outcome is waited for instead.
static bool RunInFolderUntil(std::wstring command, const std::wstring& folder, const std::wstring& path,
                             bool gone)
{
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && EntryExists(path) == gone; ++i)
        Sleep(50);
    return EntryExists(path) != gone;
}

bool MakeLink(const std::wstring& folder, const std::wstring& name, const std::wstring& target, bool isFolder)
{
    std::wstring path = folder + L"\\" + name;
    std::wstring windowsTarget = folder + L"\\" + target;
    CreateSymbolicLinkW(path.c_str(), windowsTarget.c_str(), isFolder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    if (EntryExists(path))
        return true;
    std::wstring unixTarget = target;
    for (wchar_t& c : unixTarget) {
        if (c == L'\\')
            c = L'/';
    }
    return RunInFolderUntil(L"Z:\\bin\\ln -s " + unixTarget + L" " + name, folder, path, false);
}

bool RemoveLink(const std::wstring& folder, const std::wstring& name)
{
    std::wstring path = folder + L"\\" + name;
    DeleteFileW(path.c_str());
    if (!EntryExists(path))
        return true;
    return RunInFolderUntil(L"Z:\\bin\\rm -f " + name, folder, path, true);
}

} // namespace testing_support
