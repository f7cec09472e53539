// Where the launcher keeps its own downloaded files.
#pragma once

#include <string>

// Local path of a launcher file given by its manifest path ("/" separators,
// e.g. "/Tools/Launcher.exe"): the user's local application data folder,
// "\Vantorel\Downloaded\" and the current cluster's branch folder ("Public",
// "Test", "Dev"), followed by the path with every "/" turned into "\". In
// SingleClusterMode the download folder takes the branch folder's place.
// Empty when the local application data folder cannot be found.
std::wstring GetDownloadedFilePath(const wchar_t* relativePath);
