// The environment block of the game's executable, whether it starts as an
// applet, as the game or as a dedicated server: the launcher's own
// environment without the two Vulkan-layer switches the launcher sets for
// itself, with the install's folder of 64-bit tools appended to PATH.
#pragma once

#include <string>
#include <vector>

// A block in the CREATE_UNICODE_ENVIRONMENT form: "name=value" entries, each
// followed by a zero, and one more zero at the end.
using EnvironmentBlock = std::vector<wchar_t>;

// The block may hold at most this many characters before its final zero.
constexpr size_t ENVIRONMENT_BLOCK_LIMIT = 32767;

// The current cluster's install folder and "\Tools\Windows\x64".
std::wstring GetChildToolsFolder();

// Appends the block made from source (a block of the launcher's form, or
// null) to out. With forcePath the PATH entry becomes the tools folder
// alone. A block that would pass the limit, or an empty one, becomes the
// single entry "PATH=" and the tools folder.
void AppendChildEnvironment(const wchar_t* source, const std::wstring& toolsFolder, bool forcePath,
                            EnvironmentBlock& out);

// The block for the launcher's current environment, tools folder and
// command line ("-force:path"), appended to out.
void BuildChildEnvironment(EnvironmentBlock& out);
