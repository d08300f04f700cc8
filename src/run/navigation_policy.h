// Keeping browsing to the site: navigations and new-window requests outside
// it are refused and handed to the system's default handler.
#pragma once

#include "rules/web_verdicts.h"
#include "runtime/runtime.h"

namespace vistrel {

HRESULT OnNavigationStarting(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args);
HRESULT OnNewWindowRequested(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args);

// The rule the handlers above decide by; its scope lives as long as the host state's.
SiteRule CurrentSiteRule();

}  // namespace vistrel
