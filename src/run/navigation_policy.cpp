#include "run/navigation_policy.h"

#include "base/options.h"
#include "base/text.h"
#include "run/host_state.h"
#include "seam/platform.h"
#include "runtime/runtime_ref.h"
#include "rules/site.h"

namespace vistrel {

namespace {

bool Outside(const std::u16string& address) {
  return !options.noBrowsingLimit && !IsWithinSite(address, hostState.siteScope);
}

// Only a page from the user's own disk may have the system open a local file
// or program; a page from the web never may.
void HandOver(const std::u16string& address) {
  if (options.privateMode) return;
  if (EqualsIgnoringCase(SchemePart(address), u"file:") && !hostState.siteIsLocal) return;
  CurrentPlatform().OpenWithDefaultHandler(address);
}

}  // namespace

HRESULT OnNavigationStarting(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeString uri;
  args->get_Uri(uri.Put());
  const std::u16string address = uri.Text();
  if (address.empty()) {
    // Nothing to test or hand over: let it be until a site is known, then refuse it.
    if (!options.noBrowsingLimit && !hostState.siteScope.empty()) args->put_Cancel(TRUE);
    return S_OK;
  }
  if (Outside(address)) {
    args->put_Cancel(TRUE);
    HandOver(address);
  }
  return S_OK;
}

HRESULT OnNewWindowRequested(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeString uri;
  args->get_Uri(uri.Put());
  // The runtime never opens a window of its own.
  args->put_Handled(TRUE);
  if (!options.noBrowsingLimit && options.privateMode) return S_OK;
  const std::u16string address = uri.Text();
  if (address.empty()) return S_OK;
  if (Outside(address)) {
    HandOver(address);
  } else if (hostState.webView) {
    hostState.webView->Navigate(RuntimeText(address));
  }
  return S_OK;
}

}  // namespace vistrel
