#include "run/downloads_and_title.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "run/window_procedure.h"
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
  PostFatalMessage(ComposeArgumentMessage(options.address, MsgFileNotSupported));
  return S_OK;
}

}  // namespace vistrel
