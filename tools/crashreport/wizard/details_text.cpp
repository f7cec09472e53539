#include "details_text.h"

#include <cstdio>
#include <cstring>
#include <deque>

namespace {

struct FileStream {
    FILE* file;
    explicit FileStream(FILE* f) : file(f) {}
    ~FileStream()
    {
        if (file)
            fclose(file);
    }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
};

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const char* MatchPrefixNoCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (*text == 0 || LowerAscii(*text) != LowerAscii(*prefix))
            return nullptr;
    }
    return text;
}

std::string ReadDescriptionSummary(const std::wstring& path)
{
    FileStream stream(_wfopen(path.c_str(), L"rt"));
    if (!stream.file)
        return std::string();
    char line[DETAILS_LINE_SIZE];
    while (fgets(line, sizeof(line), stream.file)) {
        const char* start = line;
        while (IsWhiteSpace(*start))
            ++start;
        if (*start == 0)
            break;
        if (const char* rest = MatchPrefixNoCase(start, "Summary: ")) {
            std::string summary(rest);
            while (!summary.empty() && IsWhiteSpace(summary.back()))
                summary.pop_back();
            return summary;
        }
    }
    return std::string();
}

bool ReadLogTail(const std::wstring& path, std::string& tail)
{
    tail.clear();
    FileStream stream(_wfopen(path.c_str(), L"rt"));
    if (!stream.file)
        return false;
    long long size = 0;
    if (_fseeki64(stream.file, 0, SEEK_END) == 0)
        size = _ftelli64(stream.file);
    _fseeki64(stream.file, size > LOG_TAIL_BYTES ? size - LOG_TAIL_BYTES : 0, SEEK_SET);

    std::deque<std::string> lines;
    char line[DETAILS_LINE_SIZE];
    while (fgets(line, sizeof(line), stream.file)) {
        if (lines.size() == LOG_TAIL_LINES)
            lines.pop_front();
        lines.emplace_back(line);
    }
    for (const std::string& kept : lines)
        tail += kept;
    return true;
}

std::wstring WidenBytes(const std::string& bytes)
{
    std::wstring wide;
    wide.reserve(bytes.size());
    for (char c : bytes)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

std::wstring BuildDetailsText(const std::wstring& folder, bool inHouse)
{
    std::wstring text;
    std::string summary = ReadDescriptionSummary(folder + L"\\Description.txt");
    if (!summary.empty())
        text += WidenBytes(summary) + L"\n\n";
    text += folder + L"\\QX.cfg is your VantorelPublic config file.\n\n";
    text += folder + L"\\Editor.cfg is your Brindlexa config file.\n\n";
    text += folder + L"\\QX.dmp is a mini-dump of Vantorel's memory space.\n\n";
    std::string tail;
    if (inHouse && ReadLogTail(folder + L"\\QX.log", tail))
        text += L"\n\nLog tail:\n" + WidenBytes(tail);
    return text;
}
