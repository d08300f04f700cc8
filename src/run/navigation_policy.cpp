#include "run/navigation_policy.h"

#include "base/options.h"
#include "rules/web_verdicts.h"
#include "run/host_state.h"
#include "runtime/runtime_ref.h"
#include "seam/platform.h"

namespace vistrel {

namespace {

SiteRule CurrentSiteRule() { return SiteRuleFor(options, hostState.siteScope, hostState.siteIsLocal); }

// Whether the user asked for it; a flag the runtime cannot give counts as not.
template <class Args>
bool UserInitiated(Args* args) {
  BOOL user = FALSE;
  return args->get_IsUserInitiated(&user) == S_OK && user != FALSE;
}

}  // namespace

HRESULT OnNavigationStarting(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeString uri;
  args->get_Uri(uri.Put());
  const std::u16string address = uri.Text();
  const NavigationVerdict verdict = DecideNavigation(CurrentSiteRule(), address, UserInitiated(args));
  if (verdict.cancel) args->put_Cancel(TRUE);
  if (verdict.handOver) CurrentPlatform().OpenWithDefaultHandler(address);
  return S_OK;
}

HRESULT OnNewWindowRequested(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeString uri;
  args->get_Uri(uri.Put());
  // The runtime never opens a window of its own.
  args->put_Handled(TRUE);
  const std::u16string address = uri.Text();
  const NewWindowVerdict verdict = DecideNewWindow(CurrentSiteRule(), address, UserInitiated(args));
  if (verdict.handOver) CurrentPlatform().OpenWithDefaultHandler(address);
  if (verdict.showInView && hostState.webView) hostState.webView->Navigate(RuntimeText(address));
  return S_OK;
}

}  // namespace vistrel
