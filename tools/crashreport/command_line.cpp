#include "command_line.h"

#include <cwctype>

CommandLineStatus ParseCommandLine(const wchar_t* text, CommandLine& result)
{
    result = CommandLine();
    if (!text || text[0] != L'"')
        return CommandLineStatus::NO_FOLDER;

    const wchar_t* p = text + 1;
    const wchar_t* folderStart = p;
    while (*p && *p != L'"')
        ++p;
    size_t folderLength = static_cast<size_t>(p - folderStart);
    if (folderLength == 0)
        return CommandLineStatus::NO_FOLDER;
    if (folderLength >= FOLDER_ARGUMENT_SIZE)
        return CommandLineStatus::TOO_LONG;
    result.folder.assign(folderStart, folderLength);
    for (wchar_t& c : result.folder) {
        if (c == L'/')
            c = L'\\';
    }

    if (*p != L'"')
        return CommandLineStatus::OK;
    ++p;
    while (*p && iswspace(*p))
        ++p;
    const wchar_t* optionStart = p;
    while (*p && !iswspace(*p))
        ++p;
    size_t optionLength = static_cast<size_t>(p - optionStart);
    if (optionLength >= OPTION_ARGUMENT_SIZE)
        return CommandLineStatus::TOO_LONG;
    result.unattended = std::wstring(optionStart, optionLength) == L"/UNATTENDED";
    return CommandLineStatus::OK;
}
