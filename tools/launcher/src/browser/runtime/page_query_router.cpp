#include "page_query_router.h"

#include "interface_origin.h"
#include "log.h"
#include "page_bridge.h"
#include "strings.h"

#include <string>
#include <vector>

namespace {

constexpr wchar_t QUERY_MESSAGE[] = L"PageQuery";
constexpr wchar_t ANSWER_MESSAGE[] = L"PageQueryAnswer";
constexpr wchar_t SEND_FUNCTION[] = L"PageQuerySend";

// The page side, installed into every script context of a render process.
constexpr wchar_t PAGE_QUERY_SCRIPT[] = LR"(
var cefQuery, cefQueryCancel;
(function() {
  native function PageQuerySend(id, request);
  var pending = {};
  var nextId = 1;
  cefQuery = function(query) {
    if (!query || typeof query.request !== 'string')
      throw new Error('cefQuery needs a request text');
    var id = nextId++;
    pending[id] = query;
    PageQuerySend(id, query.request);
    return id;
  };
  cefQueryCancel = function(id) {
    delete pending[id];
  };
  cefQuery.answer = function(id, success, code, text) {
    var query = pending[id];
    delete pending[id];
    if (!query)
      return;
    if (success) {
      if (query.onSuccess)
        query.onSuccess(text);
    } else if (query.onFailure) {
      query.onFailure(code, text);
    }
  };
})();
)";

bool IsMessage(const RuntimeRef<cef_process_message_t>& message, const wchar_t* name)
{
    return TakeCef(message->get_name(message.get())) == name;
}

// Whether the query came from a frame of the interface's own origin: pages
// of other origins (a frame inside the interface, a page it led to) get the
// page functions too, but their presses must not reach the step.
bool FromTheInterface(const RuntimeRef<cef_browser_t>& browser, double frameId)
{
    auto frame = Adopt(browser->get_frame_byident(browser.get(), static_cast<int64_t>(frameId)));
    std::wstring url = frame ? TakeCef(frame->get_url(frame.get())) : std::wstring();
    if (IsInterfaceUrl(url))
        return true;
    LogPrintf(L"Page query from %s not answered: not a page of the interface\n", url.c_str());
    return false;
}

class PageQueryFunctions : public RefCountedObject {
  public:
    PageQueryFunctions()
    {
        facet_.Init(this);
        facet_.cef.execute = Execute;
    }
    cef_v8handler_t* Struct() { return &facet_.cef; }

  private:
    static int CEF_CALLBACK Execute(cef_v8handler_t*, const cef_string_t* name, cef_v8value_t* object,
                                    size_t count, cef_v8value_t* const* arguments, cef_v8value_t**,
                                    cef_string_t*)
    {
        Adopt(object);
        std::vector<RuntimeRef<cef_v8value_t>> values;
        for (size_t index = 0; index < count; ++index)
            values.push_back(Adopt(arguments[index]));
        if (FromCef(name) != SEND_FUNCTION || values.size() != 2)
            return 0;

        auto context = Adopt(cef_v8context_get_current_context());
        if (!context)
            return 0;
        auto browser = Adopt(context->get_browser(context.get()));
        auto frame = Adopt(context->get_frame(context.get()));
        if (!browser || !frame)
            return 0;
        auto message = Adopt(cef_process_message_create(CefText(QUERY_MESSAGE).get()));
        auto list = Adopt(message->get_argument_list(message.get()));
        list->set_size(list.get(), 3);
        list->set_double(list.get(), 0, static_cast<double>(frame->get_identifier(frame.get())));
        list->set_int(list.get(), 1, values[0]->get_int_value(values[0].get()));
        list->set_string(list.get(), 2, CefText(TakeCef(values[1]->get_string_value(values[1].get()))).get());
        browser->send_process_message(browser.get(), PID_BROWSER, message.Share());
        return 1;
    }

    ObjectFacet<cef_v8handler_t> facet_;
};

} // namespace

bool AnswerPageQuery(const RuntimeRef<cef_browser_t>& browser,
                     const RuntimeRef<cef_process_message_t>& message)
{
    if (!IsMessage(message, QUERY_MESSAGE))
        return false;
    auto arguments = Adopt(message->get_argument_list(message.get()));
    if (!arguments || arguments->get_size(arguments.get()) < 3)
        return true;
    if (!FromTheInterface(browser, arguments->get_double(arguments.get(), 0)))
        return true;
    double frame = arguments->get_double(arguments.get(), 0);
    int id = arguments->get_int(arguments.get(), 1);
    std::string request = ConvertToUtf8(TakeCef(arguments->get_string(arguments.get(), 2)));

    bool handled = HandleBindingRequest(request);

    auto answer = Adopt(cef_process_message_create(CefText(ANSWER_MESSAGE).get()));
    auto list = Adopt(answer->get_argument_list(answer.get()));
    list->set_size(list.get(), 5);
    list->set_double(list.get(), 0, frame);
    list->set_int(list.get(), 1, id);
    list->set_int(list.get(), 2, handled ? 1 : 0);
    list->set_int(list.get(), 3, handled ? 0 : -1);
    list->set_string(list.get(), 4, CefText(handled ? L"ok" : L"Unhandled request").get());
    browser->send_process_message(browser.get(), PID_RENDERER, answer.Share());
    return true;
}

void RegisterPageQueryFunctions()
{
    cef_register_extension(CefText(L"v8/launcher_page_query").get(), CefText(PAGE_QUERY_SCRIPT).get(),
                           (new PageQueryFunctions())->Struct());
}

bool DeliverPageQueryAnswer(const RuntimeRef<cef_browser_t>& browser,
                            const RuntimeRef<cef_process_message_t>& message)
{
    if (!IsMessage(message, ANSWER_MESSAGE))
        return false;
    auto arguments = Adopt(message->get_argument_list(message.get()));
    if (!arguments || arguments->get_size(arguments.get()) < 5)
        return true;
    auto frame = Adopt(browser->get_frame_byident(
        browser.get(), static_cast<int64_t>(arguments->get_double(arguments.get(), 0))));
    if (!frame)
        return true;
    std::wstring script = L"cefQuery.answer(" + std::to_wstring(arguments->get_int(arguments.get(), 1)) +
                          L"," + (arguments->get_int(arguments.get(), 2) ? L"true" : L"false") + L"," +
                          std::to_wstring(arguments->get_int(arguments.get(), 3)) + L",\"" +
                          ScriptStringText(TakeCef(arguments->get_string(arguments.get(), 4))) + L"\");";
    frame->execute_java_script(frame.get(), CefText(script).get(), CefText(L"").get(), 0);
    return true;
}
