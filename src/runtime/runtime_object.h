// Reference-counted objects that implement runtime interfaces: the program's
// handlers, and on Linux the runtime's own objects.
#pragma once

#include <atomic>
#include <utility>

#include "runtime/runtime.h"
#include "runtime/runtime_ref.h"

namespace vistrel {

// One object answering IUnknown and exactly the interface identifiers listed,
// all of one chain of interfaces. It starts with one reference, which its
// creator holds.
template <class Derived, class Interface, const IID*... Iids>
class RuntimeObject : public Interface {
 public:
  // A new object whose one reference the caller holds.
  template <class... Args>
  static RuntimeRef<Derived> New(Args&&... args) {
    return RuntimeRef<Derived>::Adopt(new Derived(std::forward<Args>(args)...));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || (IsEqualIID(iid, *Iids) || ...)) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  RuntimeObject() = default;
  virtual ~RuntimeObject() = default;
  RuntimeObject(const RuntimeObject&) = delete;
  RuntimeObject& operator=(const RuntimeObject&) = delete;

  // Kept alive while it calls out: a handler may drop the last reference.
  RuntimeRef<Derived> KeepAlive() { return RuntimeRef<Derived>::Share(static_cast<Derived*>(this)); }

 private:
  std::atomic<ULONG> count_{1};
};

}  // namespace vistrel
