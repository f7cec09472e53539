// Owners of the platform's handle kinds, for both programs. Each closes its
// handle once, on destruction or Reset; none is copyable. Raw close calls
// belong here only.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wininet.h>

#include <utility>

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    bool IsValid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters of the creating call; the old handle is closed.
    Handle* Receive()
    {
        Reset();
        return &handle_;
    }

    Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

    void Reset(Handle handle = Traits::Invalid())
    {
        if (Traits::IsValid(handle_))
            Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Invalid();
};

namespace handle_traits {

// Kernel objects: files answer INVALID_HANDLE_VALUE, everything else null.
struct Kernel {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct Find {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Handle h) { FindClose(h); }
};

struct Registry {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct Internet {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { InternetCloseHandle(h); }
};

struct Module {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

template <typename H>
struct Gdi {
    using Handle = H;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

// COM interface pointers: the owner holds one reference.
template <typename T>
struct Com {
    using Handle = T*;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { h->Release(); }
};

struct Bstr {
    using Handle = BSTR;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { SysFreeString(h); }
};

} // namespace handle_traits

using UniqueHandle = ScopedHandle<handle_traits::Kernel>;
using FindHandle = ScopedHandle<handle_traits::Find>;
using RegistryKey = ScopedHandle<handle_traits::Registry>;
using InternetHandle = ScopedHandle<handle_traits::Internet>;
using ModuleHandle = ScopedHandle<handle_traits::Module>;
template <typename H>
using GdiHandle = ScopedHandle<handle_traits::Gdi<H>>;
using BitmapHandle = GdiHandle<HBITMAP>;
using FontHandle = GdiHandle<HFONT>;
template <typename T>
using ComPointer = ScopedHandle<handle_traits::Com<T>>;
using BstrString = ScopedHandle<handle_traits::Bstr>;
using BrushHandle = GdiHandle<HBRUSH>;
