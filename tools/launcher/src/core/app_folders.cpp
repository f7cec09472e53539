#include "app_folders.h"

#include "strings.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

namespace {

wchar_t LocalDataFolder[MAX_PATH] = {};
bool LocalDataFolderFound = false;
wchar_t ToolsFolder[MAX_PATH] = {};

constexpr wchar_t kProductFolder[] = L"\\Vantorel";
constexpr wchar_t kBuildTreeTools[] = L"\\Code\\Tools";

} // namespace

const wchar_t* GetLocalDataFolder()
{
    if (LocalDataFolder[0])
        return LocalDataFolder;
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, base))) {
        CopyString(LocalDataFolder, MAX_PATH, L".");
        return LocalDataFolder;
    }
    CopyString(LocalDataFolder, MAX_PATH, base);
    AppendString(LocalDataFolder, MAX_PATH, kProductFolder);
    LocalDataFolderFound = true;
    // Nothing else guarantees the product folder on a machine where the
    // launcher has not installed anything yet; the crash folders need it.
    CreateDirectoryW(LocalDataFolder, nullptr);
    return LocalDataFolder;
}

bool LocalDataFolderKnown()
{
    GetLocalDataFolder();
    return LocalDataFolderFound;
}

size_t ToolsFolderForModule(wchar_t* dst, const wchar_t* modulePath)
{
    wchar_t folder[MAX_PATH];
    size_t length = CopyDirectoryPart(folder, modulePath);
    const wchar_t* found = wcsstr(folder, kBuildTreeTools);
    const size_t markerLength = wcslen(kBuildTreeTools);
    if (found && static_cast<size_t>(found - folder) + markerLength == length) {
        folder[found - folder] = 0;
        CopyString(dst, MAX_PATH, folder);
        return AppendString(dst, MAX_PATH, L"\\Tools\\");
    }
    CopyString(dst, MAX_PATH, folder);
    return AppendString(dst, MAX_PATH, L"\\");
}

const wchar_t* GetToolsFolder()
{
    if (ToolsFolder[0])
        return ToolsFolder;
    CopyString(ToolsFolder, MAX_PATH, L".\\");
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ToolsFolder;
    wchar_t resolved[MAX_PATH];
    length = GetFullPathNameW(path, MAX_PATH, resolved, nullptr);
    if (length > 0 && length < MAX_PATH)
        CopyString(path, MAX_PATH, resolved);
    length = GetLongPathNameW(path, resolved, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        CopyString(path, MAX_PATH, resolved);
    ToolsFolderForModule(ToolsFolder, path);
    return ToolsFolder;
}
