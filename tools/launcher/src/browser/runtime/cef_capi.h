// The part of the browser runtime's C interface (version 3.2454) that the
// launcher uses, declared here by hand.
//
// Every interface is a structure of function pointers that begins with
// cef_base_t. The runtime looks a member up only when the structure's size
// says it is there, so structures of ours end after the last member we fill;
// structures of the runtime's are declared up to the last member we call,
// with the members before it kept as placeholders of pointer size.
//
// References: a structure that crosses the boundary carries one reference
// for the receiver. The runtime's structures given to our callbacks, and
// those its functions return, are released by us (RuntimeRef); ours get a
// reference added before we hand them over (ObjectFacet::Share).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

extern "C" {

#define CEF_CALLBACK __stdcall

struct cef_string_t {
    wchar_t* str;
    size_t length;
    void (*dtor)(wchar_t* str);
};
using cef_string_userfree_t = cef_string_t*;
using cef_string_list_t = void*;
using cef_string_multimap_t = void*;

struct cef_base_t {
    size_t size;
    void(CEF_CALLBACK* add_ref)(cef_base_t* self);
    int(CEF_CALLBACK* release)(cef_base_t* self);
    int(CEF_CALLBACK* has_one_ref)(cef_base_t* self);
};

enum cef_process_id_t { PID_BROWSER = 0, PID_RENDERER = 1 };
enum cef_thread_id_t { TID_UI = 0, TID_IO = 6 };
enum { LOGSEVERITY_DISABLE = 99 };
enum { ERR_ABORTED = -3 };

struct cef_main_args_t {
    HINSTANCE instance;
};

struct cef_settings_t {
    size_t size;
    int single_process;
    int no_sandbox;
    cef_string_t browser_subprocess_path;
    int multi_threaded_message_loop;
    int windowless_rendering_enabled;
    int command_line_args_disabled;
    cef_string_t cache_path;
    cef_string_t user_data_path;
    int persist_session_cookies;
    cef_string_t user_agent;
    cef_string_t product_version;
    cef_string_t locale;
    cef_string_t log_file;
    int log_severity;
    cef_string_t javascript_flags;
    cef_string_t resources_dir_path;
    cef_string_t locales_dir_path;
    int pack_loading_disabled;
    int remote_debugging_port;
    int uncaught_exception_stack_size;
    int context_safety_implementation;
    int ignore_certificate_errors;
    uint32_t background_color;
    cef_string_t accept_language_list;
};

// All defaults: the runtime reads the whole structure, so it is complete.
struct cef_browser_settings_t {
    size_t size;
    int windowless_frame_rate;
    cef_string_t font_families[6];
    int font_sizes[4];
    cef_string_t default_encoding;
    int states[20];
    uint32_t background_color;
    cef_string_t accept_language_list;
};

struct cef_window_info_t {
    DWORD ex_style;
    cef_string_t window_name;
    DWORD style;
    int x;
    int y;
    int width;
    int height;
    HWND parent_window;
    HMENU menu;
    int windowless_rendering_enabled;
    int transparent_painting_enabled;
    HWND window;
};

struct cef_browser_t;
struct cef_frame_t;
struct cef_request_t;
struct cef_response_t;
struct cef_callback_t;
struct cef_list_value_t;
struct cef_process_message_t;
struct cef_command_line_t;
struct cef_v8value_t;
struct cef_v8context_t;

// ---- The runtime's structures that the launcher calls ----

struct cef_command_line_t {
    cef_base_t base;
    void* unused1[14];
    void(CEF_CALLBACK* append_switch)(cef_command_line_t* self, const cef_string_t* name);
    void(CEF_CALLBACK* append_switch_with_value)(cef_command_line_t* self, const cef_string_t* name,
                                                 const cef_string_t* value);
};

struct cef_browser_host_t {
    cef_base_t base;
    void* unused1[1];
    void(CEF_CALLBACK* close_browser)(cef_browser_host_t* self, int force_close);
    void* unused2[2];
    HWND(CEF_CALLBACK* get_window_handle)(cef_browser_host_t* self);
};

struct cef_browser_t {
    cef_base_t base;
    cef_browser_host_t*(CEF_CALLBACK* get_host)(cef_browser_t* self);
    void* unused1[9];
    int(CEF_CALLBACK* is_same)(cef_browser_t* self, cef_browser_t* that);
    void* unused2[2];
    cef_frame_t*(CEF_CALLBACK* get_main_frame)(cef_browser_t* self);
    void* unused3[1];
    cef_frame_t*(CEF_CALLBACK* get_frame_byident)(cef_browser_t* self, int64_t identifier);
    void* unused4[4];
    int(CEF_CALLBACK* send_process_message)(cef_browser_t* self, cef_process_id_t target,
                                            cef_process_message_t* message);
};

struct cef_frame_t {
    cef_base_t base;
    void* unused1[12];
    void(CEF_CALLBACK* load_url)(cef_frame_t* self, const cef_string_t* url);
    void* unused2[1];
    void(CEF_CALLBACK* execute_java_script)(cef_frame_t* self, const cef_string_t* code,
                                            const cef_string_t* script_url, int start_line);
    int(CEF_CALLBACK* is_main)(cef_frame_t* self);
    void* unused3[2];
    int64_t(CEF_CALLBACK* get_identifier)(cef_frame_t* self);
    void* unused4[1];
    cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_frame_t* self);
};

struct cef_request_t {
    cef_base_t base;
    void* unused1[1];
    cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_request_t* self);
    void* unused2[5];
    void(CEF_CALLBACK* get_header_map)(cef_request_t* self, cef_string_multimap_t map);
};

struct cef_response_t {
    cef_base_t base;
    void* unused1[2];
    void(CEF_CALLBACK* set_status)(cef_response_t* self, int status);
    void* unused2[1];
    void(CEF_CALLBACK* set_status_text)(cef_response_t* self, const cef_string_t* text);
    void* unused3[1];
    void(CEF_CALLBACK* set_mime_type)(cef_response_t* self, const cef_string_t* type);
    void* unused4[2];
    void(CEF_CALLBACK* set_header_map)(cef_response_t* self, cef_string_multimap_t map);
};

struct cef_callback_t {
    cef_base_t base;
    void(CEF_CALLBACK* cont)(cef_callback_t* self);
};

struct cef_list_value_t {
    cef_base_t base;
    void* unused1[6];
    int(CEF_CALLBACK* set_size)(cef_list_value_t* self, size_t size);
    size_t(CEF_CALLBACK* get_size)(cef_list_value_t* self);
    void* unused2[5];
    int(CEF_CALLBACK* get_int)(cef_list_value_t* self, int index);
    double(CEF_CALLBACK* get_double)(cef_list_value_t* self, int index);
    cef_string_userfree_t(CEF_CALLBACK* get_string)(cef_list_value_t* self, int index);
    void* unused3[6];
    int(CEF_CALLBACK* set_int)(cef_list_value_t* self, int index, int value);
    int(CEF_CALLBACK* set_double)(cef_list_value_t* self, int index, double value);
    int(CEF_CALLBACK* set_string)(cef_list_value_t* self, int index, const cef_string_t* value);
};

struct cef_process_message_t {
    cef_base_t base;
    void* unused1[3];
    cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_process_message_t* self);
    cef_list_value_t*(CEF_CALLBACK* get_argument_list)(cef_process_message_t* self);
};

struct cef_cookie_manager_t {
    cef_base_t base;
    void(CEF_CALLBACK* set_supported_schemes)(cef_cookie_manager_t* self, cef_string_list_t schemes,
                                              void* callback);
};

struct cef_v8value_t {
    cef_base_t base;
    void* unused1[14];
    int32_t(CEF_CALLBACK* get_int_value)(cef_v8value_t* self);
    void* unused2[1];
    double(CEF_CALLBACK* get_double_value)(cef_v8value_t* self);
    void* unused3[1];
    cef_string_userfree_t(CEF_CALLBACK* get_string_value)(cef_v8value_t* self);
};

struct cef_v8context_t {
    cef_base_t base;
    void* unused1[2];
    cef_browser_t*(CEF_CALLBACK* get_browser)(cef_v8context_t* self);
    cef_frame_t*(CEF_CALLBACK* get_frame)(cef_v8context_t* self);
};

// ---- Structures of ours that the runtime calls ----

struct cef_browser_process_handler_t {
    cef_base_t base;
    void(CEF_CALLBACK* on_context_initialized)(cef_browser_process_handler_t* self);
};

struct cef_render_process_handler_t {
    cef_base_t base;
    void(CEF_CALLBACK* on_render_thread_created)(cef_render_process_handler_t* self, cef_list_value_t* extra);
    void(CEF_CALLBACK* on_web_kit_initialized)(cef_render_process_handler_t* self);
    void* unused1[4];
    void(CEF_CALLBACK* on_context_created)(cef_render_process_handler_t* self, cef_browser_t* browser,
                                           cef_frame_t* frame, cef_v8context_t* context);
    void(CEF_CALLBACK* on_context_released)(cef_render_process_handler_t* self, cef_browser_t* browser,
                                            cef_frame_t* frame, cef_v8context_t* context);
    void* unused2[2];
    int(CEF_CALLBACK* on_process_message_received)(cef_render_process_handler_t* self, cef_browser_t* browser,
                                                   cef_process_id_t source, cef_process_message_t* message);
};

struct cef_app_t {
    cef_base_t base;
    void(CEF_CALLBACK* on_before_command_line_processing)(cef_app_t* self, const cef_string_t* process_type,
                                                          cef_command_line_t* command_line);
    void* unused1[2];
    cef_browser_process_handler_t*(CEF_CALLBACK* get_browser_process_handler)(cef_app_t* self);
    cef_render_process_handler_t*(CEF_CALLBACK* get_render_process_handler)(cef_app_t* self);
};

struct cef_life_span_handler_t {
    cef_base_t base;
    int(CEF_CALLBACK* on_before_popup)(cef_life_span_handler_t* self, cef_browser_t* browser,
                                       cef_frame_t* frame, const cef_string_t* target_url,
                                       const cef_string_t* target_frame_name, int target_disposition,
                                       int user_gesture, const void* popup_features,
                                       cef_window_info_t* window_info, void** client, void* settings,
                                       int* no_javascript_access);
    void(CEF_CALLBACK* on_after_created)(cef_life_span_handler_t* self, cef_browser_t* browser);
    void* unused1[2];
    void(CEF_CALLBACK* on_before_close)(cef_life_span_handler_t* self, cef_browser_t* browser);
};

struct cef_load_handler_t {
    cef_base_t base;
    void* unused1[2];
    void(CEF_CALLBACK* on_load_end)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                    int http_status);
    void(CEF_CALLBACK* on_load_error)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                      int error_code, const cef_string_t* error_text,
                                      const cef_string_t* failed_url);
};

struct cef_drag_handler_t {
    cef_base_t base;
    int(CEF_CALLBACK* on_drag_enter)(cef_drag_handler_t* self, cef_browser_t* browser, void* drag_data,
                                     int mask);
};

struct cef_resource_handler_t {
    cef_base_t base;
    int(CEF_CALLBACK* process_request)(cef_resource_handler_t* self, cef_request_t* request,
                                       cef_callback_t* callback);
    void(CEF_CALLBACK* get_response_headers)(cef_resource_handler_t* self, cef_response_t* response,
                                             int64_t* response_length, cef_string_t* redirect_url);
    int(CEF_CALLBACK* read_response)(cef_resource_handler_t* self, void* data_out, int bytes_to_read,
                                     int* bytes_read, cef_callback_t* callback);
    void* unused1[2];
    void(CEF_CALLBACK* cancel)(cef_resource_handler_t* self);
};

struct cef_request_handler_t {
    cef_base_t base;
    int(CEF_CALLBACK* on_before_browse)(cef_request_handler_t* self, cef_browser_t* browser,
                                        cef_frame_t* frame, cef_request_t* request, int is_redirect);
    void* unused1[2];
    cef_resource_handler_t*(CEF_CALLBACK* get_resource_handler)(cef_request_handler_t* self,
                                                                cef_browser_t* browser, cef_frame_t* frame,
                                                                cef_request_t* request);
    void* unused2[8];
    void(CEF_CALLBACK* on_render_process_terminated)(cef_request_handler_t* self, cef_browser_t* browser,
                                                     int status);
};

struct cef_client_t {
    cef_base_t base;
    void* unused1[4];
    cef_drag_handler_t*(CEF_CALLBACK* get_drag_handler)(cef_client_t* self);
    void* unused2[5];
    cef_life_span_handler_t*(CEF_CALLBACK* get_life_span_handler)(cef_client_t* self);
    cef_load_handler_t*(CEF_CALLBACK* get_load_handler)(cef_client_t* self);
    void* unused3[1];
    cef_request_handler_t*(CEF_CALLBACK* get_request_handler)(cef_client_t* self);
    int(CEF_CALLBACK* on_process_message_received)(cef_client_t* self, cef_browser_t* browser,
                                                   cef_process_id_t source, cef_process_message_t* message);
};

struct cef_task_t {
    cef_base_t base;
    void(CEF_CALLBACK* execute)(cef_task_t* self);
};

struct cef_v8handler_t {
    cef_base_t base;
    int(CEF_CALLBACK* execute)(cef_v8handler_t* self, const cef_string_t* name, cef_v8value_t* object,
                               size_t argument_count, cef_v8value_t* const* arguments, cef_v8value_t** retval,
                               cef_string_t* exception);
};

// ---- Functions of the runtime library ----

int cef_execute_process(const cef_main_args_t* args, cef_app_t* application, void* sandbox_info);
int cef_initialize(const cef_main_args_t* args, const cef_settings_t* settings, cef_app_t* application,
                   void* sandbox_info);
void cef_shutdown();
void cef_do_message_loop_work();
void cef_enable_highdpi_support();

cef_browser_t* cef_browser_host_create_browser_sync(const cef_window_info_t* window_info,
                                                    cef_client_t* client, const cef_string_t* url,
                                                    const cef_browser_settings_t* settings,
                                                    void* request_context);
cef_cookie_manager_t* cef_cookie_manager_get_global_manager(void* callback);
cef_process_message_t* cef_process_message_create(const cef_string_t* name);
int cef_currently_on(cef_thread_id_t thread);
int cef_post_task(cef_thread_id_t thread, cef_task_t* task);
int cef_register_extension(const cef_string_t* name, const cef_string_t* code, cef_v8handler_t* handler);
cef_v8context_t* cef_v8context_get_current_context();

cef_string_userfree_t cef_get_mime_type(const cef_string_t* extension);
cef_string_userfree_t cef_base64encode(const void* data, size_t size);
cef_string_userfree_t cef_uriencode(const cef_string_t* text, int use_plus);

int cef_string_utf16_set(const wchar_t* src, size_t length, cef_string_t* output, int copy);
void cef_string_utf16_clear(cef_string_t* text);
void cef_string_userfree_utf16_free(cef_string_userfree_t text);
cef_string_list_t cef_string_list_alloc();
void cef_string_list_free(cef_string_list_t list);
cef_string_multimap_t cef_string_multimap_alloc();
int cef_string_multimap_size(cef_string_multimap_t map);
int cef_string_multimap_key(cef_string_multimap_t map, int index, cef_string_t* key);
int cef_string_multimap_value(cef_string_multimap_t map, int index, cef_string_t* value);
int cef_string_multimap_append(cef_string_multimap_t map, const cef_string_t* key, const cef_string_t* value);
void cef_string_multimap_free(cef_string_multimap_t map);

} // extern "C"
