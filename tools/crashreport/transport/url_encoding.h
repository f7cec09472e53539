// Form URL encoding of the report's field values.
#pragma once

#include <cstddef>

// URL-encodes the 0-terminated byte string input into output, which has room
// bytes (terminator included). A-Z, a-z, 0-9 and "-._~" are copied; every
// other byte becomes "%XX" (upper-case hex). Returns true with *written = the
// characters written (terminator not counted). Returns false, with
// ERROR_INSUFFICIENT_BUFFER as the thread's last error, when the room runs
// out; output then holds the part that fitted, terminated when room > 0.
bool EncodeUrlString(char* output, const char* input, size_t room, size_t* written);
