#include "transport.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "error_output.h"
#include "scoped_handles.h"

namespace {

constexpr DWORD TIMEOUT_MS = 180000;
constexpr DWORD READ_PIECE = 1024;
// The answer's grammar needs "SUSPECT:" and 2047 bytes at most; anything
// beyond this is not read.
constexpr size_t ANSWER_LIMIT = 4096;
constexpr DWORD URL_PART_SIZE = 256;
const wchar_t CONTENT_TYPE_HEADER[] = L"Content-Type: application/x-www-form-urlencoded";

void SetDwordOption(HINTERNET handle, DWORD option, DWORD value)
{
    InternetSetOptionW(handle, option, &value, sizeof(value));
}

// Reads the answer up to ANSWER_LIMIT bytes; false when a read fails.
bool ReadAnswer(HINTERNET request, std::string& answer)
{
    char piece[READ_PIECE];
    while (answer.size() < ANSWER_LIMIT) {
        DWORD wanted = static_cast<DWORD>(std::min<size_t>(sizeof(piece), ANSWER_LIMIT - answer.size()));
        DWORD read = 0;
        if (!InternetReadFile(request, piece, wanted, &read))
            return false;
        if (read == 0)
            break;
        answer.append(piece, read);
    }
    return true;
}

} // namespace

bool PostCrashReport(const wchar_t* url, const char* body, ServerAnswer& answer, bool parse)
{
    wchar_t host[URL_PART_SIZE] = {};
    wchar_t user[URL_PART_SIZE] = {};
    wchar_t password[URL_PART_SIZE] = {};
    wchar_t path[URL_PART_SIZE] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = URL_PART_SIZE;
    parts.lpszUserName = user;
    parts.dwUserNameLength = URL_PART_SIZE;
    parts.lpszPassword = password;
    parts.dwPasswordLength = URL_PART_SIZE;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = URL_PART_SIZE;
    if (!InternetCrackUrlW(url, 0, ICU_DECODE, &parts)) {
        PrintError("Error: InternetCrackUrl() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;

    InternetHandle root(InternetOpenW(L"FaultCourier", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        PrintError("Error: InternetOpen() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    SetDwordOption(root.Get(), INTERNET_OPTION_IGNORE_OFFLINE, 1);
    SetDwordOption(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, TIMEOUT_MS);
    SetDwordOption(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, TIMEOUT_MS);
    SetDwordOption(root.Get(), INTERNET_OPTION_SEND_TIMEOUT, TIMEOUT_MS);

    InternetHandle connection(InternetConnectW(root.Get(), host, parts.nPort, user[0] ? user : nullptr,
                                               password[0] ? password : nullptr, INTERNET_SERVICE_HTTP,
                                               secure, 0));
    if (!connection) {
        PrintError("Error: InternetConnect() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    InternetHandle request(
        HttpOpenRequestW(connection.Get(), L"POST", path, nullptr, nullptr, nullptr, secure, 0));
    if (!request) {
        PrintError("Error: HttpOpenRequest() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    if (!HttpSendRequestW(request.Get(), CONTENT_TYPE_HEADER, wcslen(CONTENT_TYPE_HEADER),
                          const_cast<char*>(body), static_cast<DWORD>(strlen(body)))) {
        PrintError("Error: HttpSendRequest() failed. Error code: %lu\n", GetLastError());
        return false;
    }

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        PrintError("Error: HttpQueryInfo() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    if (status == HTTP_STATUS_OK && parse) {
        std::string text;
        if (ReadAnswer(request.Get(), text))
            ParseServerAnswer(text, answer);
    }
    return true;
}
