#include "crash_server.h"

#include <sstream>

#include "test_support.h"

using testing_support::TestServer;

namespace crash_testing {

namespace {

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return parts;
        start = tab + 1;
    }
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Reads the "zip" and "entry" lines into listing; false for other lines.
bool ReadZipLine(const std::vector<std::string>& parts, ZipListing& listing)
{
    if (parts[0] == "zip") {
        listing.status = parts.size() > 2 ? parts[1] + " " + parts[2] : parts[1];
        return true;
    }
    if (parts[0] == "entry" && parts.size() >= 7) {
        ZipEntryInfo entry;
        entry.name = Unhex(parts[1]);
        entry.method = std::stoi(parts[2]);
        entry.flags = std::stoi(parts[3]);
        entry.size = std::stoul(parts[4]);
        entry.stamp = parts[5];
        entry.hasContent = parts[6] != "-";
        if (entry.hasContent)
            entry.content = Unhex(parts[6]);
        listing.entries.push_back(entry);
        return true;
    }
    return false;
}

} // namespace

const ZipEntryInfo* ZipListing::Find(const std::string& name) const
{
    for (const ZipEntryInfo& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

std::vector<std::string> PostedReport::FieldNames() const
{
    std::vector<std::string> names;
    for (const auto& field : fields)
        names.push_back(field.first);
    return names;
}

std::string PostedReport::Field(const std::string& name) const
{
    for (const auto& field : fields) {
        if (field.first == name)
            return field.second;
    }
    return {};
}

std::wstring CrashEndpoint()
{
    return TestServer::HttpsBase() + L"/CrashServer/CrashProcessREST.php";
}

std::string CrashServerHost()
{
    return "localhost:" + std::to_string(TestServer::HttpsPort());
}

PostedReport FetchCrashReport(int index)
{
    PostedReport report;
    std::istringstream lines(TestServer::Control("GET", "/__ctl/crash_report?index=" + std::to_string(index)));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> parts = SplitTabs(line);
        if (parts[0] == "count")
            report.count = std::stoi(parts[1]);
        else if (parts[0] == "form")
            report.canonical = parts[1] == "ok";
        else if (parts[0] == "field" && parts.size() == 3)
            report.fields.emplace_back(Unhex(parts[1]), Unhex(parts[2]));
        else
            ReadZipLine(parts, report.zip);
    }
    return report;
}

ZipListing ListZip(const std::string& archive)
{
    ZipListing listing;
    std::istringstream lines(TestServer::Control("POST", "/__ctl/zip_list", archive));
    std::string line;
    while (std::getline(lines, line))
        ReadZipLine(SplitTabs(line), listing);
    return listing;
}

bool AnswerCrashReports(int status, const std::string& body, const std::string& extraJson)
{
    return TestServer::AddRoute("POST", "/CrashServer/CrashProcessREST.php", status, body, extraJson);
}

bool TrickleCrashAnswers(double intervalSeconds, const std::string& answer)
{
    std::string request = "{\"interval\": " + std::to_string(intervalSeconds) + ", \"answer\": \"" + answer + "\"}";
    return TestServer::Control("POST", "/__ctl/crash_trickle", request) == "ok";
}

std::string UrlDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

} // namespace crash_testing
