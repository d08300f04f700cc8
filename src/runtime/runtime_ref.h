// Owning references to runtime objects, and the runtime's strings.
#pragma once

#include <string>
#include <utility>

#include "runtime/runtime.h"

namespace vistrel {

// The identifier QueryInterface knows each interface by, from its type.
template <class Interface>
struct InterfaceId;

#define VISTREL_INTERFACE_ID(Interface) \
  template <>                            \
  struct InterfaceId<Interface> {        \
    static const IID& Get() { return IID_##Interface; } \
  };

VISTREL_INTERFACE_ID(ICoreWebView2Environment9)
VISTREL_INTERFACE_ID(ICoreWebView2Environment10)
VISTREL_INTERFACE_ID(ICoreWebView2_4)
VISTREL_INTERFACE_ID(ICoreWebView2_8)
VISTREL_INTERFACE_ID(ICoreWebView2_11)
VISTREL_INTERFACE_ID(ICoreWebView2_13)
VISTREL_INTERFACE_ID(ICoreWebView2Profile2)
VISTREL_INTERFACE_ID(ICoreWebView2Settings3)
VISTREL_INTERFACE_ID(ICoreWebView2Settings4)

#undef VISTREL_INTERFACE_ID

// Holds one reference; releases it when replaced or destroyed.
template <class T>
class RuntimeRef {
 public:
  RuntimeRef() = default;
  RuntimeRef(std::nullptr_t) {}
  // Takes over a reference the caller owns (a runtime out-parameter, a new object).
  static RuntimeRef Adopt(T* object) {
    RuntimeRef ref;
    ref.object_ = object;
    return ref;
  }
  // Adds a reference of its own.
  static RuntimeRef Share(T* object) {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }
  RuntimeRef(const RuntimeRef& other) : RuntimeRef(Share(other.object_)) {}
  RuntimeRef(RuntimeRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  RuntimeRef& operator=(RuntimeRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~RuntimeRef() {
    if (object_ != nullptr) object_->Release();
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // For an out-parameter: drops what is held and lets the callee fill it.
  T** Put() {
    *this = nullptr;
    return &object_;
  }

  // Another interface of the same object, named by its type; empty when the
  // object has none.
  template <class U>
  RuntimeRef<U> Query() const {
    RuntimeRef<U> other;
    if (object_ != nullptr) object_->QueryInterface(InterfaceId<U>::Get(), reinterpret_cast<void**>(other.Put()));
    return other;
  }

 private:
  T* object_ = nullptr;
};

// A string handed out by the runtime, freed with CoTaskMemFree.
class RuntimeString {
 public:
  RuntimeString() = default;
  RuntimeString(const RuntimeString&) = delete;
  RuntimeString& operator=(const RuntimeString&) = delete;
  ~RuntimeString() { CoTaskMemFree(text_); }

  LPWSTR* Put() {
    CoTaskMemFree(text_);
    text_ = nullptr;
    return &text_;
  }
  bool HasText() const { return text_ != nullptr; }
  std::u16string Text() const {
    if (text_ == nullptr) return {};
    const auto* units = reinterpret_cast<const char16_t*>(text_);
    return std::u16string(units);
  }

 private:
  LPWSTR text_ = nullptr;
};

// A UTF-16 string as the runtime takes it.
inline LPCWSTR RuntimeText(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

}  // namespace vistrel
