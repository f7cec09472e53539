// The launcher's one browser client: the runtime calls it for everything
// that happens to the browser over the main window. It keeps the browser
// list, serves the interface archive, turns load ends and load errors into
// what the launcher shows, refuses popups and drags, keeps the page on the
// interface, answers the page's queries and closes the browsers at exit.
#pragma once

#include "cef_ref.h"
#include "interface_archive.h"
#include "page_client.h"

#include <vector>

class SimpleHandler : public RefCountedObject, public PageClient {
  public:
    // Reads the interface archive; becomes SimpleHandlerInstance.
    SimpleHandler();

    cef_client_t* SharedClient() { return client_.Share(); }

    bool HasBrowser() const override { return !browsers_.empty(); }
    void RunScriptInMainFrame(const std::wstring& script) override;
    void LoadInMainFrame(const std::wstring& url) override;

    // Asks every browser to close (moving to the runtime's UI thread first).
    void CloseAllBrowsers(bool force);
    size_t BrowserCount() const { return browsers_.size(); }

  private:
    ~SimpleHandler() override;

    template <class Struct> static SimpleHandler* From(const Struct* self)
    {
        return ObjectFacet<Struct>::template OwnerOf<SimpleHandler>(self);
    }
    RuntimeRef<cef_frame_t> MainFrame() const;

    static void CEF_CALLBACK OnAfterCreated(cef_life_span_handler_t* self, cef_browser_t* browser);
    static void CEF_CALLBACK OnBeforeClose(cef_life_span_handler_t* self, cef_browser_t* browser);
    static int CEF_CALLBACK OnBeforePopup(cef_life_span_handler_t* self, cef_browser_t* browser,
                                          cef_frame_t* frame, const cef_string_t* target_url,
                                          const cef_string_t*, int, int, const void*, cef_window_info_t*,
                                          void**, void*, int*);
    static void CEF_CALLBACK OnLoadEnd(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                       int status);
    static void CEF_CALLBACK OnLoadError(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                         int code, const cef_string_t* text, const cef_string_t* url);
    static int CEF_CALLBACK OnBeforeBrowse(cef_request_handler_t* self, cef_browser_t* browser,
                                           cef_frame_t* frame, cef_request_t* request, int redirect);
    static cef_resource_handler_t* CEF_CALLBACK GetResourceHandler(cef_request_handler_t* self,
                                                                   cef_browser_t* browser, cef_frame_t* frame,
                                                                   cef_request_t* request);
    static int CEF_CALLBACK OnProcessMessage(cef_client_t* self, cef_browser_t* browser,
                                             cef_process_id_t source, cef_process_message_t* message);

    ObjectFacet<cef_client_t> client_;
    ObjectFacet<cef_life_span_handler_t> lifeSpan_;
    ObjectFacet<cef_load_handler_t> load_;
    ObjectFacet<cef_request_handler_t> request_;
    ObjectFacet<cef_drag_handler_t> drag_;

    std::vector<RuntimeRef<cef_browser_t>> browsers_;
    InterfaceArchive archive_;
    std::wstring errorPageUrl_; // the load-error page last put in the main frame
};
