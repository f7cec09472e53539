#include "resource_handler.h"

#include "cef_ref.h"
#include "page_bridge.h"
#include "strings.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace {

class ArchiveResourceHandler : public RefCountedObject {
  public:
    ArchiveResourceHandler(ServedEntry entry, bool notFound) : entry_(std::move(entry)), notFound_(notFound)
    {
        facet_.Init(this);
        facet_.cef.process_request = ProcessRequest;
        facet_.cef.get_response_headers = GetResponseHeaders;
        facet_.cef.read_response = ReadResponse;
        facet_.cef.cancel = [](cef_resource_handler_t*) {};
    }
    cef_resource_handler_t* Struct() { return &facet_.cef; }

  private:
    static ArchiveResourceHandler* From(cef_resource_handler_t* self)
    {
        return ObjectFacet<cef_resource_handler_t>::OwnerOf<ArchiveResourceHandler>(self);
    }

    static std::optional<std::string> RangeHeader(cef_request_t* request)
    {
        std::optional<std::string> range;
        cef_string_multimap_t headers = cef_string_multimap_alloc();
        request->get_header_map(request, headers);
        int count = cef_string_multimap_size(headers);
        for (int index = 0; index < count && !range; ++index) {
            cef_string_t key{};
            cef_string_multimap_key(headers, index, &key);
            std::wstring name = FromCef(&key);
            cef_string_utf16_clear(&key);
            if (_wcsicmp(name.c_str(), L"Range") != 0)
                continue;
            cef_string_t value{};
            cef_string_multimap_value(headers, index, &value);
            range = ConvertToUtf8(FromCef(&value));
            cef_string_utf16_clear(&value);
        }
        cef_string_multimap_free(headers);
        return range;
    }

    static int CEF_CALLBACK ProcessRequest(cef_resource_handler_t* self, cef_request_t* requestArg,
                                           cef_callback_t* callbackArg)
    {
        auto request = Adopt(requestArg);
        auto callback = Adopt(callbackArg);
        ArchiveResourceHandler* handler = From(self);
        auto size = static_cast<int64_t>(handler->entry_.data->size());
        handler->plan_ = handler->notFound_ ? NotFoundResponse(size)
                                            : PlanArchiveResponse(size, RangeHeader(request.get()));
        handler->offset_ = static_cast<size_t>(handler->plan_.start);
        callback->cont(callback.get());
        return 1;
    }

    static void CEF_CALLBACK GetResponseHeaders(cef_resource_handler_t* self, cef_response_t* responseArg,
                                                int64_t* length, cef_string_t*)
    {
        auto response = Adopt(responseArg);
        ArchiveResourceHandler* handler = From(self);
        response->set_status(response.get(), handler->plan_.status);
        response->set_status_text(response.get(), CefText(handler->plan_.statusText).get());
        response->set_mime_type(response.get(), CefText(ConvertFromUtf8(handler->entry_.mimeType)).get());
        if (!handler->plan_.contentRange.empty()) {
            cef_string_multimap_t headers = cef_string_multimap_alloc();
            cef_string_multimap_append(headers, CefText(L"Content-Range").get(),
                                       CefText(ConvertFromUtf8(handler->plan_.contentRange)).get());
            response->set_header_map(response.get(), headers);
            cef_string_multimap_free(headers);
        }
        *length = handler->plan_.length;
    }

    static int CEF_CALLBACK ReadResponse(cef_resource_handler_t* self, void* out, int capacity, int* read,
                                         cef_callback_t* callbackArg)
    {
        auto callback = Adopt(callbackArg);
        ArchiveResourceHandler* handler = From(self);
        const std::string& data = *handler->entry_.data;
        size_t count = std::min(static_cast<size_t>(std::max(capacity, 0)), data.size() - handler->offset_);
        std::memcpy(out, data.data() + handler->offset_, count);
        handler->offset_ += count;
        *read = static_cast<int>(count);
        return count > 0 ? 1 : 0;
    }

    ObjectFacet<cef_resource_handler_t> facet_;
    ServedEntry entry_;
    bool notFound_;
    ArchiveResponse plan_;
    size_t offset_ = 0;
};

} // namespace

cef_resource_handler_t* CreateArchiveResourceHandler(ServedEntry entry)
{
    return (new ArchiveResourceHandler(std::move(entry), false))->Struct();
}

cef_resource_handler_t* CreateNotFoundResourceHandler(const std::wstring& url)
{
    ServedEntry page{std::make_shared<const std::string>(LoadErrorPageHtml(url, L"Not Found", 404)),
                     "text/html"};
    return (new ArchiveResourceHandler(std::move(page), true))->Struct();
}

std::string RuntimeMimeType(const std::string& extension)
{
    return ConvertToUtf8(TakeCef(cef_get_mime_type(CefText(ConvertFromUtf8(extension)).get())));
}
