// The report's last field: the crash folder's files as a zip archive.
#pragma once

#include <string>

#include "report_body.h"

// Zips the crash files of folder ("*.dmp" and "*.log" whole, "*.cfg" without
// ";" comments, dxdiag.txt with its machine name masked) and appends "&Zip="
// with the archive, Base64- and URL-encoded. Zip failures print "Error: "
// texts and the report goes on with what resulted. An archive whose
// encoding does not fit the body is not sent at all (never a cut one): the
// field is then empty and an "Error: " line says so. Returns false only when
// not even "&Zip=" fits.
bool AttachCrashFiles(ReportBody& body, const std::wstring& folder);
