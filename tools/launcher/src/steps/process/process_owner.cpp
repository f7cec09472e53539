// Diagnostics after a child could not be started: which file the command
// line names, who owns it and who runs the launcher.
#include "spawn_process.h"

#include "log.h"

#include <aclapi.h>

#include <string>

namespace {

constexpr size_t ACCOUNT_CAPACITY = 260;
constexpr DWORD USER_CAPACITY = 256;

// The executable of a command line: between the leading double quote and
// the next one, or up to the first blank, or the whole line.
std::wstring ExecutableOfCommandLine(const wchar_t* commandLine)
{
    std::wstring line = commandLine;
    if (!line.empty() && line[0] == L'"') {
        size_t end = line.find(L'"', 1);
        return end == std::wstring::npos ? std::wstring() : line.substr(1, end - 1);
    }
    return line.substr(0, line.find(L' '));
}

// Frees what GetSecurityInfo allocated.
struct LocalMemory {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~LocalMemory()
    {
        if (descriptor)
            LocalFree(descriptor);
    }
};

} // namespace

void LogExecutableOwner(const wchar_t* commandLine)
{
    std::wstring path = ExecutableOfCommandLine(commandLine);
    if (path.empty() || path.size() >= MAX_PATH) {
        LogPrintf(L"Could not parse EXE from: %s\n", commandLine);
        return;
    }
    if (path.find(L'\\') == std::wstring::npos)
        return;
    LogPrintf(L"Binary: %s\n", path.c_str());
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogWrite(L"Could not read binary file\n");
        return;
    }
    PSID owner = nullptr;
    LocalMemory memory;
    if (GetSecurityInfo(file.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &memory.descriptor) != ERROR_SUCCESS) {
        LogWrite(L"Could not read security info\n");
        return;
    }
    LogAccountOfSid(owner);
}

void LogAccountOfSid(PSID owner)
{
    wchar_t name[ACCOUNT_CAPACITY] = {};
    wchar_t domain[ACCOUNT_CAPACITY] = {};
    DWORD nameLength = ACCOUNT_CAPACITY;
    DWORD domainLength = ACCOUNT_CAPACITY;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, owner, name, &nameLength, domain, &domainLength, &use)) {
        LogWrite(L"Could lookup account for binarys\n");
        return;
    }
    LogPrintf(L"Owned By: %s", name);
    wchar_t user[USER_CAPACITY] = {};
    DWORD userLength = USER_CAPACITY;
    if (GetUserNameW(user, &userLength) && user[0] && wcslen(user) < USER_CAPACITY)
        LogPrintf(L" (Current User: %s)\n", user);
    else
        LogWrite(L"\n");
}
