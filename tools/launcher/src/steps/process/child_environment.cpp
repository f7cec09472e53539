#include "child_environment.h"

#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "log.h"

#include <windows.h>

#include <cwchar>

namespace {

// PATH values longer than this cannot be stored back in the registry.
constexpr size_t PATH_ENTRY_WARNING = 2047;

const wchar_t* const RemovedVariables[] = {
    L"DISABLE_VK_LAYER_VALVE_steam_overlay_1=",
    L"DISABLE_VK_LAYER_VALVE_steam_fossilize_1=",
};

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix)
{
    return _wcsnicmp(text, prefix, wcslen(prefix)) == 0;
}

void AppendText(EnvironmentBlock& block, const wchar_t* text, size_t length)
{
    block.insert(block.end(), text, text + length);
}

void AppendText(EnvironmentBlock& block, const std::wstring& text)
{
    AppendText(block, text.data(), text.size());
}

bool IsRemovedVariable(const wchar_t* entry)
{
    for (const wchar_t* name : RemovedVariables) {
        if (StartsWithNoCase(entry, name))
            return true;
    }
    return false;
}

} // namespace

std::wstring GetChildToolsFolder()
{
    return GetClusterInstallDir(ServerCluster) + L"\\Tools\\Windows\\x64";
}

void AppendChildEnvironment(const wchar_t* source, const std::wstring& toolsFolder, bool forcePath,
                            EnvironmentBlock& out)
{
    EnvironmentBlock block;
    for (const wchar_t* entry = source; entry && *entry; entry += wcslen(entry) + 1) {
        size_t length = wcslen(entry);
        if (_wcsnicmp(entry, L"PATH=", 5) == 0) {
            if (forcePath) {
                LogWrite(L"Overriding system PATH environment variable value\n");
                AppendText(block, L"PATH=", 5);
            } else {
                if (length + 1 + toolsFolder.size() > PATH_ENTRY_WARNING)
                    LogWrite(L"PATH exceeded length of registry value limit.\n");
                AppendText(block, entry, length);
                block.push_back(L';');
            }
            AppendText(block, toolsFolder);
            block.push_back(L'\0');
        } else if (!IsRemovedVariable(entry)) {
            AppendText(block, entry, length);
            block.push_back(L'\0');
        }
    }
    if (block.size() > ENVIRONMENT_BLOCK_LIMIT) {
        LogWrite(L"Environment block overflow detected!\n");
        block.clear();
    }
    if (block.empty()) {
        AppendText(block, L"PATH=", 5);
        AppendText(block, toolsFolder);
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    out.insert(out.end(), block.begin(), block.end());
}

void BuildChildEnvironment(EnvironmentBlock& out)
{
    std::wstring toolsFolder = GetChildToolsFolder();
    bool forcePath = HasOption(L"-force:path");
    if (forcePath)
        LogWrite(L"Faking PATH overflow\n");
    wchar_t* strings = GetEnvironmentStringsW();
    AppendChildEnvironment(strings, toolsFolder, forcePath, out);
    if (strings)
        FreeEnvironmentStringsW(strings);
}
