// The launcher's own folders: the product folder in the user's local
// application data and the tools folder that FaultCourier and the debug-help
// library are taken from. Both are resolved on first use and cached for the
// rest of the run (plain globals: the first call happens at start-up or in
// the crash path, never from two threads at once).
#pragma once

#include <cstddef>

// "<local application data>\Vantorel", without a trailing separator; "."
// when the shell cannot name the local application data folder. The product
// folder is created on first use when it is missing, so that the log and the
// crash folders below it can be made on a fresh machine.
const wchar_t* GetLocalDataFolder();

// False when the shell could not name the local application data folder (so
// GetLocalDataFolder gave "."): the log and the single-instance mutex then do
// without it.
bool LocalDataFolderKnown();

// The folder of the running executable with a trailing "\"; a launcher run
// from a build tree's "...\Code\Tools" folder uses the tree's "...\Tools\"
// instead. ".\" when the executable's path cannot be read.
const wchar_t* GetToolsFolder();

// The tools-folder rule on its own: dst (260 characters) receives the tools
// folder for an executable at modulePath (a full, long path). Returns the
// length written.
size_t ToolsFolderForModule(wchar_t* dst, const wchar_t* modulePath);
