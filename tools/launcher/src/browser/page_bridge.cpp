#include "page_bridge.h"

#include "browser_runtime.h"
#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "page_client.h"
#include "page_serial.h"
#include "requirement_queue.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "step_page.h"
#include "strings.h"
#include "text_table.h"

#include <wininet.h>

#include <cwchar>

PageClient* SimpleHandlerInstance = nullptr;
bool (*BrowserPumpStep)() = nullptr;
HWND BrowserParentWindow = nullptr;

namespace {

constexpr int MIRROR_TEXT_CAPACITY = 1024;
constexpr int BUTTON_STATE_UNKNOWN = 999;

struct MirrorRow {
    int item;
    const wchar_t* element;
};
constexpr MirrorRow MIRROR_ROWS[] = {
    {IDC_STATUS_DETAIL, L"description"},
    {IDC_STATUS_TEXT, L"footerdescription"},
    {IDC_MAIN_BUTTON, L"mainbutton"},
    {IDC_ALT_BUTTON, L"altbutton"},
};

std::wstring MirroredControlText[4];
int MirroredButtonState[2] = {BUTTON_STATE_UNKNOWN, BUTTON_STATE_UNKNOWN};
PageSerial ViewSerial;

bool ClientHasBrowser()
{
    return SimpleHandlerInstance && SimpleHandlerInstance->HasBrowser();
}

void MirrorButtonState(int slot, int item, const wchar_t* function)
{
    HWND button = GetDlgItem(BrowserParentWindow, item);
    if (!button)
        return;
    int enabled = IsWindowEnabled(button) ? 1 : 0;
    if (enabled == MirroredButtonState[slot])
        return;
    MirroredButtonState[slot] = enabled;
    ExecuteScript(std::wstring(function) + (enabled ? L"('true');" : L"('false');"));
}

void RunMirror()
{
    for (size_t row = 0; row < std::size(MIRROR_ROWS); ++row) {
        wchar_t text[MIRROR_TEXT_CAPACITY] = L"";
        HWND item = GetDlgItem(BrowserParentWindow, MIRROR_ROWS[row].item);
        if (item)
            GetWindowTextW(item, text, MIRROR_TEXT_CAPACITY);
        if (MirroredControlText[row] == text)
            continue;
        MirroredControlText[row] = text;
        SetElementHtml(MIRROR_ROWS[row].element, text, false);
    }
    MirrorButtonState(0, IDC_MAIN_BUTTON, L"setMainButtonState");
    MirrorButtonState(1, IDC_ALT_BUTTON, L"setAltButtonState");
    ViewSerial.NoteTarget(BrowserCommandTarget);
    if (std::optional<unsigned> serial = ViewSerial.TakeToSend(GetTickCount()))
        ExecuteScript(L"setPageSerial(" + std::to_wstring(*serial) + L");");
}

// Whether a press of the page's button may reach the step: that button of
// the model is enabled, and the press was made on the current view, shown
// for long enough. serial is the view the press names; a request without a
// view number (as pages before the numbers sent) is taken as it comes.
bool PressReachesStep(int item, std::optional<unsigned> serial)
{
    HWND button = BrowserParentWindow ? GetDlgItem(BrowserParentWindow, item) : nullptr;
    if (button && !IsWindowEnabled(button)) {
        LogPrintf(L"Ignored a press of the page's button %d: the button is disabled\n", item);
        return false;
    }
    if (!serial)
        return true;
    ViewSerial.NoteTarget(BrowserCommandTarget);
    if (ViewSerial.Accepts(*serial, GetTickCount()))
        return true;
    if (*serial == ViewSerial.Current())
        LogPrintf(L"Ignored a press of the page's button %d made before its view had been shown for %u ms\n",
                  item, PAGE_SETTLE_MS);
    else
        LogPrintf(L"Ignored a press of the page's button %d made on view %u, not on the current view %u\n",
                  item, *serial, ViewSerial.Current());
    return false;
}

} // namespace

std::wstring GetLauncherBaseUrl()
{
    if (HasOption(L"-nozip"))
        return L"file:///" + CefRootDirectory + L"\\" + LAUNCHER_UI_FOLDER;
    return LAUNCHER_URL_PREFIX;
}

void AppendPageQuery(std::wstring& url)
{
    url += url.find(L'?') == std::wstring::npos ? L"?language=" : L"&language=";
    url += LanguageCodeFromIndex(LanguageIndex);
    if (HasOption(L"-registry:Steam"))
        url += L"&steam=1";
    url += L"&cluster=" + GetContentServerUrl();

    // A URL the canonicalisation refuses, or one too long for its buffer,
    // is kept as built.
    wchar_t canonical[1024];
    DWORD length = static_cast<DWORD>(std::size(canonical));
    if (InternetCanonicalizeUrlW(url.c_str(), canonical, &length, ICU_ENCODE_PERCENT))
        url.assign(canonical, length);
}

void LoadPageUrl(std::wstring url)
{
    if (!ClientHasBrowser())
        return;
    AppendPageQuery(url);
    SimpleHandlerInstance->CurrentUrl = url;
    ViewSerial.NoteLoadRequested();
    SimpleHandlerInstance->LoadInMainFrame(url);
}

void LoadLauncherPage(const wchar_t* page)
{
    if (!SimpleHandlerInstance)
        return;
    LoadPageUrl(GetLauncherBaseUrl() + page);
}

void ExecuteScript(const std::wstring& script)
{
    if (ClientHasBrowser())
        SimpleHandlerInstance->RunScriptInMainFrame(script);
}

std::wstring ScriptStringText(std::wstring_view text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'\\':
            escaped += L"\\\\";
            break;
        case L'"':
            escaped += L"\\\"";
            break;
        case L'\'':
            escaped += L"\\'";
            break;
        case L'\n':
            escaped += L"\\n";
            break;
        case L'\r':
            escaped += L"\\r";
            break;
        case 0x2028:
            escaped += L"\\u2028";
            break;
        case 0x2029:
            escaped += L"\\u2029";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

void SetElementHtml(const wchar_t* element, const wchar_t* html, bool defer)
{
    if (!SimpleHandlerInstance)
        return;
    std::wstring script = std::wstring(element) + L".innerHTML=\"" + ScriptStringText(html) + L"\";";
    if (defer)
        SimpleHandlerInstance->PendingScript = script;
    else
        ExecuteScript(script);
}

void SetPageValue(const wchar_t* name, const wchar_t* value)
{
    if (!SimpleHandlerInstance)
        return;
    ExecuteScript(std::wstring(name) + L"=\"" + ScriptStringText(value) + L"\";");
}

void ShowStartPage(bool force)
{
    if (!SimpleHandlerInstance)
        return;
    const std::wstring& current = SimpleHandlerInstance->CurrentUrl;
    if (ShowIntroAfterEula) {
        if (current.find(L"intro.html") == std::wstring::npos)
            LoadLauncherPage(L"intro.html");
        return;
    }
    if (current.find(L"index.html") == std::wstring::npos || force)
        LoadLauncherPage(LAUNCHER_START_PAGE);
}

bool UpdateCEF()
{
    if (SimpleHandlerInstance)
        RunMirror();
    return BrowserPumpStep && BrowserPumpStep();
}

bool FirstPageFailed(const std::wstring& what)
{
    // The main window is shown by the first page's load end.
    if (!BrowserParentWindow || IsWindowVisible(BrowserParentWindow))
        return false;
    LogPrintf(L"The first page could not be shown: %s\n", what.c_str());
    PostMessageW(BrowserParentWindow, WM_BROWSER_FAILED, 0, 0);
    return true;
}

void ForgetMirror()
{
    for (std::wstring& text : MirroredControlText)
        text.clear();
    MirroredButtonState[0] = MirroredButtonState[1] = BUTTON_STATE_UNKNOWN;
}

bool HandleJoystickPress()
{
    if (!BrowserCommandTarget || MirroredButtonState[0] == 0)
        return false;
    // A box or dialog of the launcher open over the window (the quit
    // question, the settings) is what the player looks at: the page behind
    // it takes no press.
    if (BrowserParentWindow && !IsWindowEnabled(BrowserParentWindow)) {
        LogPrintf(L"Ignored a press of the joystick's button: a window of the launcher is open over the "
                  L"main window\n");
        return false;
    }
    // The press is made on whatever the page shows: it counts as one on the
    // current view only once that view is on screen, and for long enough.
    ViewSerial.NoteTarget(BrowserCommandTarget);
    if (!PressReachesStep(IDC_MAIN_BUTTON, ViewSerial.Current()))
        return false;
    SendMessageW(BrowserCommandTarget, WM_COMMAND, IDC_MAIN_BUTTON, 0);
    return true;
}

void OnPageLoadEnd()
{
    wchar_t title[1024] = L"";
    GetLocalizedTextBuffer("UPDATE_TITLE", title, std::size(title));
    SetElementHtml(L"logoText", title, false);
    if (BrowserParentWindow) {
        ShowWindow(BrowserParentWindow, SW_SHOW);
        PostMessageW(BrowserParentWindow, WM_STEP_NEXT, 0, 0);
    }
    ForgetMirror();
    ViewSerial.NoteLoadEnded();
    if (SimpleHandlerInstance && !SimpleHandlerInstance->PendingScript.empty()) {
        std::wstring script = std::move(SimpleHandlerInstance->PendingScript);
        SimpleHandlerInstance->PendingScript.clear();
        ExecuteScript(script);
    }
}

std::string LoadErrorPageHtml(const std::wstring& url, const std::wstring& errorText, int errorCode)
{
    auto escaped = [](const std::wstring& text) {
        std::string html;
        for (char c : ConvertToUtf8(text)) {
            switch (c) {
            case '&':
                html += "&amp;";
                break;
            case '<':
                html += "&lt;";
                break;
            case '>':
                html += "&gt;";
                break;
            case '"':
                html += "&quot;";
                break;
            case '\'':
                html += "&#39;";
                break;
            default:
                html += c;
            }
        }
        return html;
    };
    return "<html><body bgcolor=\"white\"><h2>Failed to load URL " + escaped(url) + " with error " +
           escaped(errorText) + " (" + std::to_string(errorCode) + ").</h2></body></html>";
}

bool HandleBindingRequest(std::string_view request)
{
    if (request.substr(0, 7) != "Binding")
        return false;
    if (BrowserCommandTarget) {
        // "Binding" alone (no eighth character) presses the main button.
        bool alternative = request.size() >= 14 && request.substr(8, 6) == "Cancel";
        int item = alternative ? IDC_ALT_BUTTON : IDC_MAIN_BUTTON;
        if (PressReachesStep(item, BindingRequestSerial(request)))
            SendMessageW(BrowserCommandTarget, WM_COMMAND, item, 0);
    }
    return true;
}
