// Bitmaps from JPEG resources (the wizard's watermark).
#pragma once

#include <windows.h>

// A new bitmap made from the resource of type "JPEG" and the given id of
// module, or null when the resource is missing or cannot be decoded. The
// caller deletes it.
HBITMAP LoadJpegResourceBitmap(HMODULE module, int id);
