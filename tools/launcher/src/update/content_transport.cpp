#include "content_transport.h"

#include "internet_errors.h"

#include <cstring>

int64_t QueryContentLength(HINTERNET request)
{
    wchar_t text[32] = L"";
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr) || !text[0])
        return -1;
    int64_t length = 0;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || length > (INT64_MAX - 9) / 10)
            return -1;
        length = length * 10 + (*c - L'0');
    }
    return length;
}

InternetBodySource::InternetBodySource(HINTERNET request)
    : request_(request), expected_(QueryContentLength(request))
{
}

bool InternetBodySource::Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName)
{
    char name[32];
    DWORD count = 0;
    *read = 0;
    if (!InternetReadFile(request_, buffer, size, &count)) {
        errorName = GetInternetErrorName(name);
        return false;
    }
    if (count == 0 && expected_ >= 0 && delivered_ < expected_) {
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
        errorName = GetInternetErrorName(name);
        return false;
    }
    delivered_ += count;
    *read = count;
    return true;
}

TransferResult DownloadTransfer::ReadRawBody(std::atomic<int64_t>& bytesDone,
                                             const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request);
    return ReadRawBody(source, bytesDone, abortRequested);
}

TransferResult DownloadTransfer::ReadLzmaBody(std::atomic<int64_t>& bytesDone,
                                              const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request);
    return ReadLzmaBody(source, bytesDone, abortRequested);
}
