// What the tests ask the crash server stand-in: the decoded reports that
// FaultCourier posted, zip listings made by Python's own zip reader, and the
// answers to give.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace crash_testing {

struct ZipEntryInfo {
    std::string name; // UTF-8
    int method = -1;  // 0 stored, 8 deflated
    int flags = 0;
    size_t size = 0;
    std::string stamp; // "1980-00-00 00:00:00" for DOS time and date 0
    bool hasContent = false;
    std::string content;
};

struct ZipListing {
    std::string status; // "ok", "none" or "bad <reason>"
    std::vector<ZipEntryInfo> entries;
    const ZipEntryInfo* Find(const std::string& name) const;
};

struct PostedReport {
    int count = 0;          // crash reports posted so far
    bool canonical = false; // URL encoding as FaultCourier must write it
    std::vector<std::pair<std::string, std::string>> fields; // decoded, in body order
    ZipListing zip;
    std::vector<std::string> FieldNames() const;
    std::string Field(const std::string& name) const; // "" when absent
};

// The report endpoint on the HTTPS test server ("localhost").
std::wstring CrashEndpoint();
// "localhost:<https port>", as the configuration file names the server.
std::string CrashServerHost();

// The index-th report posted (negative: from the end).
PostedReport FetchCrashReport(int index = -1);

// Python's listing of a zip archive.
ZipListing ListZip(const std::string& archive);

// Answers every crash report with status and body from now on; extraJson as
// TestServer::AddRoute takes it (headers, for example).
bool AnswerCrashReports(int status, const std::string& body, const std::string& extraJson = "");

// From now on every crash report is answered with status 200 and answer, one
// byte of the whole answer every intervalSeconds.
bool TrickleCrashAnswers(double intervalSeconds, const std::string& answer);

// The bytes of a URL-encoded text.
std::string UrlDecode(const std::string& text);

} // namespace crash_testing
