// The program's own items at the end of the page's context menu.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

HRESULT OnContextMenuRequested(ICoreWebView2* sender, ICoreWebView2ContextMenuRequestedEventArgs* args);
HRESULT OnHomeItemSelected(ICoreWebView2ContextMenuItem* item, IUnknown* args);
HRESULT OnMuteItemSelected(ICoreWebView2ContextMenuItem* item, IUnknown* args);
HRESULT OnClearDataItemSelected(ICoreWebView2ContextMenuItem* item, IUnknown* args);
HRESULT OnClearDataCompleted(HRESULT status);

}  // namespace vistrel
