// Browser-runtime files that an update could not replace while they were in
// use are staged beside their originals as "<name>.cpy"; the next start moves
// them over the originals before the runtime is loaded.
#pragma once

#include <string>

// The browser runtime folder for the executable at exePath, with a trailing
// "\": the executable's folder (or, below a "\Code\" folder, the "\Tools\"
// folder beside it) followed by "CEF3_1\".
std::wstring BrowserRuntimeFolderFor(const wchar_t* exePath);

// Installs the staged files of the runtime folder of the running executable.
void InstallStagedFiles();

// Installs every staged file below folder (with a trailing "\"), sub-folders
// included; hidden and system entries are left alone. The first file that
// cannot be moved sets a fatal StepError and ends the installation; the rest
// stay for a later start. Returns the number of files installed.
int InstallStagedFilesIn(const std::wstring& folder);
