#include "interface_archive.h"

#include "log.h"
#include "scoped_handles.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// No larger file is read: the entries may unpack to 512 MiB at most.
constexpr DWORD MAX_ARCHIVE_FILE_SIZE = 512u << 20;

} // namespace

std::optional<std::string> ArchiveEntryName(std::string_view url)
{
    std::string_view prefix = LAUNCHER_URL_PREFIX_NARROW;
    if (url.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    std::string_view name = url.substr(prefix.size());
    return std::string(name.substr(0, name.find('?')));
}

std::string UrlExtension(std::string_view url)
{
    size_t dot = url.rfind('.');
    std::string_view extension = dot == std::string_view::npos ? url : url.substr(dot + 1);
    return std::string(extension.substr(0, extension.find('?')));
}

ArchiveResponse PlanArchiveResponse(int64_t size, const std::optional<std::string>& rangeHeader)
{
    ArchiveResponse response;
    response.length = size;
    if (!rangeHeader)
        return response;
    size_t equals = rangeHeader->find('=');
    if (equals == std::string::npos)
        return response;
    int64_t start = std::strtoll(rangeHeader->c_str() + equals + 1, nullptr, 10);
    if (start < 0 || start >= size)
        return response;
    response.status = 206;
    response.start = start;
    response.length = size - start;
    response.contentRange =
        "bytes " + std::to_string(start) + "-" + std::to_string(size - 1) + "/" + std::to_string(size);
    return response;
}

ArchiveResponse NotFoundResponse(int64_t size)
{
    ArchiveResponse response;
    response.status = 404;
    response.statusText = L"Not Found";
    response.length = size;
    return response;
}

void InterfaceArchive::LoadFile(const std::wstring& path)
{
    std::string bytes;
    {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file.Get(), &info) ||
            (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0))
            return;
        if (info.nFileSizeHigh != 0 || info.nFileSizeLow > MAX_ARCHIVE_FILE_SIZE) {
            LogPrintf(L"The interface archive %s is too large to read\n", path.c_str());
            return;
        }
        try {
            bytes.resize(info.nFileSizeLow);
        } catch (const std::bad_alloc&) {
            LogPrintf(L"Not enough memory to read the interface archive %s\n", path.c_str());
            return;
        }
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data(), info.nFileSizeLow, &read, nullptr))
            return;
        bytes.resize(read);
    }
    LoadBytes(std::move(bytes));
}

void InterfaceArchive::LoadBytes(std::string bytes)
{
    if (bytes.empty())
        return;
    std::shared_ptr<ZipArchive> archive;
    try {
        archive = std::make_shared<ZipArchive>();
    } catch (const std::bad_alloc&) {
        LogWrite(L"Not enough memory to read the interface archive\n");
        return;
    }
    size_t kept = archive->Load(bytes.data(), bytes.size());
    if (!archive->Problem().empty())
        LogPrintf(L"The interface archive was read only in part (%S): %u entries kept\n",
                  archive->Problem().c_str(), static_cast<unsigned>(kept));
    std::lock_guard<std::mutex> guard(lock_);
    archive_ = std::move(archive);
}

void InterfaceArchive::Release()
{
    std::lock_guard<std::mutex> guard(lock_);
    archive_.reset();
}

bool InterfaceArchive::Loaded() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return archive_ != nullptr;
}

std::optional<ServedEntry> InterfaceArchive::Lookup(std::string_view url, MimeTypeLookup mimeType) const
{
    std::shared_ptr<const ZipArchive> archive;
    {
        std::lock_guard<std::mutex> guard(lock_);
        archive = archive_;
    }
    if (!archive)
        return std::nullopt;
    url = url.substr(0, url.find('?'));
    std::optional<std::string> name = ArchiveEntryName(url);
    if (!name)
        return std::nullopt;
    ArchiveEntryData data = archive->Find(*name);
    if (!data)
        return std::nullopt;
    std::string type = mimeType(UrlExtension(url));
    if (type.empty())
        return std::nullopt;
    return ServedEntry{std::move(data), std::move(type)};
}
