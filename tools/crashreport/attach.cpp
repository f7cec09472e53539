#include "attach.h"

#include "base64.h"
#include "crash_files.h"
#include "error_output.h"
#include "zip_writer.h"

namespace {

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

    AddFilesToZip(zip, folder, L"*.dmp", nullptr, 0, nullptr, 0, true);
    AddFilesToZip(zip, folder, L"*.log", nullptr, 0, nullptr, 0, true);
    AddFilesToZip(zip, folder, L"*.cfg", CONFIG_COMMENT_PREFIXES, 1, nullptr, 0, false);
    AddFileToZip(zip, "dxdiag.txt", folder + L"/dxdiag.txt", nullptr, 0, DXDIAG_MASK_KEYS, 1, false);

    bool finished = FinishZipWriter(zip);
    if (!finished)
        PrintError("Error: Could not finalize zip");

    bool attached = AppendBodyText(body, "&Zip=");
    if (finished) {
        // A body without room even for "&Zip=" loses the archive the same way.
        bool fits = attached && MinimumEncodedLength(zip.archive.size()) < ReportBodyRoom(body);
        if (fits) {
            std::string text;
            Base64Encode(text, zip.archive.data(), zip.archive.size(), 0);
            fits = AppendEncodedValue(body, text.c_str());
        }
        if (!fits)
            PrintError("Error: Zip of %u bytes does not fit the report; sent without it\n",
                       static_cast<unsigned>(zip.archive.size()));
    }

    if (!EndZipWriter(zip))
        PrintError("Error: Could not end zip");
    return attached;
}
