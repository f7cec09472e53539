// The interface archive "launcher.zip" and the rules that serve it under the
// interface's origin "http://launcher/".
//
// The archive is read into memory once, when the browser client is made;
// requests are answered from it on the runtime's IO thread while the user-
// interface thread may release it (when the browsers close), so a lookup
// takes its own reference under a lock and the entry's data outlives both.
#pragma once

#include "zip_archive.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

constexpr char LAUNCHER_URL_PREFIX_NARROW[] = "http://launcher/";
constexpr wchar_t LAUNCHER_UI_ARCHIVE[] = L"launcher.zip";

// The MIME type the runtime gives an extension ("" when it knows none).
using MimeTypeLookup = std::string (*)(const std::string& extension);

// The entry name a URL asks for: the text after "http://launcher/", cut at
// its first "?", used as it stands (no percent-decoding, no "../" removal).
// Nothing for a URL of another origin.
std::optional<std::string> ArchiveEntryName(std::string_view url);

// The text after the URL's last "." (the whole URL without one), cut at "?".
std::string UrlExtension(std::string_view url);

// How one entry is answered: status 200 with the whole entry, or 206 from
// the start of a "Range" header's first range to the entry's end (a range
// end is not looked at). A range that starts before 0 or at or past the end
// is answered with the whole entry and status 200.
struct ArchiveResponse {
    int status = 200;
    const wchar_t* statusText = L"OK";
    int64_t start = 0;
    int64_t length = 0;
    std::string contentRange; // "bytes 500-1999/2000"; empty with status 200
};
ArchiveResponse PlanArchiveResponse(int64_t size, const std::optional<std::string>& rangeHeader);
// The answer to a request of the interface's origin that nothing matches:
// status 404 with a body of that size. Such a request never goes to the
// network, where the host name "launcher" would be looked up.
ArchiveResponse NotFoundResponse(int64_t size);

struct ServedEntry {
    ArchiveEntryData data;
    std::string mimeType;
};

class InterfaceArchive {
  public:
    // Reads the whole file with one read and unpacks its entries; a missing,
    // unreadable or empty file leaves no archive.
    void LoadFile(const std::wstring& path);
    // Unpacks an archive held in memory (the file's bytes).
    void LoadBytes(std::string bytes);
    void Release();
    bool Loaded() const;

    // The entry a URL of the interface's origin asks for, with its MIME
    // type; nothing for another origin, a missing entry or an extension the
    // lookup does not know.
    std::optional<ServedEntry> Lookup(std::string_view url, MimeTypeLookup mimeType) const;

  private:
    mutable std::mutex lock_;
    std::shared_ptr<const ZipArchive> archive_;
};
