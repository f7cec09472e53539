#include "held_folder.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <memory>

namespace {

constexpr DWORD LISTING_BUFFER_SIZE = 64 * 1024;
constexpr DWORD FINAL_PATH_SIZE = 32 * 1024;

// FileDispositionInfoEx and its flags, newer than the headers at hand.
constexpr auto FILE_DISPOSITION_INFO_EX_CLASS = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD DISPOSITION_DELETE = 0x1;
constexpr DWORD DISPOSITION_POSIX_SEMANTICS = 0x2;
struct DispositionInfoEx {
    DWORD flags;
};

bool IsDotEntry(const wchar_t* name, size_t length)
{
    return (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
}

} // namespace

HANDLE OpenHeldFolder(const std::wstring& path)
{
    HANDLE folder =
        CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return folder == INVALID_HANDLE_VALUE ? nullptr : folder;
}

std::wstring FinalPathOf(HANDLE handle, DWORD volumeFlag, DWORD& error)
{
    std::wstring path(FINAL_PATH_SIZE, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, path.data(), FINAL_PATH_SIZE, FILE_NAME_NORMALIZED | volumeFlag);
    if (length == 0 || length >= FINAL_PATH_SIZE) {
        error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return std::wstring();
    }
    path.resize(length);
    return path;
}

bool InformationOf(HANDLE handle, FolderEntry& information, DWORD& error)
{
    BY_HANDLE_FILE_INFORMATION read;
    if (!GetFileInformationByHandle(handle, &read)) {
        error = GetLastError();
        return false;
    }
    information.attributes = read.dwFileAttributes;
    information.fileId = (static_cast<ULONGLONG>(read.nFileIndexHigh) << 32) | read.nFileIndexLow;
    return true;
}

bool ListHeldFolder(HANDLE folder, std::vector<FolderEntry>& entries, DWORD& error)
{
    // FILE_ID_BOTH_DIR_INFO holds 64-bit fields.
    std::unique_ptr<ULONGLONG[]> buffer(new ULONGLONG[LISTING_BUFFER_SIZE / sizeof(ULONGLONG)]);
    FILE_INFO_BY_HANDLE_CLASS batch = FileIdBothDirectoryRestartInfo; // from the first entry
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, batch, buffer.get(), LISTING_BUFFER_SIZE)) {
            error = GetLastError();
            return error == ERROR_NO_MORE_FILES;
        }
        batch = FileIdBothDirectoryInfo;
        const BYTE* at = reinterpret_cast<const BYTE*>(buffer.get());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            size_t length = entry->FileNameLength / sizeof(wchar_t);
            if (!IsDotEntry(entry->FileName, length))
                entries.push_back({std::wstring(entry->FileName, length), entry->FileAttributes,
                                   static_cast<ULONGLONG>(entry->FileId.QuadPart)});
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

HANDLE OpenHeldEntry(HANDLE folder, const std::wstring& name, DWORD& error)
{
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos) {
        error = ERROR_INVALID_NAME; // not one entry of the folder
        return nullptr;
    }
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE entry = nullptr;
    NTSTATUS status =
        NtCreateFile(&entry, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        error = RtlNtStatusToDosError(status);
        return nullptr;
    }
    return entry;
}

bool MarkForDeletion(HANDLE handle, DWORD& error)
{
    DispositionInfoEx posix = {DISPOSITION_DELETE | DISPOSITION_POSIX_SEMANTICS};
    if (SetFileInformationByHandle(handle, FILE_DISPOSITION_INFO_EX_CLASS, &posix, sizeof(posix)))
        return true;
    error = GetLastError();
    // Older systems and other file systems know only the plain disposition.
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION)
        return false;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)))
        return true;
    error = GetLastError();
    return false;
}
