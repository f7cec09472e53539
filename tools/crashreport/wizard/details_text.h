// The text of the in-house details dialog: what the crash folder holds.
#pragma once

#include <string>

// Lines are read in pieces of at most DETAILS_LINE_SIZE - 1 bytes.
constexpr size_t DETAILS_LINE_SIZE = 1024;
// The log tail: the last lines of the game log's last LOG_TAIL_BYTES.
constexpr size_t LOG_TAIL_LINES = 20;
constexpr long long LOG_TAIL_BYTES = 40960;

// When text begins with prefix (ASCII letters compared without regard to
// case), the text after it; else null.
const char* MatchPrefixNoCase(const char* text, const char* prefix);

// The "Summary: " line of a Description.txt: lines are read with their
// leading white space skipped; an empty line ends the search, and the first
// line that begins with the prefix gives its rest without trailing white
// space. "" when there is none or the file cannot be read.
std::string ReadDescriptionSummary(const std::wstring& path);

// The last LOG_TAIL_LINES lines read from the last LOG_TAIL_BYTES of the log
// at path, oldest first, each as read (with its line feed). False when the
// file cannot be opened.
bool ReadLogTail(const std::wstring& path, std::string& tail);

// Widens bytes one to one (Latin-1): the crash files carry no encoding.
std::wstring WidenBytes(const std::string& bytes);

// The whole text for folder: the summary, the roles of the configuration
// files and the dump, and on in-house machines the game log's tail.
std::wstring BuildDetailsText(const std::wstring& folder, bool inHouse);
