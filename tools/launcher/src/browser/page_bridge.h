// The contract between the launcher and its HTML interface. The hidden
// Win32 controls of the main window stay the model: once per main-loop turn
// the mirror sends the page each status text, button caption and button
// state that changed since it was last sent, and the page's button presses
// come back as "Binding" requests that become the same WM_COMMAND messages
// the Win32 buttons send.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

constexpr wchar_t LAUNCHER_URL_PREFIX[] = L"http://launcher/";
constexpr wchar_t LAUNCHER_UI_FOLDER[] = L"launcher/";
constexpr wchar_t LAUNCHER_START_PAGE[] = L"index.html";

extern bool ShowIntroAfterEula;  // the EULA was accepted in this run
extern HWND BrowserParentWindow; // the main window, parent of the browser

// "http://launcher/", or with "-nozip" the unpacked folder as a file URL.
std::wstring GetLauncherBaseUrl();
// Appends "language", "steam" and "cluster" and canonicalises the URL.
void AppendPageQuery(std::wstring& url);

// Loads base URL + page (with the query) into the page.
void LoadLauncherPage(const wchar_t* page);
// The client's LoadUrl: appends the query, keeps the result as CurrentUrl.
void LoadPageUrl(std::wstring url);
void ExecuteScript(const std::wstring& script);

// A text as the inside of a double-quoted script string.
std::wstring ScriptStringText(std::wstring_view text);

// What every finished load of any frame does: the title, the window shown,
// the queue asked to run, the mirror forgotten, the waiting script run.
void OnPageLoadEnd();
// Until the first page has been shown, a main frame that shows no page of
// the interface (a load that ends with an error status, a failed or aborted
// load, a renderer process that ended) gives the browser up: the main
// window falls back to its own controls, as when no page loads at all.
// what says why, for the log. False once a page was shown, or without a
// main window: the caller then goes on as for any page.
bool FirstPageFailed(const std::wstring& what);
// The mirror forgets what it sent: every text and both states go again.
void ForgetMirror();
// A press of the first joystick's button (the browser's message hook): the
// main button of the view on screen, for the current step page, while that
// button is not shown disabled and no box or dialog of the launcher is open
// over the main window. It passes the same check as the page's own presses,
// as one made on the current view. True when the step got it.
bool HandleJoystickPress();

// The page shown in a frame whose load failed, as UTF-8 HTML; the address
// and the error text are HTML-escaped.
std::string LoadErrorPageHtml(const std::wstring& url, const std::wstring& errorText, int errorCode);

// A "cefQuery" request from the page: true when it was a "Binding" request
// (then the current step's button got the press, if there is a step).
bool HandleBindingRequest(std::string_view request);
