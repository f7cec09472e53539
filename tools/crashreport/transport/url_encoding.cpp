#include "url_encoding.h"

#include <windows.h>

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

bool EncodeUrlString(char* output, const char* input, size_t room, size_t* written)
{
    static const char HEX[] = "0123456789ABCDEF";
    size_t used = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(input); *p; ++p) {
        size_t needed = IsUnreserved(*p) ? 1 : 3;
        if (used + needed + 1 > room) {
            if (room > 0)
                output[used] = 0;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        if (needed == 1) {
            output[used++] = static_cast<char>(*p);
        } else {
            output[used++] = '%';
            output[used++] = HEX[*p >> 4];
            output[used++] = HEX[*p & 15];
        }
    }
    if (room == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    output[used] = 0;
    if (written)
        *written = used;
    return true;
}
