// The ReportBody: the form-encoded crash report, built in one fixed buffer.
//
// Fields are appended at the cursor and the text always stays terminated by
// a 0 byte. Nothing ever writes past the buffer: an append that does not fit
// leaves the body as it was and reports false.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

constexpr size_t REPORT_BODY_SIZE = 0x700000;

struct ReportBody {
    std::unique_ptr<char[]> start; // REPORT_BODY_SIZE bytes
    char* cursor = nullptr;        // the next free byte (holds the terminator)
};

// Allocates an empty body; false when the memory cannot be had.
bool CreateReportBody(ReportBody& body);

// Bytes from the cursor to the end of the buffer (the terminator's byte
// included).
size_t ReportBodyRoom(const ReportBody& body);

// The text so far.
const char* ReportBodyText(const ReportBody& body);
size_t ReportBodyLength(const ReportBody& body);

// Appends text as it is (field names such as "&Lang=").
bool AppendBodyText(ReportBody& body, const char* text);

// Appends the URL encoding of value. On failure the cursor stays and nothing
// of the partial encoding remains; the thread's last error is
// ERROR_INSUFFICIENT_BUFFER.
bool AppendEncodedValue(ReportBody& body, const char* value);

// Narrows text for the report: one byte per character (Latin-1) when every
// character is at most U+00FF, else UTF-8, so that no character is lost.
// The result holds at most capacity - 1 bytes, cut on a character boundary.
std::string NarrowReportText(const wchar_t* text, size_t capacity);
