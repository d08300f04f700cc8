#include "run/view_upkeep_handlers.h"

#include <string>

#include "base/catalog.h"
#include "base/options.h"
#include "rules/view_upkeep.h"
#include "run/environment_setup.h"
#include "run/host_state.h"
#include "run/window_procedure.h"
#include "runtime/handler.h"
#include "seam/platform.h"

namespace vistrel {

namespace {

// HRESULT_FROM_WIN32(ERROR_PROCESS_ABORTED): the browser process ended again.
constexpr HRESULT kBrowserEndedAgain = static_cast<HRESULT>(0x8007042Bu);

FailedProcess ProcessOfKind(COREWEBVIEW2_PROCESS_FAILED_KIND kind) {
  switch (kind) {
    case COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED:
      return FailedProcess::Browser;
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED:
    case COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE:
      return FailedProcess::Page;
    default:
      return FailedProcess::Other;
  }
}

// The dead web view's references go; the site its first page fixed stays.
void StartWebViewAgain() {
  if (hostState.controller) hostState.controller->Close();
  hostState.startedAgain = true;
  hostState.servingHtml = hostState.viewHidden = false;
  hostState.environment = nullptr, hostState.environment9 = nullptr, hostState.environment10 = nullptr;
  hostState.controller = nullptr, hostState.webView = nullptr, hostState.webView4 = nullptr;
  hostState.webView8 = nullptr, hostState.webView11 = nullptr, hostState.webView13 = nullptr;
  hostState.settings = nullptr, hostState.settings3 = nullptr, hostState.settings4 = nullptr;
  hostState.profile = nullptr;
  CreateWebView();
}

}  // namespace

void ReportStartFailure(HRESULT result) {
  PostFatalMessage(CatalogText(MsgWebViewStartFailed) + ResultCodeText(static_cast<uint32_t>(result)));
}

HRESULT OnProcessFailed(ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED;
  if (args == nullptr || args->get_ProcessFailedKind(&kind) < 0) return S_OK;
  switch (RecoveryFor(ProcessOfKind(kind), hostState.startedAgain)) {
    case Recovery::ShowPageAgain:
      if (options.htmlFromFile) {
        ShowHtmlText();
      } else if (hostState.webView) {
        hostState.webView->Reload();
      }
      break;
    case Recovery::StartAgain:
      StartWebViewAgain();
      break;
    case Recovery::GiveUp:
      ReportStartFailure(kBrowserEndedAgain);
      break;
    case Recovery::Nothing:
      break;
  }
  return S_OK;
}

HRESULT OnWebResourceRequested(ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (args == nullptr || !hostState.environment) return S_OK;
  RuntimeRef<ICoreWebView2WebResourceRequest> request;
  args->get_Request(request.Put());
  if (!request) return S_OK;
  RuntimeString uri;
  request->get_Uri(uri.Put());
  if (uri.Text() != kServedHtmlAddress) return S_OK;
  const auto stream = RuntimeRef<IStream>::Adopt(CurrentPlatform().CreateMemoryStream(ServedHtmlBytes(hostState.htmlText)));
  if (!stream) return S_OK;
  RuntimeRef<ICoreWebView2WebResourceResponse> response;
  hostState.environment->CreateWebResourceResponse(stream.get(), 200, RuntimeText(u"OK"),
                                                   RuntimeText(std::u16string(kServedHtmlHeaders)), response.Put());
  if (response) args->put_Response(response.get());
  return S_OK;
}

bool ShowHtmlText() {
  ICoreWebView2* view = hostState.webView.get();
  if (view == nullptr) return false;
  if (view->NavigateToString(RuntimeText(hostState.htmlText)) >= 0) return true;
  // The runtime refuses text over 2 MB: the view asks for the page by address instead.
  const std::u16string address(kServedHtmlAddress);
  if (!hostState.servingHtml) {
    EventRegistrationToken token{};
    if (view->add_WebResourceRequested(
            MakeHandler<ICoreWebView2WebResourceRequestedEventHandler>(OnWebResourceRequested).get(), &token) < 0 ||
        view->AddWebResourceRequestedFilter(RuntimeText(address), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT) < 0) {
      return false;
    }
    hostState.servingHtml = true;
  }
  return view->Navigate(RuntimeText(address)) >= 0;
}

}  // namespace vistrel
