#include "log_context.h"

#include <fstream>
#include <regex>

namespace {

constexpr std::streamsize LINE_BUFFER = 1024;

const char CONNECTION_PATTERN[] =
    R"((?:\d+.\d+)? (?:\w+)? \[(?:\w+)\]: \=\=\=\[ (\w+) successfully connected to: ([a-zA-Z0-9/\-\.\\]+) \]\=\=\=)";
const char SELECTION_PATTERN[] = R"((?:\d+.\d+)? (?:\w+)? \[(?:\w+)\]: Selected \d+: \{([a-zA-Z0-9/\\]+)\})";
const char COMMAND_PATTERN[] = R"((?:\d+.\d+)? (?:\w+)? \[(?:\w+)\]: Executing command: ([a-zA-Z0-9/\\]+))";

} // namespace

std::string ExtractLogContext(const std::wstring& folder)
{
    // Text mode, shared: the game may still be writing its log.
    std::ifstream log((folder + L"/QX.log").c_str());
    if (!log.is_open())
        return std::string();

    static const std::regex connection(CONNECTION_PATTERN, std::regex::ECMAScript);
    static const std::regex selection(SELECTION_PATTERN, std::regex::ECMAScript);
    static const std::regex command(COMMAND_PATTERN, std::regex::ECMAScript);

    std::string level, address, lastSelection, lastCommand;
    char line[LINE_BUFFER];
    std::cmatch match;
    while (log.getline(line, LINE_BUFFER)) {
        if (std::regex_match(line, match, connection)) {
            level = match[1].str();
            address = match[2].str();
        } else if (std::regex_match(line, match, selection)) {
            lastSelection = match[1].str();
        } else if (std::regex_match(line, match, command)) {
            lastCommand = match[1].str();
        }
    }

    std::string context;
    if (!level.empty() && !address.empty())
        context += "\n\rLast level loaded: " + level + ": " + address;
    if (!lastSelection.empty())
        context += "\n\rLast editor selection: " + lastSelection;
    if (!lastCommand.empty())
        context += "\n\rLast command executed: " + lastCommand;
    return context;
}
