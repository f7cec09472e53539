// Stand-in for the game's executable, built as Vantorel.x64.exe. Tests and
// the demo copy it into a cluster's install folder and let the launcher
// start it as an applet, as the game or as a dedicated server.
//
// Record. When VANTOREL_STANDIN_RECORD names a file, every start appends one
// block to it (UTF-8, one write, so processes started side by side do not
// interleave):
//     command=<the whole command line>
//     folder=<the working folder>
//     env=<NAME=VALUE>            one line per environment entry, in order
//     end
//
// Log. A "-log:NAME" option (a leading "/" is dropped, as in "-log:/Repair.log")
// makes it write "<folder of the executable>\NAME" with one line.
//
// Script. VANTOREL_STANDIN holds commands separated by ";", run in order;
// each is "name" or "name:argument". In arguments "\n", "\r", "\0", "\;",
// "\\" and "\xHH" stand for line feed, carriage return, a zero byte, ";",
// "\" and the byte HH; other text is written as UTF-8.
//     out:TEXT          one write of TEXT and CR LF to standard output
//     err:TEXT          the same to standard error
//     raw:TEXT          one write of TEXT alone (several make split writes)
//     flood:BYTES[,N[,W]] BYTES bytes of "x" in W-byte writes (4096 unless
//                       given); with N > 0 every N-th byte is a line feed
//                       (N = 0: one endless line)
//     title:TEXT        sets the title of its top-level window, made hidden on
//                       first use (for example "Repair 45%" or
//                       "Preprocess 12/100 12%")
//     owned:TEXT        a second top-level window, owned by the first
//     sleep:MS          waits MS ms, serving its windows; when the semaphore
//                       "SoakStop" is released meanwhile, writes "SoakStop
//                       received" and CR LF to standard output and exits with
//                       the stop code
//     ignorestop        later sleeps do not watch "SoakStop"
//     stopcode:N        exit code of a stop through "SoakStop" (default 0)
//     grandchild:MS     starts another copy of itself that inherits the
//                       standard handles and holds them for MS ms, ignoring
//                       "SoakStop" and recording nothing
//     files             writes "QX.log" and "QX.cfg" in "%LOCALAPPDATA%\Vantorel"
//     game:MS           the game: holds the game-running mutex (the folder of
//                       the executable and "\", each "\" replaced by "_"),
//                       writes the files above and shows a window "Vantorel"
//                       until it is closed or MS ms have passed (0: no limit)
//     exit:N            exits at once with N (decimal, or hexadecimal after
//                       "0x", for example 0xC000007B)
// The script's end exits with 0. Numbers are decimal unless they begin "0x".
//
// Without VANTOREL_STANDIN the command line chooses: the repair applet
// ("CacheRepair") prints its success line, the content applet (ContentUpdate
// without " clean") its title, success and wasted-space lines, any other
// "-applet:" exits 0 at once, and no "-applet:" runs the script in
// VANTOREL_STANDIN_GAME, or "game:0" without one.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                            nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::wstring EnvVar(const wchar_t* name)
{
    wchar_t buffer[32768];
    DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

unsigned long long Number(const std::string& text)
{
    return std::strtoull(text.c_str(), nullptr, text.rfind("0x", 0) == 0 ? 16 : 10);
}

bool AppendToFile(const std::wstring& path, const std::string& bytes, bool append)
{
    HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

void WriteRecord()
{
    std::wstring path = EnvVar(L"VANTOREL_STANDIN_RECORD");
    if (path.empty())
        return;
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::string record = "command=" + Utf8(GetCommandLineW()) + "\nfolder=" + Utf8(folder) + "\n";
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1)
            record += "env=" + Utf8(entry) + "\n";
        FreeEnvironmentStringsW(block);
    }
    record += "end\n";
    AppendToFile(path, record, true);
}

void WriteAppletLog()
{
    const wchar_t* option = wcsstr(GetCommandLineW(), L"-log:");
    if (!option)
        return;
    std::wstring name = option + 5;
    name = name.substr(0, name.find(L' '));
    if (!name.empty() && name[0] == L'/')
        name.erase(0, 1);
    if (!name.empty())
        AppendToFile(ExeFolder() + L"\\" + name, "Vantorel stand-in log\r\n", false);
}

// One command of the script, its argument unescaped into bytes.
struct Command {
    std::string name;
    std::string argument;
};

std::vector<Command> ParseScript(const std::wstring& script)
{
    std::vector<Command> commands;
    Command current;
    std::string* field = &current.name;
    std::string utf8 = Utf8(script);
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == ';') {
            if (!current.name.empty())
                commands.push_back(current);
            current = Command();
            field = &current.name;
        } else if (c == ':' && field == &current.name) {
            field = &current.argument;
        } else if (c == '\\' && i + 1 < utf8.size()) {
            char e = utf8[++i];
            if (e == 'n')
                field->push_back('\n');
            else if (e == 'r')
                field->push_back('\r');
            else if (e == '0')
                field->push_back('\0');
            else if (e == 'x' && i + 2 < utf8.size()) {
                field->push_back(static_cast<char>(std::strtoul(utf8.substr(i + 1, 2).c_str(), nullptr, 16)));
                i += 2;
            } else
                field->push_back(e);
        } else {
            field->push_back(c);
        }
    }
    if (!current.name.empty())
        commands.push_back(current);
    return commands;
}

std::wstring DefaultScript()
{
    std::wstring commandLine = GetCommandLineW();
    if (commandLine.find(L"-applet:/QX/Types/Framework/CacheRepair") != std::wstring::npos)
        return L"title:Repair 100%;out:Cache repair succeeded";
    size_t content = commandLine.find(L"-applet:/QX/Types/Framework/ContentUpdate");
    if (content != std::wstring::npos && commandLine.find(L" clean", content) == std::wstring::npos)
        return L"title:Preprocess 1/1 100%;out:All stripped assets preprocessed;"
               L"out:Wasted cache space: 0 bytes (0%)";
    if (commandLine.find(L"-applet:") != std::wstring::npos)
        return L"";
    std::wstring game = EnvVar(L"VANTOREL_STANDIN_GAME");
    return game.empty() ? L"game:0" : game;
}

class Standin {
  public:
    int Run(const std::vector<Command>& commands);

  private:
    void Write(HANDLE pipe, const std::string& bytes);
    void Flood(const std::string& argument);
    HWND Window(const wchar_t* className, const std::wstring& title, HWND owner, bool visible);
    // Waits up to ms (0: without limit) while serving the windows; true when
    // "SoakStop" was released.
    bool Wait(unsigned long long ms, bool watchStop, HWND quitWith);
    void StartGrandchild(const std::string& ms);
    void WriteGameFiles();
    void RunGame(unsigned long long ms);

    HANDLE soakStop_ = nullptr;
    bool watchStop_ = true;
    int stopCode_ = 0;
    HWND window_ = nullptr;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY && GetWindowLongPtrW(window, GWLP_USERDATA))
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void Standin::Write(HANDLE pipe, const std::string& bytes)
{
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Standin::Flood(const std::string& argument)
{
    size_t comma = argument.find(',');
    size_t second = comma == std::string::npos ? comma : argument.find(',', comma + 1);
    unsigned long long total = Number(argument.substr(0, comma));
    unsigned long long line =
        comma == std::string::npos ? 0 : Number(argument.substr(comma + 1, second - comma - 1));
    size_t size =
        second == std::string::npos ? 4096 : static_cast<size_t>(Number(argument.substr(second + 1)));
    std::string chunk;
    unsigned long long position = 0;
    while (position < total) {
        chunk.clear();
        while (chunk.size() < size && position < total) {
            ++position;
            chunk.push_back(line > 0 && position % line == 0 ? '\n' : 'x');
        }
        DWORD written = 0;
        if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), chunk.data(), static_cast<DWORD>(chunk.size()),
                       &written, nullptr))
            return;
    }
}

HWND Standin::Window(const wchar_t* className, const std::wstring& title, HWND owner, bool visible)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, className, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 480, 270, owner, nullptr, windowClass.hInstance, nullptr);
    if (window && visible)
        ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

bool Standin::Wait(unsigned long long ms, bool watchStop, HWND quitWith)
{
    ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return false;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (quitWith && !IsWindow(quitWith))
            return false;
        ULONGLONG now = GetTickCount64();
        if (ms > 0 && now >= end)
            return false;
        DWORD slice = ms > 0 ? static_cast<DWORD>(end - now < 100 ? end - now : 100) : 100;
        if (watchStop && soakStop_) {
            DWORD result = MsgWaitForMultipleObjects(1, &soakStop_, FALSE, slice, QS_ALLINPUT);
            if (result == WAIT_OBJECT_0)
                return true;
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        }
    }
}

void Standin::StartGrandchild(const std::string& ms)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" -grandchild";
    HANDLE handles[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                         GetStdHandle(STD_ERROR_HANDLE)};
    for (HANDLE handle : handles)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    // The grandchild takes its script and record from this process's
    // environment, changed for it alone: this process has read its own.
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", (L"ignorestop;sleep:" + Wide(ms)).c_str());
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void Standin::WriteGameFiles()
{
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, base)))
        return;
    std::wstring folder = std::wstring(base) + L"\\Vantorel";
    CreateDirectoryW(folder.c_str(), nullptr);
    AppendToFile(folder + L"\\QX.log", "Vantorel stand-in started\r\n", true);
    AppendToFile(folder + L"\\QX.cfg", "; Vantorel stand-in\r\nLanguage=en\r\n", false);
}

void Standin::RunGame(unsigned long long ms)
{
    std::wstring mutexName = ExeFolder() + L"\\";
    for (wchar_t& c : mutexName) {
        if (c == L'\\')
            c = L'_';
    }
    HANDLE mutex = CreateMutexW(nullptr, TRUE, mutexName.c_str());
    WriteGameFiles();
    HWND window = Window(L"VantorelStandinGame", L"Vantorel", nullptr, true);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 1);
        Wait(ms, false, window);
        if (IsWindow(window))
            DestroyWindow(window);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

int Standin::Run(const std::vector<Command>& commands)
{
    // Held from the start, so that no release is lost before a sleep. A
    // count left from before this start (released for a child that ignored
    // it, while another process kept the semaphore) is not meant for it.
    soakStop_ = CreateSemaphoreA(nullptr, 0, 1024, "SoakStop");
    while (soakStop_ && WaitForSingleObject(soakStop_, 0) == WAIT_OBJECT_0) {
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (const Command& command : commands) {
        const std::string& name = command.name;
        const std::string& argument = command.argument;
        if (name == "out")
            Write(out, argument + "\r\n");
        else if (name == "err")
            Write(GetStdHandle(STD_ERROR_HANDLE), argument + "\r\n");
        else if (name == "raw")
            Write(out, argument);
        else if (name == "flood")
            Flood(argument);
        else if (name == "title" || name == "owned") {
            if (!window_)
                window_ = Window(L"VantorelStandinApplet", Wide(argument), nullptr, false);
            if (name == "owned")
                Window(L"VantorelStandinOwned", Wide(argument), window_, false);
            else
                SetWindowTextW(window_, Wide(argument).c_str());
        } else if (name == "sleep") {
            unsigned long long ms = Number(argument);
            if (ms > 0 && Wait(ms, watchStop_, nullptr)) {
                Write(out, "SoakStop received\r\n");
                return stopCode_;
            }
        } else if (name == "ignorestop")
            watchStop_ = false;
        else if (name == "stopcode")
            stopCode_ = static_cast<int>(Number(argument));
        else if (name == "grandchild")
            StartGrandchild(argument);
        else if (name == "files")
            WriteGameFiles();
        else if (name == "game")
            RunGame(Number(argument));
        else if (name == "exit")
            return static_cast<int>(Number(argument));
    }
    return 0;
}

} // namespace

int wmain()
{
    WriteRecord();
    WriteAppletLog();
    std::wstring script = EnvVar(L"VANTOREL_STANDIN");
    if (script.empty())
        script = DefaultScript();
    Standin standin;
    return standin.Run(ParseScript(script));
}
