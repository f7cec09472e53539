#include "submit.h"

#include <windows.h>

#include <new>

#include "attach.h"
#include "crash_endpoint.h"
#include "error_output.h"
#include "in_house.h"
#include "language.h"
#include "log_context.h"
#include "report_body.h"
#include "scoped_handles.h"
#include "unattended_send.h"
#include "wizard.h"

namespace {

constexpr size_t LANGUAGE_BYTES = 128;
constexpr DWORD USER_NAME_SIZE = 512;

enum class ReadResult { OK, OPEN_FAILED, READ_FAILED, TOO_LARGE };

// The whole Description.txt, opened unshared.
ReadResult ReadDescription(const std::wstring& folder, std::string& text)
{
    UniqueHandle file(CreateFileW((folder + L"/Description.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ReadResult::OPEN_FAILED;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        return ReadResult::READ_FAILED;
    // A text this long cannot be encoded into the body anyway.
    if (static_cast<unsigned long long>(size.QuadPart) >= REPORT_BODY_SIZE)
        return ReadResult::TOO_LARGE;
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr))
        return ReadResult::READ_FAILED;
    if (read != text.size()) {
        SetLastError(ERROR_HANDLE_EOF); // shorter than the file system says
        return ReadResult::READ_FAILED;
    }
    text.resize(strlen(text.c_str())); // the text ends at its first 0 byte
    return ReadResult::OK;
}

bool AppendField(ReportBody& body, const char* name, const char* value)
{
    return AppendBodyText(body, name) && AppendEncodedValue(body, value);
}

void PrintEncodeError()
{
    PrintError("Error: EncodeUrlString() failed. Error code: %lu\n", GetLastError());
}

} // namespace

int SubmitCrashReport(const std::wstring& folder, bool unattended)
{
    std::string description;
    switch (ReadDescription(folder, description)) {
    case ReadResult::OK:
        break;
    case ReadResult::OPEN_FAILED:
        PrintError("Error: CreateFile() failed. Error code: %lu\n", GetLastError());
        return COURIER_STOPPED;
    case ReadResult::READ_FAILED:
        PrintError("Error: Description.txt could not be read. Error code: %lu\n", GetLastError());
        return COURIER_STOPPED;
    case ReadResult::TOO_LARGE:
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        PrintEncodeError();
        return COURIER_STOPPED;
    }

    ReportBody body;
    if (!CreateReportBody(body))
        return COURIER_STOPPED;
    if (!AppendField(body, "Description=", description.c_str())) {
        PrintEncodeError();
        return COURIER_STOPPED;
    }
    bool inHouse = IsInHouseMachine();
    if (inHouse && !AppendEncodedValue(body, ExtractLogContext(folder).c_str()))
        PrintError("Error: failed to encode extracted data");

    std::string language = NarrowReportText(GetLanguageCode(), LANGUAGE_BYTES);
    if (!AppendField(body, "&Lang=", language.c_str())) {
        PrintEncodeError();
        return COURIER_STOPPED;
    }

    if (inHouse) {
        wchar_t user[USER_NAME_SIZE];
        DWORD size = USER_NAME_SIZE;
        if (GetUserNameW(user, &size)) {
            std::string reporter = NarrowReportText(user, 4 * wcslen(user) + 1);
            if (!AppendField(body, "&Reporter=", reporter.c_str())) {
                PrintEncodeError();
                return COURIER_STOPPED;
            }
        }
    }

    bool delivered;
    if (unattended) {
        AttachCrashFiles(body, folder);
        delivered = SendReportUnattended(CrashEndpointUrl().c_str(), ReportBodyText(body));
    } else {
        delivered = RunReportWizard(body, folder);
    }
    return delivered ? COURIER_DONE : COURIER_NOT_DELIVERED;
}
