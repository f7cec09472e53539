#include "report_body.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "url_encoding.h"

bool CreateReportBody(ReportBody& body)
{
    body.start.reset(new (std::nothrow) char[REPORT_BODY_SIZE]);
    if (!body.start)
        return false;
    body.start[0] = 0;
    body.cursor = body.start.get();
    return true;
}

size_t ReportBodyRoom(const ReportBody& body)
{
    return REPORT_BODY_SIZE - static_cast<size_t>(body.cursor - body.start.get());
}

const char* ReportBodyText(const ReportBody& body)
{
    return body.start.get();
}

size_t ReportBodyLength(const ReportBody& body)
{
    return static_cast<size_t>(body.cursor - body.start.get());
}

bool AppendBodyText(ReportBody& body, const char* text)
{
    size_t length = strlen(text);
    if (length + 1 > ReportBodyRoom(body)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    memcpy(body.cursor, text, length + 1);
    body.cursor += length;
    return true;
}

bool AppendEncodedValue(ReportBody& body, const char* value)
{
    size_t written = 0;
    if (!EncodeUrlString(body.cursor, value, ReportBodyRoom(body), &written)) {
        *body.cursor = 0;
        return false;
    }
    body.cursor += written;
    return true;
}

std::string NarrowReportText(const wchar_t* text, size_t capacity)
{
    std::string result;
    if (capacity == 0)
        return result;
    size_t length = wcslen(text);
    bool latin1 = true;
    for (size_t i = 0; i < length && latin1; ++i)
        latin1 = text[i] <= 0xFF;

    if (latin1) {
        size_t kept = length < capacity ? length : capacity - 1;
        result.reserve(kept);
        for (size_t i = 0; i < kept; ++i)
            result.push_back(static_cast<char>(text[i]));
        return result;
    }

    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return result;
    result.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result.data(), bytes, nullptr, nullptr);
    if (result.size() > capacity - 1) {
        size_t cut = capacity - 1;
        while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80)
            --cut;
        result.resize(cut);
    }
    return result;
}
