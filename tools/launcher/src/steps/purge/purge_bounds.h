// The bound of every purge: a walk deletes only below the folder it started
// from. A link or junction inside that folder (a mods folder on another
// drive, say) may lead anywhere, so the walks never follow one, and they
// enter a folder only when its real location lies below the real location
// of their start.
#pragma once

#include <windows.h>

#include <string>

// The real location of a folder, as the file system resolves links and
// junctions: lower case, without a trailing "\"; empty when the folder cannot
// be opened or named.
std::wstring RealFolderPath(const std::wstring& folder);
// The same for a folder already open (any access).
std::wstring RealFolderPath(HANDLE folder);

// Whether real (a RealFolderPath) lies below root, not at it.
bool LiesBelowRoot(const std::wstring& real, const std::wstring& root);

// Whether a walk that started at root (a RealFolderPath) may enter or delete
// the item at path, listed with attributes: never a link or junction, of a
// file or of a folder; a folder only when its real location lies below root.
bool StaysBelowRoot(const std::wstring& path, DWORD attributes, const std::wstring& root);
