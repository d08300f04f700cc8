// The handler objects given to the runtime: each implements IUnknown and one
// handler interface and calls one function. It starts with one reference,
// which the creator's RuntimeRef releases once the runtime holds its own.
#pragma once

#include <functional>

#include "runtime/runtime.h"
#include "runtime/runtime_object.h"
#include "runtime/runtime_ref.h"

namespace vistrel {

template <class Interface>
struct HandlerTraits;

#define VISTREL_HANDLER(Interface, ...)                     \
  template <>                                               \
  struct HandlerTraits<Interface> {                         \
    static constexpr const IID* kIid = &IID_##Interface;     \
    using Function = std::function<HRESULT(__VA_ARGS__)>;   \
  };

VISTREL_HANDLER(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT, ICoreWebView2Environment*)
VISTREL_HANDLER(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT, ICoreWebView2Controller*)
VISTREL_HANDLER(ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*)
VISTREL_HANDLER(ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                ICoreWebView2NavigationCompletedEventArgs*)
VISTREL_HANDLER(ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*)
VISTREL_HANDLER(ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*, IUnknown*)
VISTREL_HANDLER(ICoreWebView2DownloadStartingEventHandler, ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs*)
VISTREL_HANDLER(ICoreWebView2ContextMenuRequestedEventHandler, ICoreWebView2*,
                ICoreWebView2ContextMenuRequestedEventArgs*)
VISTREL_HANDLER(ICoreWebView2CustomItemSelectedEventHandler, ICoreWebView2ContextMenuItem*, IUnknown*)
VISTREL_HANDLER(ICoreWebView2AcceleratorKeyPressedEventHandler, ICoreWebView2Controller*,
                ICoreWebView2AcceleratorKeyPressedEventArgs*)
VISTREL_HANDLER(ICoreWebView2ClearBrowsingDataCompletedHandler, HRESULT)
VISTREL_HANDLER(ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs*)
VISTREL_HANDLER(ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*,
                ICoreWebView2WebResourceRequestedEventArgs*)

#undef VISTREL_HANDLER

template <class Interface, class Function = typename HandlerTraits<Interface>::Function>
class Handler;

template <class Interface, class... Args>
class Handler<Interface, std::function<HRESULT(Args...)>> final
    : public RuntimeObject<Handler<Interface, std::function<HRESULT(Args...)>>, Interface,
                           HandlerTraits<Interface>::kIid> {
 public:
  using Function = std::function<HRESULT(Args...)>;

  static RuntimeRef<Interface> Create(Function function) {
    return RuntimeRef<Interface>::Adopt(new Handler(std::move(function)));
  }

  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

 private:
  explicit Handler(Function function) : function_(std::move(function)) {}
  ~Handler() override = default;

  Function function_;
};

// A handler that calls the function given.
template <class Interface, class F>
RuntimeRef<Interface> MakeHandler(F function) {
  return Handler<Interface>::Create(typename HandlerTraits<Interface>::Function(std::move(function)));
}

}  // namespace vistrel
