#include "run/downloads_and_title.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "runtime/runtime_ref.h"
#include "seam/platform.h"

namespace vistrel {

HRESULT OnDocumentTitleChanged(ICoreWebView2* sender, IUnknown*) {
  // A title given on the command line stays.
  if (!options.title.empty() || sender == nullptr) return S_OK;
  RuntimeString title;
  sender->get_DocumentTitle(title.Put());
  CurrentPlatform().SetWindowTitle(hostState.mainWindow, title.Text());
  return S_OK;
}

HRESULT OnDownloadStarting(ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
  if (hostState.siteScope != u"about:blank" || args == nullptr) return S_OK;
  args->put_Cancel(TRUE);
  // Posted: the box comes once this handler has returned, so the text must
  // live until then; it lives as long as the process.
  static std::u16string message;
  message = ComposeArgumentMessage(options.address, MsgFileNotSupported);
  CurrentPlatform().PostFatalMessage(hostState.mainWindow, &message);
  return S_OK;
}

}  // namespace vistrel
