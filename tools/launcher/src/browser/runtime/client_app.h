// The application object that every process of the browser hands to the
// runtime: the switches of every process's command line, the browser's
// creation over the main window when the runtime is ready (browser process)
// and the page functions of the render processes.
#pragma once

#include "cef_ref.h"

class ClientApp : public RefCountedObject {
  public:
    ClientApp();
    cef_app_t* SharedApp() { return app_.Share(); }

    HHOOK mouseHook = nullptr;   // WH_MOUSE on the browser's thread
    HHOOK messageHook = nullptr; // WH_GETMESSAGE on the browser's thread

  private:
    ~ClientApp() override;

    template <class Struct> static ClientApp* From(const Struct* self)
    {
        return ObjectFacet<Struct>::template OwnerOf<ClientApp>(self);
    }

    ObjectFacet<cef_app_t> app_;
    ObjectFacet<cef_browser_process_handler_t> browserProcess_;
    ObjectFacet<cef_render_process_handler_t> renderProcess_;
};

// Creates the browser client and the browser over BrowserParentWindow;
// nothing once the browser was given up (AbandonBrowser).
void CreateLauncherBrowser(ClientApp* app);

// The browser's own host window, once the browser exists.
extern HWND BrowserWindow;

// The two hooks on the browser's thread.
LRESULT CALLBACK BrowserMouseHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK BrowserMessageHookProc(int code, WPARAM wParam, LPARAM lParam);
