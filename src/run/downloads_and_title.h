// The window title follows the page; downloads from an HTML string are refused.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

HRESULT OnDocumentTitleChanged(ICoreWebView2* sender, IUnknown* args);
HRESULT OnDownloadStarting(ICoreWebView2* sender, ICoreWebView2DownloadStartingEventArgs* args);

}  // namespace vistrel
