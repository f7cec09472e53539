// Answers one request of the interface's origin from an archive entry in
// memory, with a single byte range when the browser asks for one.
#pragma once

#include "cef_capi.h"
#include "interface_archive.h"

// The runtime's handler for the request; it takes the one reference.
cef_resource_handler_t* CreateArchiveResourceHandler(ServedEntry entry);
// The runtime's handler for a request of the interface's origin that the
// archive cannot answer: 404 with a short page naming the address.
cef_resource_handler_t* CreateNotFoundResourceHandler(const std::wstring& url);

// The MIME type the runtime gives an extension.
std::string RuntimeMimeType(const std::string& extension);
