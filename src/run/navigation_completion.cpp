#include "run/navigation_completion.h"

#include "rules/site.h"
#include "rules/view_upkeep.h"
#include "rules/web_verdicts.h"
#include "run/host_state.h"
#include "runtime/runtime_ref.h"

namespace vistrel {

HRESULT OnNavigationCompleted(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs*) {
  // Success or failure alike: the first page that completes fixes the site.
  if (hostState.siteScope.empty() && sender != nullptr) {
    RuntimeString source;
    sender->get_Source(source.Put());
    // The HTML served from memory is the HTML text, as if handed over as text.
    const std::u16string address = source.Text() == kServedHtmlAddress ? u"about:blank" : source.Text();
    hostState.siteScope = DeriveSiteScope(address);
    hostState.siteIsLocal = IsLocalSite(hostState.siteScope, address);
  }
  hostState.navigationCompleted = true;
  return S_OK;
}

}  // namespace vistrel
