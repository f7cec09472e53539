// Removal of a crash folder once its report is done.
#pragma once

#include <string>

// Deletes folder and everything below it. Junctions and symbolic links are
// removed as links: what they point to is never entered or deleted. An
// entry whose real location cannot be read stays, as does a file that cannot
// be deleted, and so do the folders above them; nothing is reported.
void DeleteDirectoryTree(const std::wstring& folder);
