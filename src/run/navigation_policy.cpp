#include "run/navigation_policy.h"

#include "base/options.h"
#include "rules/view_upkeep.h"
#include "rules/web_verdicts.h"
#include "run/host_state.h"
#include "runtime/runtime_ref.h"
#include "seam/platform.h"

namespace vistrel {

namespace {

// Whether the user asked for it; a flag the runtime cannot give counts as not.
template <class Args>
bool UserInitiated(Args* args) {
  BOOL user = FALSE;
  return args->get_IsUserInitiated(&user) == S_OK && user != FALSE;
}

// The shell may show windows of its own: not while the runtime waits on its handler.
void HandOver(const std::u16string& address) {
  CurrentPlatform().PostToWindow(hostState.mainWindow,
                                 [address] { CurrentPlatform().OpenWithDefaultHandler(address); });
}

}  // namespace

SiteRule CurrentSiteRule() { return SiteRuleFor(options, hostState.siteScope, hostState.siteIsLocal); }

HRESULT OnNavigationStarting(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  RuntimeString uri;
  args->get_Uri(uri.Put());
  const std::u16string address = uri.Text();
  // The HTML text served from memory is the program's own page, not one the
  // page navigates to: the site's rules are for the page's navigations.
  if (hostState.servingHtml && address == kServedHtmlAddress) return S_OK;
  const NavigationVerdict verdict = DecideNavigation(CurrentSiteRule(), address, UserInitiated(args));
  if (verdict.cancel) args->put_Cancel(TRUE);
  if (verdict.handOver) HandOver(address);
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
  if (verdict.handOver) HandOver(address);
  if (verdict.showInView && hostState.webView) hostState.webView->Navigate(RuntimeText(address));
  return S_OK;
}

}  // namespace vistrel
