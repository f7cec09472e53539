// The bound of every purge: a walk deletes only below the folder it started
// from, and judges each file by where it really lies. A link or junction
// inside that folder (a mods folder on another drive, say) may lead
// anywhere, so the walks never follow one; and a folder that leads to
// another folder, even one inside the walk, would have that folder's files
// judged by the wrong path, so a walk enters a folder only when it really
// lies where its name says.
#pragma once

#include <windows.h>

#include <string>

// The real location of a folder, as the file system resolves links and
// junctions: in long form, lower case, without a trailing "\"; empty when
// the folder cannot be opened or named.
std::wstring RealFolderPath(const std::wstring& folder);
// The same for a folder already open (any access).
std::wstring RealFolderPath(HANDLE folder);

// Whether a listed item is a link or junction (of a file or a folder).
inline bool IsLinkItem(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether the folder listed as name (long form, as a listing gives it) in a
// folder that really lies at parentReal lies where that name says: its real
// location real is parentReal, "\" and name, ignoring letter case. False
// when either location is unknown (empty). A link need not be marked as
// one where it is listed, and a folder can be swapped for a link between
// its listing and its opening: such a folder is known only by where it
// leads.
bool LiesWhereNamed(const std::wstring& real, const std::wstring& parentReal, const std::wstring& name);
