#include "answer.h"

#include <cstring>

void ParseServerAnswer(std::string_view text, ServerAnswer& answer)
{
    size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);

    constexpr std::string_view SUSPECT = "SUSPECT:";
    if (text.substr(0, SUSPECT.size()) == SUSPECT) {
        answer.rejected = true;
        std::string_view suspect = text.substr(SUSPECT.size());
        if (!suspect.empty() && suspect.size() < SUSPECT_TEXT_SIZE) {
            memcpy(answer.suspectText, suspect.data(), suspect.size());
            answer.suspectText[suspect.size()] = 0;
        }
        return;
    }

    size_t lineEnd = text.find_first_of("\r\n");
    if (lineEnd == std::string_view::npos)
        lineEnd = text.size();
    if (lineEnd >= BUG_NUMBER_SIZE - 1)
        return;
    memcpy(answer.bugNumber, text.data(), lineEnd);
    answer.bugNumber[lineEnd] = 0;

    size_t restStart = text.find_first_not_of("\r\n", lineEnd);
    answer.fixed = restStart != std::string_view::npos && text.substr(restStart) == "FIXED";
}

bool IsSafeBugNumber(const char* bugNumber)
{
    for (const char* c = bugNumber; *c; ++c) {
        bool letter = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z');
        bool digit = *c >= '0' && *c <= '9';
        if (!letter && !digit && *c != '-')
            return false;
    }
    return true;
}
