// The browser client as the page bridge sees it. The real client drives the
// runtime's browser; the tests put a fake in its place, so the bridge's
// logic runs without the runtime.
#pragma once

#include <string>

class PageClient {
  public:
    virtual ~PageClient() = default;

    // True while the client has a browser that scripts and loads reach.
    virtual bool HasBrowser() const = 0;
    // Runs a script in the first browser's main frame.
    virtual void RunScriptInMainFrame(const std::wstring& script) = 0;
    // Loads a URL into the first browser's main frame.
    virtual void LoadInMainFrame(const std::wstring& url) = 0;

    std::wstring PendingScript; // runs once at the next load end
    std::wstring CurrentUrl;    // URL last given to the browser, with its query
};

// The one browser client; null before it is made and after it is gone, when
// every launcher-to-page operation does nothing.
extern PageClient* SimpleHandlerInstance;

// The runtime's pump step (its work when due; true when it ran); set while
// the runtime runs, also before the client exists and while it closes.
extern bool (*BrowserPumpStep)();
