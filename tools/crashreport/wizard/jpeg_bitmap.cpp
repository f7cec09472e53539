#include "jpeg_bitmap.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>

namespace {

// Releases a COM interface when it goes.
template <typename Interface> struct ComRef {
    Interface* pointer = nullptr;
    ~ComRef()
    {
        if (pointer)
            pointer->Release();
    }
};

struct GlobalMemory {
    HGLOBAL handle;
    explicit GlobalMemory(HGLOBAL h) : handle(h) {}
    ~GlobalMemory()
    {
        if (handle)
            GlobalFree(handle);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;
};

} // namespace

HBITMAP LoadJpegResourceBitmap(HMODULE module, int id)
{
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"JPEG");
    if (!resource)
        return nullptr;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return nullptr;

    // The picture loader reads from a stream, and a stream needs movable
    // memory of its own.
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory.handle)
        return nullptr;
    void* copy = GlobalLock(memory.handle);
    if (!copy)
        return nullptr;
    memcpy(copy, bytes, size);
    GlobalUnlock(memory.handle);

    ComRef<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(memory.handle, FALSE, &stream.pointer)))
        return nullptr;
    ComRef<IPicture> picture;
    HRESULT loadedPicture = OleLoadPicture(stream.pointer, static_cast<LONG>(size), FALSE, IID_IPicture,
                                           reinterpret_cast<void**>(&picture.pointer));
    if (FAILED(loadedPicture) || !picture.pointer)
        return nullptr;

    OLE_HANDLE handle = 0;
    if (FAILED(picture.pointer->get_Handle(&handle)) || !handle)
        return nullptr;
    // The picture owns its bitmap and deletes it on release: keep a copy of
    // the same format. (Flags 0: a copy that returned the original would be
    // deleted with the picture.)
    return static_cast<HBITMAP>(
        CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0, 0, 0));
}
