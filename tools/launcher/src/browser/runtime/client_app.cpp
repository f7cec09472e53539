#include "client_app.h"

#include "command_line.h"
#include "launcher_settings.h"
#include "page_query_router.h"

namespace {

template <class Struct> void ReleaseArgument(Struct* argument)
{
    Adopt(argument);
}

void CEF_CALLBACK OnBeforeCommandLineProcessing(cef_app_t*, const cef_string_t*, cef_command_line_t* argument)
{
    auto commandLine = Adopt(argument);
    commandLine->append_switch_with_value(commandLine.get(), CefText(L"autoplay-policy").get(),
                                          CefText(L"no-user-gesture-required").get());
    commandLine->append_switch(commandLine.get(), CefText(L"disable-extensions").get());
    commandLine->append_switch(commandLine.get(), CefText(L"disable-gpu-shader-disk-cache").get());
    if (!LauncherGPU || HasOption(L"-disable-gpu"))
        commandLine->append_switch(commandLine.get(), CefText(L"disable-gpu").get());
}

void CEF_CALLBACK OnContextCreatedOrReleased(cef_render_process_handler_t*, cef_browser_t* browser,
                                             cef_frame_t* frame, cef_v8context_t* context)
{
    ReleaseArgument(browser);
    ReleaseArgument(frame);
    ReleaseArgument(context);
}

} // namespace

ClientApp::ClientApp()
{
    app_.Init(this);
    browserProcess_.Init(this);
    renderProcess_.Init(this);

    app_.cef.on_before_command_line_processing = OnBeforeCommandLineProcessing;
    app_.cef.get_browser_process_handler = [](cef_app_t* self) {
        return From(self)->browserProcess_.Share();
    };
    app_.cef.get_render_process_handler = [](cef_app_t* self) { return From(self)->renderProcess_.Share(); };

    browserProcess_.cef.on_context_initialized = [](cef_browser_process_handler_t* self) {
        CreateLauncherBrowser(From(self));
    };

    renderProcess_.cef.on_web_kit_initialized = [](cef_render_process_handler_t*) {
        RegisterPageQueryFunctions();
    };
    renderProcess_.cef.on_context_created = OnContextCreatedOrReleased;
    renderProcess_.cef.on_context_released = OnContextCreatedOrReleased;
    renderProcess_.cef.on_process_message_received = [](cef_render_process_handler_t*, cef_browser_t* browser,
                                                        cef_process_id_t, cef_process_message_t* message) {
        return DeliverPageQueryAnswer(Adopt(browser), Adopt(message)) ? 1 : 0;
    };
}

ClientApp::~ClientApp()
{
    if (mouseHook)
        UnhookWindowsHookEx(mouseHook);
    if (messageHook)
        UnhookWindowsHookEx(messageHook);
}
