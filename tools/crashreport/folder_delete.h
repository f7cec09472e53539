// Removal of a crash folder once its report is done.
#pragma once

#include <string>

// Deletes folder and everything below it. Junctions and symbolic links are
// removed as links: what they point to is never entered or deleted. A file
// that cannot be deleted stays, and so do the folders above it; nothing is
// reported.
void DeleteDirectoryTree(const std::wstring& folder);
