// Reference counting across the runtime's C interface, and its strings.
//
// An object of ours (RefCountedObject) exposes one or more interface
// structures, each an ObjectFacet whose add_ref and release count on the
// object. The runtime's structures are held by RuntimeRef, which releases
// the reference it was handed.
#pragma once

#include "cef_capi.h"

#include <atomic>
#include <string>
#include <utility>

class RefCountedObject {
  public:
    void AddRef() { count_.fetch_add(1, std::memory_order_relaxed); }
    int Release()
    {
        if (count_.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return 0;
        delete this;
        return 1;
    }
    bool HasOneRef() const { return count_.load(std::memory_order_acquire) == 1; }

  protected:
    RefCountedObject() = default;
    virtual ~RefCountedObject() = default;

  private:
    std::atomic<int> count_{1}; // the creator's reference
};

// One interface structure of an object; the structure comes first, so the
// runtime's self pointer leads back to the facet and its owner.
template <class Struct> struct ObjectFacet {
    Struct cef{};
    RefCountedObject* owner = nullptr;

    void Init(RefCountedObject* object)
    {
        owner = object;
        cef.base.size = sizeof(Struct);
        cef.base.add_ref = [](cef_base_t* self) { FromBase(self)->owner->AddRef(); };
        cef.base.release = [](cef_base_t* self) { return FromBase(self)->owner->Release(); };
        cef.base.has_one_ref = [](cef_base_t* self) { return FromBase(self)->owner->HasOneRef() ? 1 : 0; };
    }
    // The structure with a reference added for the runtime, which takes it.
    Struct* Share()
    {
        owner->AddRef();
        return &cef;
    }
    template <class Owner> static Owner* OwnerOf(const Struct* self)
    {
        return static_cast<Owner*>(reinterpret_cast<const ObjectFacet*>(self)->owner);
    }

  private:
    static ObjectFacet* FromBase(cef_base_t* base) { return reinterpret_cast<ObjectFacet*>(base); }
};

// One reference to a structure of the runtime's.
template <class Struct> class RuntimeRef {
  public:
    RuntimeRef() = default;
    // Takes over the reference that came with the pointer.
    explicit RuntimeRef(Struct* adopted) : ptr_(adopted) {}
    RuntimeRef(const RuntimeRef& other) : ptr_(other.ptr_) { AddRef(); }
    RuntimeRef(RuntimeRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    RuntimeRef& operator=(RuntimeRef other) noexcept
    {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~RuntimeRef() { Reset(); }

    void Reset()
    {
        if (ptr_)
            Base()->release(Base());
        ptr_ = nullptr;
    }
    // The pointer with a reference added, to hand to the runtime.
    Struct* Share() const
    {
        AddRef();
        return ptr_;
    }
    Struct* get() const { return ptr_; }
    Struct* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

  private:
    cef_base_t* Base() const { return reinterpret_cast<cef_base_t*>(ptr_); }
    void AddRef() const
    {
        if (ptr_)
            Base()->add_ref(Base());
    }
    Struct* ptr_ = nullptr;
};

template <class Struct> RuntimeRef<Struct> Adopt(Struct* pointer)
{
    return RuntimeRef<Struct>(pointer);
}

// A runtime string of our own text, cleared when it goes.
class CefText {
  public:
    explicit CefText(const std::wstring& text)
    {
        cef_string_utf16_set(text.c_str(), text.size(), &value_, 1);
    }
    ~CefText() { cef_string_utf16_clear(&value_); }
    CefText(const CefText&) = delete;
    CefText& operator=(const CefText&) = delete;
    const cef_string_t* get() const { return &value_; }

  private:
    cef_string_t value_{};
};

// The text of a runtime string (null gives "").
inline std::wstring FromCef(const cef_string_t* text)
{
    return text && text->str ? std::wstring(text->str, text->length) : std::wstring();
}

// The text of a string the runtime handed over, which is then freed.
inline std::wstring TakeCef(cef_string_userfree_t text)
{
    std::wstring result = FromCef(text);
    if (text)
        cef_string_userfree_utf16_free(text);
    return result;
}
