// A completed load: re-arms the file reload and fixes the site once.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

HRESULT OnNavigationCompleted(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args);

}  // namespace vistrel
