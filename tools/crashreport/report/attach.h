// The report's last field: the crash folder's files as a zip archive.
#pragma once

#include <string>

#include "report_body.h"

// Zips the crash files of folder ("*.dmp" and "*.log" whole, "*.cfg" without
// ";" comments, dxdiag.txt with its machine name masked) and appends "&Zip="
// with the archive, Base64- and URL-encoded. Zip failures print "Error: "
// texts and the report goes on with what resulted. Files are added while
// the archive's encoding still fits the body; a file that does not fit is
// left out with an "Error: " line and the next one is tried. An
// archive that does not fit all the same is not sent at all (never a cut
// one): the field is then empty. Returns false only when not even "&Zip="
// fits.
bool AttachCrashFiles(ReportBody& body, const std::wstring& folder);
