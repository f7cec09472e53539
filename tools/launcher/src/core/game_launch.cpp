#include "game_launch.h"

#include "clusters.h"
#include "command_line.h"
#include "downloaded_path.h"
#include "launcher_settings.h"
#include "log.h"
#include "machine/platform_step.h"
#include "process/child_environment.h"
#include "settings_store.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "strings.h"
#include "text_table.h"

#include <wincrypt.h>

#include <cwctype>

bool LaunchedModes[2] = {false, false};

namespace {

constexpr size_t RELAUNCH_TEXT_CAPACITY = 520;
constexpr size_t RELAUNCH_BASE64_CAPACITY = 1040;
constexpr LONGLONG MAX_CONFIG_FILE_SIZE = 512;

struct GameProcess {
    UniqueHandle process;
    UniqueHandle thread;
};

// The processes started by the current call; emptied when it ends.
std::vector<GameProcess> GameProcesses;

// The bounded command-line buffer: pieces that do not fit are cut.
void Append(std::wstring& line, const std::wstring& piece)
{
    size_t room = GAME_COMMAND_LINE_CAPACITY - 1 - std::min(line.size(), GAME_COMMAND_LINE_CAPACITY - 1);
    line.append(piece, 0, std::min(room, piece.size()));
}

std::wstring Format(const wchar_t* format, int value)
{
    wchar_t text[64] = {};
    FormatString(text, 64, format, value);
    return text;
}

// " -relaunch:" with the Base64 of the downloaded launcher's quoted path and
// the arguments; empty when it cannot be encoded in its buffer.
std::wstring RelaunchOption(const std::wstring& arguments)
{
    std::wstring text = L"\"" + GetDownloadedFilePath(L"/Tools/Launcher.exe") + L"\" " + arguments;
    if (text.size() > RELAUNCH_TEXT_CAPACITY - 1)
        text.resize(RELAUNCH_TEXT_CAPACITY - 1);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD needed = 0;
    if (!CryptBinaryToStringW(bytes, size, flags, nullptr, &needed) || needed > RELAUNCH_BASE64_CAPACITY)
        return L"";
    wchar_t encoded[RELAUNCH_BASE64_CAPACITY] = {};
    DWORD length = RELAUNCH_BASE64_CAPACITY;
    if (!CryptBinaryToStringW(bytes, size, flags, encoded, &length))
        return L"";
    return std::wstring(L" -relaunch:") + encoded;
}

bool IsDecimalDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Server count and settings name from "-dedicated:".
void ReadDedicatedOption(const std::wstring& arguments, uint64_t& count, std::wstring& settingsName)
{
    count = 1;
    settingsName.clear();
    size_t at = arguments.find(L"-dedicated:");
    if (at == std::wstring::npos)
        return;
    size_t start = at + wcslen(L"-dedicated:");
    size_t end = arguments.find(L' ', start);
    std::wstring value =
        arguments.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    uint64_t number = 0;
    for (size_t i = 0; i < value.size() && IsDecimalDigit(value[i]); ++i)
        number = std::min<uint64_t>(number * 10 + (value[i] - L'0'), 1000000);
    if (number != 0) {
        count = number;
        size_t comma = value.find(L',');
        if (comma != std::wstring::npos)
            settingsName = value.substr(comma + 1);
    } else {
        settingsName = value;
    }
    if (ServerCluster == SC_PUBLIC && count > MAX_CONFIG_PROCESSES)
        count = MAX_CONFIG_PROCESSES;
}

// Entries of the "-dscfg:" file (headless only); configName is the name
// given.
int ReadConfigOption(const std::wstring& arguments, std::wstring& configName,
                     DedicatedServerConfigEntry* entries)
{
    configName.clear();
    if (!HeadlessMode)
        return 0;
    size_t at = arguments.find(L"-dscfg:");
    if (at == std::wstring::npos)
        return 0;
    size_t start = at + wcslen(L"-dscfg:");
    size_t end = arguments.find(L' ', start);
    configName = arguments.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    UniqueHandle file = OpenDedicatedServerConfig(configName.c_str());
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart >= MAX_CONFIG_FILE_SIZE)
        return 0;
    char text[MAX_CONFIG_FILE_SIZE] = {};
    DWORD read = 0;
    if (!ReadFile(file.Get(), text, static_cast<DWORD>(size.QuadPart), &read, nullptr))
        return 0;
    return ParseDedicatedServerConfig(text, read, entries);
}

std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            if (c < 0x20) {
                wchar_t escaped[8] = {};
                FormatString(escaped, 8, L"\\u%04X", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

// The main window that a failure is reported to, and the step page (if
// window is one) that the report names.
HWND MainWindowOf(HWND window)
{
    HWND root = window ? GetAncestor(window, GA_ROOTOWNER) : nullptr;
    return root ? root : window;
}

} // namespace

const wchar_t* GraphicsDriverName(int graphicsApi)
{
    switch (graphicsApi) {
    case 0:
        return L"dx10";
    case 2:
        return L"dx12";
    default:
        return L"dx11";
    }
}

std::wstring GetLauncherArguments(const wchar_t* commandLine)
{
    const wchar_t* p = SkipProgramName(commandLine);
    while (*p == L' ' || *p == L'\t')
        ++p;
    // The blank in front lets "-relaunched" match as the first argument too.
    std::wstring arguments = std::wstring(L" ") + p;
    size_t at = arguments.find(L" -relaunched");
    if (at != std::wstring::npos)
        arguments.erase(at, wcslen(L" -relaunched"));
    size_t first = arguments.find_first_not_of(L" \t");
    return first == std::wstring::npos ? L"" : arguments.substr(first);
}

std::wstring BuildOverrideObject(const DedicatedServerOptions& options)
{
    std::wstring items;
    auto add = [&items](const std::wstring& item) {
        if (!items.empty())
            items += L",";
        items += item;
    };
    if (options.missionId)
        add(L"\"missionId\":" +
            std::wstring(options.missionId, options.missionId + strlen(options.missionId)));
    if (options.clanOnly)
        add(L"\"clanOnly\":true");
    if (options.altPvpMode)
        add(L"\"altPvpMode\":true");
    if (!options.motd.empty())
        add(L"\"motd\":" + JsonString(options.motd));
    return L"{" + items + L"}";
}

void NumberServerCommandLine(std::wstring& commandLine, int index)
{
    wchar_t digits[2] = {static_cast<wchar_t>(L'0' + index / 10 % 10),
                         static_cast<wchar_t>(L'0' + index % 10)};
    for (const wchar_t* marker : {L"-log:DedicatedServer", L"-instance:"}) {
        size_t at = commandLine.find(marker);
        if (at == std::wstring::npos)
            continue;
        at += wcslen(marker);
        for (size_t i = 0; i < 2 && at + i < commandLine.size(); ++i)
            commandLine[at + i] = digits[i];
    }
}

std::vector<std::wstring> BuildLaunchCommandLines(int mode, const DedicatedServerOptions* options)
{
    std::wstring line;
    Append(line, L"\"" + GetGameExePath() + L"\"");
    Append(line, Format(L" -fullscreen:%d", EnableFullScreen ? 1 : 0));
    Append(line, std::wstring(L" -graphicsDriver:") + GraphicsDriverName(GraphicsAPI));
    Append(line, Format(L" -threadedworker:%d", MTRenderingSupported && EnableMTRendering ? 1 : 0));
    Append(line, GetClusterGameOption(ServerCluster));
    Append(line, std::wstring(L" -language:") + LanguageCodeFromIndex(LanguageIndex));
    if (!ClientType.empty())
        Append(line, L" -clienttype:" + ClientType);
    if (LaunchedModes[LAUNCH_GAME] || LaunchedModes[LAUNCH_DEDICATED])
        Append(line, L" -allowmultiple");
    Append(line, Format(L" -deferred:%d", EnableDeferred ? 1 : 0));

    std::wstring arguments = GetLauncherArguments(GetLauncherCommandLine());
    uint64_t count = 1;
    std::wstring settingsName;
    std::wstring configName;
    DedicatedServerConfigEntry entries[MAX_CONFIG_ENTRIES];
    int entryCount = 0;
    if (mode == LAUNCH_DEDICATED) {
        ReadDedicatedOption(arguments, count, settingsName);
        entryCount = ReadConfigOption(arguments, configName, entries);
        if (entryCount > 0) {
            count = 1;
            for (int i = 0; i < entryCount; ++i)
                count += std::min<uint64_t>(entries[i].instanceCount, 1000000);
        }
    }

    Append(line, RelaunchOption(arguments));
    if (arguments.find(L"-onlive") != std::wstring::npos)
        Append(line, L" -onlive");

    if (mode != LAUNCH_DEDICATED)
        return {line};

    Append(line, count < 2 ? L" -allowmultiple -log:DedicatedServer.log"
                           : L" -allowmultiple -log:DedicatedServer00.log");
    Append(line, L" -applet:/Ornix/Types/Game/DedicatedServer");
    Append(line, L" /Ornix/Types/GameRules/DefaultDedicatedServerSettings");
    if (count > 1)
        Append(line, L" -instance:00");
    if (options)
        Append(line, L" -override:" + BuildOverrideObject(*options));
    if (!settingsName.empty() && entryCount == 0)
        Append(line, L" -settings:" + settingsName);

    std::vector<std::wstring> lines;
    if (entryCount > 0) {
        if (!configName.empty())
            Append(line, L" -dscfg:" + configName);
        for (int i = 0; i < entryCount && lines.size() < MAX_CONFIG_PROCESSES; ++i) {
            std::wstring entryLine = line;
            Append(entryLine, std::wstring(L" -settings:") + entries[i].settingsName);
            for (uint64_t n = 0; n < entries[i].instanceCount && lines.size() < MAX_CONFIG_PROCESSES; ++n)
                lines.push_back(entryLine);
        }
    } else {
        // Process numbers have two digits and the servers of one machine
        // are few: beyond the limit nothing more is started.
        for (uint64_t n = 0; n < count && n < MAX_SERVER_PROCESSES; ++n)
            lines.push_back(line);
    }
    for (size_t i = 1; i < lines.size(); ++i)
        NumberServerCommandLine(lines[i], static_cast<int>(i));
    return lines;
}

bool StartGameProcess(HWND window, const std::wstring& commandLine, int index, int mode)
{
    // The same block the applets get: without the launcher's own layer
    // switches, with the install's tools folder on PATH.
    EnvironmentBlock environment;
    BuildChildEnvironment(environment);
    std::wstring line = commandLine;
    if (mode == LAUNCH_DEDICATED && index != 0)
        NumberServerCommandLine(line, index);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT | NORMAL_PRIORITY_CLASS, environment.data(),
                       folder[0] ? folder : nullptr, &startup, &info)) {
        GameProcesses.push_back({UniqueHandle(info.hProcess), UniqueHandle(info.hThread)});
        return true;
    }
    std::wstring reason;
    AppendSystemErrorText(reason, GetLastError(), 1033);
    LogPrintf(L"Could not start %s: %s\n", line.c_str(), reason.c_str());
    SetStepErrorKey("NO_EXECUTABLE", false);
    HWND main = MainWindowOf(window);
    // A report from the current step's page names it; one from a dialog
    // applies whatever the current step.
    HWND page =
        window != main && GetParent(window) == main && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)
            ? window
            : nullptr;
    PostStepFailed(main, page, CHAIN_RETRY_PROMPT);
    return false;
}

void LaunchGame(HWND window, int mode, const DedicatedServerOptions* options)
{
    if (mode != LAUNCH_GAME && mode != LAUNCH_DEDICATED)
        return;
    if (LaunchedModes[mode])
        return;
    std::vector<std::wstring> lines = BuildLaunchCommandLines(mode, options);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!StartGameProcess(window, lines[i], static_cast<int>(i), mode)) {
            // The processes already started run on; their handles go.
            GameProcesses.clear();
            return;
        }
    }
    LaunchedModes[mode] = true;
    GameProcesses.clear();
    if (mode == LAUNCH_GAME || HeadlessMode)
        PostQuitMessage(0);
}

UniqueHandle OpenDedicatedServerConfig(const wchar_t* name)
{
    const std::wstring& install = GetClusterInstallDir(ServerCluster);
    for (const std::wstring& path :
         {std::wstring(name), install + L"\\" + name, install + L"\\Tools\\" + name}) {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return file;
    }
    return UniqueHandle();
}

int ParseDedicatedServerConfig(const char* text, size_t length, DedicatedServerConfigEntry* entries)
{
    int current = 0;
    bool open = false;
    size_t i = 0;
    auto isEnd = [](char c) { return c == '\n' || c == '\r' || c == '"'; };
    while (i < length && text[i] != '\0') {
        char c = text[i];
        if (c == '\n' || c == '\r' || c == ',') {
            ++i;
            if (open) {
                open = false;
                if (++current >= MAX_CONFIG_ENTRIES)
                    break;
            }
            continue;
        }
        if (c == '"') {
            size_t end = i + 2;
            while (end < length && text[end] != '\0' && !isEnd(text[end]))
                ++end;
            if (end >= length || text[end] == '\0') {
                ++i; // no end: the quote is skipped
                continue;
            }
            size_t nameLength = end - (i + 1);
            if (nameLength <= 62) {
                DedicatedServerConfigEntry& entry = entries[current];
                int written = MultiByteToWideChar(CP_ACP, 0, text + i + 1, static_cast<int>(nameLength),
                                                  entry.settingsName, 63);
                entry.settingsName[written > 0 ? written : 0] = L'\0';
                open = true;
            }
            i = end + 1;
            continue;
        }
        if (c >= '0' && c <= '9') {
            uint64_t& count = entries[current].instanceCount;
            count = std::min<uint64_t>(count * 10 + (c - '0'), 1000000);
        }
        ++i;
    }
    return current + (open ? 1 : 0);
}

void ResetGameLaunchForTest()
{
    LaunchedModes[LAUNCH_GAME] = false;
    LaunchedModes[LAUNCH_DEDICATED] = false;
    GameProcesses.clear();
}
