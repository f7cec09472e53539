// Drives the launcher's window for a run without a person (the demo under a
// virtual display): it reports each page that the launcher shows and presses
// the page's main button with the pointer when told to.
//
// A page is a step's page (an invisible child dialog of the main window) with
// what the main window's status line and main button show (the hidden Win32
// controls stay the model when the browser interface draws the window).
// Lines on standard output, UTF-8, fields separated by tabs:
//   PAGE <process> <status> <button> <enabled 0|1> <browser 0|1> <detail>
//       a page that has stayed for a moment, and again every few seconds
//       while a page without a button to press (a download) stays; the
//       driver then reads one line from standard input: "press" clicks the
//       main button, anything else leaves the page alone
//   PRESSED <button> | PRESS-FAILED <button>
//       whether the page changed after the click
//   GAME <title>
//       the game's window is up and the launcher's gone; one line is read:
//       "close" closes it
//   EXIT
//       no launcher process and no game window for three seconds, after a
//       launcher was seen (or the time limit, the argument in seconds, is up)
#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <string>

namespace {

// Control ids of the launcher's main window.
constexpr int STATUS_TEXT = 1037;
constexpr int STATUS_DETAIL = 1038;
constexpr int MAIN_BUTTON = 1044;
// Where the browser interface draws its main button, in a 1024 x 640 client area.
constexpr POINT PAGE_MAIN_BUTTON = {917, 594};
constexpr DWORD SETTLE_MS = 1500;
constexpr DWORD GONE_MS = 3000;
constexpr DWORD PROGRESS_REPORT_MS = 8000;

void Emit(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

std::string ReadAnswer()
{
    std::string line;
    char c = 0;
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &read, nullptr) && read == 1 && c != '\n')
        line += c;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    if (window)
        SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                            &length);
    std::wstring out = text;
    for (wchar_t& c : out)
        c = (c == L'\t' || c == L'\r' || c == L'\n') ? L' ' : c;
    return out;
}

bool LauncherRunning()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, L"Launcher.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

struct Page {
    HWND window = nullptr;
    HWND stepPage = nullptr;
    DWORD process = 0;
    std::wstring status, button;
    bool enabled = false;
    bool browser = false;

    std::wstring Key() const
    {
        return std::to_wstring(process) + L"|" + std::to_wstring(reinterpret_cast<UINT_PTR>(stepPage)) +
               L"|" + status + L"|" + button + L"|" + (enabled ? L"1" : L"0");
    }
};

Page ReadPage()
{
    Page page;
    page.window = FindWindowW(L"Launcher", nullptr);
    if (!page.window || !IsWindowVisible(page.window))
        return Page();
    GetWindowThreadProcessId(page.window, &page.process);
    page.stepPage = FindWindowExW(page.window, nullptr, L"#32770", nullptr);
    HWND button = GetDlgItem(page.window, MAIN_BUTTON);
    page.status = TextOf(GetDlgItem(page.window, STATUS_TEXT));
    page.button = TextOf(button);
    page.enabled = button && IsWindowEnabled(button);
    // With the browser interface the Win32 button stays hidden.
    page.browser = button && !IsWindowVisible(button);
    return page;
}

// A left click of the pointer at a point of the screen.
void ClickAt(POINT point)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    for (DWORD flags : {DWORD(MOUSEEVENTF_MOVE), DWORD(MOUSEEVENTF_LEFTDOWN), DWORD(MOUSEEVENTF_LEFTUP)}) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(point.x, 65535, width - 1);
        input.mi.dy = MulDiv(point.y, 65535, height - 1);
        input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(input));
        Sleep(100);
    }
}

POINT MainButtonPoint(const Page& page)
{
    if (!page.browser) {
        RECT rect = {};
        GetWindowRect(GetDlgItem(page.window, MAIN_BUTTON), &rect);
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    RECT client = {};
    GetClientRect(page.window, &client);
    POINT point = {MulDiv(PAGE_MAIN_BUTTON.x, client.right, 1024),
                   MulDiv(PAGE_MAIN_BUTTON.y, client.bottom, 640)};
    ClientToScreen(page.window, &point);
    return point;
}

void Press(const Page& page)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        SetForegroundWindow(page.window);
        ClickAt(MainButtonPoint(page));
        for (int wait = 0; wait < 30; ++wait) {
            if (ReadPage().Key() != page.Key()) {
                Emit(L"PRESSED\t" + page.button);
                return;
            }
            Sleep(100);
        }
    }
    Emit(L"PRESS-FAILED\t" + page.button);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    DWORD limit = (argc > 1 ? wcstoul(argv[1], nullptr, 10) : 900) * 1000;
    DWORD start = GetTickCount();
    std::wstring reported, pending;
    DWORD pendingSince = 0, reportedAt = 0, goneSince = 0;
    HWND gameReported = nullptr, gameSeen = nullptr;
    DWORD gameSince = 0;
    bool launcherSeen = false;
    while (GetTickCount() - start < limit) {
        Sleep(100);
        // The game is shown once the launcher, which quits after starting
        // it, has gone (or after a while).
        HWND game = FindWindowW(L"VantorelStandinGame", nullptr);
        if (game != gameSeen) {
            gameSeen = game;
            gameSince = GetTickCount();
        }
        if (game && IsWindowVisible(game) && game != gameReported &&
            (!FindWindowW(L"Launcher", nullptr) || GetTickCount() - gameSince > 10000)) {
            gameReported = game;
            // The stand-in is a console program: its console window, which
            // Wine opens over it, goes behind.
            SetWindowPos(game, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
            Sleep(SETTLE_MS);
            Emit(L"GAME\t" + TextOf(game));
            if (ReadAnswer() == "close")
                PostMessageW(game, WM_CLOSE, 0, 0);
        }
        bool running = LauncherRunning();
        launcherSeen = launcherSeen || running;
        if (running || (game && IsWindow(game))) {
            goneSince = 0;
        } else if (launcherSeen) {
            if (!goneSince)
                goneSince = GetTickCount();
            else if (GetTickCount() - goneSince > GONE_MS)
                break;
        }

        Page page = ReadPage();
        if (!page.window)
            continue;
        std::wstring key = page.Key();
        if (key != pending) {
            pending = key;
            pendingSince = GetTickCount();
            continue;
        }
        DWORD now = GetTickCount();
        bool progress = !page.enabled && !page.status.empty();
        if (now - pendingSince < SETTLE_MS ||
            (key == reported && !(progress && now - reportedAt >= PROGRESS_REPORT_MS)))
            continue;
        reported = key;
        reportedAt = now;
        Emit(L"PAGE\t" + std::to_wstring(page.process) + L"\t" + page.status + L"\t" + page.button + L"\t" +
             (page.enabled ? L"1" : L"0") + L"\t" + (page.browser ? L"1" : L"0") + L"\t" +
             TextOf(GetDlgItem(page.window, STATUS_DETAIL)));
        if (ReadAnswer() == "press")
            Press(page);
    }
    Emit(L"EXIT");
    return 0;
}
