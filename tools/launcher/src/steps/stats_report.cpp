#include "stats_report.h"

namespace {

void AppendJsonString(std::string& out, const std::wstring& text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (wchar_t unit : text) {
        unsigned char byte = static_cast<unsigned char>(unit & 0xFF);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte > 0x7E) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += static_cast<char>(byte);
        }
    }
    out += '"';
}

} // namespace

std::string BuildLauncherStatsReport(const StepStatisticsMap& statistics, uint32_t totalTime,
                                     const std::wstring& clientType)
{
    std::string out = "{";
    for (const auto& [category, keys] : statistics) {
        if (keys.empty())
            continue;
        AppendJsonString(out, category);
        out += ":{";
        for (const auto& [key, value] : keys) {
            AppendJsonString(out, key);
            out += ':';
            out += std::to_string(static_cast<uint64_t>(value));
            out += ',';
        }
        out.back() = '}';
        out += ',';
    }
    out += "\"TotalTime\":";
    out += std::to_string(totalTime);
    out += ",\"ClientType\":";
    AppendJsonString(out, clientType);
    out += '}';
    return out;
}
