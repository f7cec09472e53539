// Answers one request of the interface's origin from an archive entry in
// memory, with a single byte range when the browser asks for one.
#pragma once

#include "cef_capi.h"
#include "interface_archive.h"

// The runtime's handler for the request; it takes the one reference.
cef_resource_handler_t* CreateArchiveResourceHandler(ServedEntry entry);

// The MIME type the runtime gives an extension.
std::string RuntimeMimeType(const std::string& extension);
