#include "content_transport.h"

#include "internet_errors.h"

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

DWORD SentBodyStallMs(HINTERNET request, uint32_t requestFlags)
{
    if (AnsweredOverHttps(request))
        requestFlags |= INTERNET_FLAG_SECURE;
    return BodyStallMs(requestFlags);
}

bool AnsweredElsewhere(HINTERNET request, const std::wstring& asked, uint32_t requestFlags)
{
    std::wstring answered = UrlServer(RequestUrl(request));
    if (!asked.empty() && !answered.empty() && _wcsicmp(asked.c_str(), answered.c_str()) != 0)
        return true;
    return AnsweredOverHttps(request) != ((requestFlags & INTERNET_FLAG_SECURE) != 0);
}

InternetBodySource::InternetBodySource(HINTERNET request, ContentReader& reader, DWORD stallMs,
                                       const std::atomic<bool>* abortRequested)
    : reader_(reader), stallMs_(stallMs), abortRequested_(abortRequested),
      expected_(QueryContentLength(request))
{
}

bool InternetBodySource::Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName)
{
    char name[32];
    DWORD error = 0;
    if (!reader_.Read(buffer, size, read, &error, stallMs_, abortRequested_)) {
        SetLastError(error);
        errorName = GetInternetErrorName(name);
        return false;
    }
    if (*read == 0 && expected_ >= 0 && delivered_ < expected_) {
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
        errorName = GetInternetErrorName(name);
        return false;
    }
    delivered_ += *read;
    return true;
}

TransferResult DownloadTransfer::ReadRawBody(std::atomic<int64_t>& bytesDone,
                                             const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request, *reader, SentBodyStallMs(request, requestFlags), &abortRequested);
    return ReadRawBody(source, bytesDone, abortRequested);
}

TransferResult DownloadTransfer::ReadLzmaBody(std::atomic<int64_t>& bytesDone,
                                              const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request, *reader, SentBodyStallMs(request, requestFlags), &abortRequested);
    return ReadLzmaBody(source, bytesDone, abortRequested);
}
