#include "simple_handler.h"

#include "browser_runtime.h"
#include "interface_origin.h"
#include "log.h"
#include "page_bridge.h"
#include "message_pump.h"
#include "page_query_router.h"
#include "resource_handler.h"
#include "shell_open.h"
#include "strings.h"

namespace {

// Runs CloseAllBrowsers on the runtime's UI thread.
class CloseBrowsersTask : public RefCountedObject {
  public:
    CloseBrowsersTask(SimpleHandler* handler, bool force) : handler_(handler), force_(force)
    {
        handler_->AddRef();
        facet_.Init(this);
        facet_.cef.execute = [](cef_task_t* self) {
            auto* task = ObjectFacet<cef_task_t>::OwnerOf<CloseBrowsersTask>(self);
            task->handler_->CloseAllBrowsers(task->force_);
        };
    }
    cef_task_t* Struct() { return &facet_.cef; }

  private:
    ~CloseBrowsersTask() override { handler_->Release(); }
    ObjectFacet<cef_task_t> facet_;
    SimpleHandler* handler_;
    bool force_;
};

template <class Struct> void ReleaseArgument(Struct* argument)
{
    Adopt(argument);
}

// An address the launcher will not show: to the system's handler when it
// is one for the shell, else dropped.
void OpenOutsideAddress(const std::wstring& url)
{
    if (IsUrlForTheShell(url))
        ShellExecuteFunction(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    else
        LogPrintf(L"Address not opened (only http, https and mailto are): %s\n", url.c_str());
}

} // namespace

SimpleHandler::SimpleHandler()
{
    client_.Init(this);
    lifeSpan_.Init(this);
    load_.Init(this);
    request_.Init(this);
    drag_.Init(this);

    client_.cef.get_drag_handler = [](cef_client_t* self) { return From(self)->drag_.Share(); };
    client_.cef.get_life_span_handler = [](cef_client_t* self) { return From(self)->lifeSpan_.Share(); };
    client_.cef.get_load_handler = [](cef_client_t* self) { return From(self)->load_.Share(); };
    client_.cef.get_request_handler = [](cef_client_t* self) { return From(self)->request_.Share(); };
    client_.cef.on_process_message_received = OnProcessMessage;

    lifeSpan_.cef.on_before_popup = OnBeforePopup;
    lifeSpan_.cef.on_after_created = OnAfterCreated;
    lifeSpan_.cef.on_before_close = OnBeforeClose;

    load_.cef.on_load_end = OnLoadEnd;
    load_.cef.on_load_error = OnLoadError;

    request_.cef.on_before_browse = OnBeforeBrowse;
    request_.cef.get_resource_handler = GetResourceHandler;
    request_.cef.on_render_process_terminated = [](cef_request_handler_t*, cef_browser_t* browser, int) {
        ReleaseArgument(browser);
        FirstPageFailed(L"the renderer process ended");
    };

    drag_.cef.on_drag_enter = [](cef_drag_handler_t*, cef_browser_t* browser, void* dragData, int) {
        ReleaseArgument(browser);
        ReleaseArgument(static_cast<cef_base_t*>(dragData));
        return 1; // nothing can be dragged into the page
    };

    SimpleHandlerInstance = this;
    archive_.LoadFile(CefRootDirectory + LAUNCHER_UI_ARCHIVE);
}

SimpleHandler::~SimpleHandler()
{
    if (SimpleHandlerInstance == this)
        SimpleHandlerInstance = nullptr;
}

RuntimeRef<cef_frame_t> SimpleHandler::MainFrame() const
{
    if (browsers_.empty())
        return {};
    const RuntimeRef<cef_browser_t>& browser = browsers_.front();
    return Adopt(browser->get_main_frame(browser.get()));
}

void SimpleHandler::RunScriptInMainFrame(const std::wstring& script)
{
    if (RuntimeRef<cef_frame_t> frame = MainFrame()) {
        frame->execute_java_script(frame.get(), CefText(script).get(), CefText(L"").get(), 0);
        RequestRuntimeWork(true);
    }
}

void SimpleHandler::LoadInMainFrame(const std::wstring& url)
{
    if (RuntimeRef<cef_frame_t> frame = MainFrame()) {
        frame->load_url(frame.get(), CefText(url).get());
        RequestRuntimeWork(true);
    }
}

void SimpleHandler::CloseAllBrowsers(bool force)
{
    if (!cef_currently_on(TID_UI)) {
        cef_post_task(TID_UI, (new CloseBrowsersTask(this, force))->Struct());
        return;
    }
    if (browsers_.empty())
        return;
    // A copy: closing may call back into the list.
    std::vector<RuntimeRef<cef_browser_t>> browsers = browsers_;
    for (const RuntimeRef<cef_browser_t>& browser : browsers) {
        auto host = Adopt(browser->get_host(browser.get()));
        if (host)
            host->close_browser(host.get(), force ? 1 : 0);
    }
    RequestRuntimeWork(true);
    archive_.Release();
}

void CEF_CALLBACK SimpleHandler::OnAfterCreated(cef_life_span_handler_t* self, cef_browser_t* browser)
{
    From(self)->browsers_.push_back(Adopt(browser));
}

void CEF_CALLBACK SimpleHandler::OnBeforeClose(cef_life_span_handler_t* self, cef_browser_t* browserArg)
{
    auto browser = Adopt(browserArg);
    SimpleHandler* handler = From(self);
    auto& list = handler->browsers_;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->is_same(it->get(), browser.Share())) {
            list.erase(it);
            break;
        }
    }
    if (list.empty())
        handler->archive_.Release();
}

int CEF_CALLBACK SimpleHandler::OnBeforePopup(cef_life_span_handler_t*, cef_browser_t* browser,
                                              cef_frame_t* frame, const cef_string_t* targetUrl,
                                              const cef_string_t*, int, int, const void*, cef_window_info_t*,
                                              void**, void*, int*)
{
    ReleaseArgument(browser);
    ReleaseArgument(frame);
    std::wstring url = FromCef(targetUrl);
    // A popup never opens inside the launcher; one to an outside site opens
    // in the system's browser, one of the interface nowhere.
    if (url.rfind(LAUNCHER_URL_PREFIX, 0) != 0)
        OpenOutsideAddress(url);
    return 1;
}

int CEF_CALLBACK SimpleHandler::OnBeforeBrowse(cef_request_handler_t* self, cef_browser_t* browser,
                                               cef_frame_t* frameArg, cef_request_t* requestArg, int)
{
    ReleaseArgument(browser);
    auto frame = Adopt(frameArg);
    auto request = Adopt(requestArg);
    std::wstring url = TakeCef(request->get_url(request.get()));
    // Frames inside a page may show what they like: their queries are not
    // answered. The page itself stays on the interface (or its load-error
    // page); an outside address goes to the system's browser instead.
    if (!frame || !frame->is_main(frame.get()) || IsInterfaceUrl(url) || url == From(self)->errorPageUrl_)
        return 0;
    LogPrintf(L"Navigation away from the interface cancelled: %s\n", url.c_str());
    OpenOutsideAddress(url);
    return 1;
}

void CEF_CALLBACK SimpleHandler::OnLoadEnd(cef_load_handler_t*, cef_browser_t* browser, cef_frame_t* frameArg,
                                           int status)
{
    ReleaseArgument(browser);
    auto frame = Adopt(frameArg);
    // An error status (the archive's 404 page for an entry it lacks) is no
    // first page: the player would see it with no button to press. Loads
    // without a status (files, data) have 0.
    if (status >= 400 && frame && frame->is_main(frame.get()) &&
        FirstPageFailed(L"status " + std::to_wstring(status)))
        return;
    OnPageLoadEnd();
}

void CEF_CALLBACK SimpleHandler::OnLoadError(cef_load_handler_t* self, cef_browser_t* browser,
                                             cef_frame_t* frameArg, int code, const cef_string_t* text,
                                             const cef_string_t* url)
{
    ReleaseArgument(browser);
    auto frame = Adopt(frameArg);
    // Neither the load-error page nor a load cancelled (by the navigation
    // rule above) is a first page.
    if (frame->is_main(frame.get()) &&
        FirstPageFailed(L"error " + std::to_wstring(code) + L" for " + FromCef(url)))
        return;
    if (code == ERR_ABORTED)
        return;
    std::string html = LoadErrorPageHtml(FromCef(url), FromCef(text), code);
    std::wstring base64 = TakeCef(cef_base64encode(html.data(), html.size()));
    std::wstring encoded = TakeCef(cef_uriencode(CefText(base64).get(), 0));
    std::wstring page = L"data:text/html;base64," + encoded;
    if (frame->is_main(frame.get()))
        From(self)->errorPageUrl_ = page;
    frame->load_url(frame.get(), CefText(page).get());
}

cef_resource_handler_t* CEF_CALLBACK SimpleHandler::GetResourceHandler(cef_request_handler_t* self,
                                                                       cef_browser_t* browser,
                                                                       cef_frame_t* frame,
                                                                       cef_request_t* requestArg)
{
    ReleaseArgument(browser);
    ReleaseArgument(frame);
    auto request = Adopt(requestArg);
    std::string url = ConvertToUtf8(TakeCef(request->get_url(request.get())));
    std::optional<ServedEntry> entry = From(self)->archive_.Lookup(url, RuntimeMimeType);
    if (entry)
        return CreateArchiveResourceHandler(std::move(*entry));
    // Nothing of the interface's origin goes to the network.
    if (ArchiveEntryName(url))
        return CreateNotFoundResourceHandler(ConvertFromUtf8(url));
    return nullptr;
}

int CEF_CALLBACK SimpleHandler::OnProcessMessage(cef_client_t*, cef_browser_t* browserArg, cef_process_id_t,
                                                 cef_process_message_t* messageArg)
{
    auto browser = Adopt(browserArg);
    auto message = Adopt(messageArg);
    return AnswerPageQuery(browser, message) ? 1 : 0;
}
