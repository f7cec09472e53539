// A folder held open by its handle, and its entries reached only through
// that handle: the platform side of a crash folder's deletion.
//
// A path is looked up again at every use: between a check and a deletion
// any folder above the one checked may have been turned into a link, a
// junction or a mount point, or renamed (a held handle does not stop that
// on shares, nor under Wine). So the folder is opened once, and each of its
// entries is opened relative to that handle, never following a reparse
// point, and deleted through its own handle; the folder itself is removed
// through the handle it was checked by.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// An entry of a folder, or an open file: its attributes and the file it is.
struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
    ULONGLONG fileId = 0; // 0 where the file system gives none
};

// Opens path as a folder to check and delete: for listing, attributes and
// deletion, shared for reading and writing only, and a link or junction
// itself rather than where it leads. Null (GetLastError says why) when it
// cannot be opened.
HANDLE OpenHeldFolder(const std::wstring& path);

// What the system names the open file or folder, in the form of
// GetFinalPathNameByHandle's volumeFlag (VOLUME_NAME_DOS gives "\\?\C:\x" or
// "\\?\UNC\host\share\x", VOLUME_NAME_NONE the path within its volume, "\"
// for its root). Empty, with error set, when it has no such name.
std::wstring FinalPathOf(HANDLE handle, DWORD volumeFlag, DWORD& error);

// The attributes and file id of the open file or folder (no name). False,
// with error set, when they cannot be read.
bool InformationOf(HANDLE handle, FolderEntry& information, DWORD& error);

// Every entry of the held folder but "." and "..", as the folder lists them
// now (a link listed as a link, where an open handle may have followed it).
// False, with error set, when the listing failed.
bool ListHeldFolder(HANDLE folder, std::vector<FolderEntry>& entries, DWORD& error);

// Opens the entry name (one name, no separator) of the held folder, relative
// to its handle and not followed when it is a reparse point, for reading its
// attributes and deleting it. Null with error set (ERROR_FILE_NOT_FOUND when
// there is no such entry).
HANDLE OpenHeldEntry(HANDLE folder, const std::wstring& name, DWORD& error);

// Marks the open file, or empty folder, for deletion: its name goes when its
// last handle closes (at once, where the system can, even while others hold
// it). A read-only file is not deleted. False with error set when it cannot
// be deleted (ERROR_DIR_NOT_EMPTY for a folder that holds entries).
bool MarkForDeletion(HANDLE handle, DWORD& error);
