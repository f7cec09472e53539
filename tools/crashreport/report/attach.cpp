#include "attach.h"

#include "base64.h"
#include "crash_files.h"
#include "error_output.h"
#include "zip_writer.h"

#include <cstring>
#include <new>

namespace {

const char ZIP_FIELD[] = "&Zip=";
const char* const CONFIG_COMMENT_PREFIXES[] = {";"};
const char* const DXDIAG_MASK_KEYS[] = {"Machine name: "};

// Characters that the URL encoding of Base64 text of size bytes needs at
// least (every character, before "+", "/" and "=" grow to three).
size_t MinimumEncodedLength(size_t size)
{
    return 4 * ((size + 2) / 3);
}

} // namespace

bool AttachCrashFiles(ReportBody& body, const std::wstring& folder)
{
    ZipWriter zip;
    if (!StartZipWriter(zip, ReportBodyRoom(body)))
        PrintError("Error: Could not initialize zip");
    const size_t fieldNameLength = strlen(ZIP_FIELD);
    zip.encodedRoom = ReportBodyRoom(body) > fieldNameLength ? ReportBodyRoom(body) - fieldNameLength : 0;

    AddFilesToZip(zip, folder, L"*.dmp", nullptr, 0, nullptr, 0, true);
    AddFilesToZip(zip, folder, L"*.log", nullptr, 0, nullptr, 0, true);
    AddFilesToZip(zip, folder, L"*.cfg", CONFIG_COMMENT_PREFIXES, 1, nullptr, 0, false);
    try {
        AddFileToZip(zip, "dxdiag.txt", folder + L"/dxdiag.txt", nullptr, 0, DXDIAG_MASK_KEYS, 1, false);
    } catch (const std::bad_alloc&) {
        PrintError("Error: Could not attach to zip");
    }

    bool finished = FinishZipWriter(zip);
    if (!finished)
        PrintError("Error: Could not finalize zip");

    bool attached = AppendBodyText(body, ZIP_FIELD);
    if (finished) {
        // A body without room even for "&Zip=" loses the archive the same way.
        bool fits = attached && MinimumEncodedLength(zip.archive.size()) < ReportBodyRoom(body);
        if (fits) {
            try {
                std::string text;
                Base64Encode(text, zip.archive.data(), zip.archive.size(), 0);
                fits = AppendEncodedValue(body, text.c_str());
            } catch (const std::bad_alloc&) {
                fits = false;
            }
        }
        if (!fits)
            PrintError("Error: Zip of %u bytes does not fit the report; sent without it\n",
                       static_cast<unsigned>(zip.archive.size()));
    }

    if (!EndZipWriter(zip))
        PrintError("Error: Could not end zip");
    return attached;
}
