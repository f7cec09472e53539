#include "whole_write.h"

DWORD WriteWhole(HANDLE file, const void* bytes, size_t count)
{
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, at, chunk, &written, nullptr)) {
            // Nothing may run between the call and this read: any other call
            // can reset the thread's last error.
            DWORD error = GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
        }
        // A short write goes on with the rest, whose write then names the
        // cause. A write that takes nothing and names no error only happens
        // on a full volume; going on would loop for ever.
        if (written == 0 || written > chunk)
            return written == 0 ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
        at += written;
        count -= written;
    }
    return ERROR_SUCCESS;
}
