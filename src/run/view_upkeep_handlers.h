// Keeping the web view going: a start that fails, processes that fail, and
// the HTML text served from memory when the runtime will not take it as text.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

// The start-failure box with the result code, posted to the window: the
// window goes and the program ends as at any exit.
void ReportStartFailure(HRESULT result);

// A page's process that ended or hangs shows the page again; the browser
// process that ended starts the web view again, once.
HRESULT OnProcessFailed(ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args);

// Answers the view's request for the private address with the HTML text.
HRESULT OnWebResourceRequested(ICoreWebView2* sender, ICoreWebView2WebResourceRequestedEventArgs* args);

// Shows the HTML text: as text where the runtime takes it, else from memory at
// the private address. False when neither could start.
bool ShowHtmlText();

}  // namespace vistrel
