// The process-wide state of the running window.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/runtime.h"
#include "runtime/runtime_ref.h"
#include "seam/platform.h"

namespace vistrel {

struct HostStateRecord {
  WindowHandle mainWindow = nullptr;
  double zoomFactor = 1.0;
  std::u16string userDataFolder;
  std::u16string htmlText;
  uint64_t fileWriteTime = 0;
  bool navigationCompleted = false;
  // The file system tells of the HTML file's changes, so no timer has to look.
  bool fileNotices = false;
  // A change came while the page was still loading: the timer looks again.
  bool reloadWaiting = false;
  std::u16string siteScope;
  // The first page came from the user's own disk (a file, or the HTML of /l).
  bool siteIsLocal = false;
  uint32_t browserProcessId = 0;
  // The view is hidden while the window is minimised.
  bool viewHidden = false;
  // The web view was started again after its browser process had ended.
  bool startedAgain = false;
  // The view asks for the private address of the HTML text and is answered.
  bool servingHtml = false;
  // The exit clean-up has run (at log-off, before the process may be killed).
  bool cleanedUp = false;

  // Runtime references, held until the process ends.
  RuntimeRef<ICoreWebView2Environment> environment;
  RuntimeRef<ICoreWebView2Environment9> environment9;
  RuntimeRef<ICoreWebView2Environment10> environment10;
  RuntimeRef<ICoreWebView2Controller> controller;
  RuntimeRef<ICoreWebView2> webView;
  RuntimeRef<ICoreWebView2_4> webView4;
  RuntimeRef<ICoreWebView2_8> webView8;
  RuntimeRef<ICoreWebView2_11> webView11;
  RuntimeRef<ICoreWebView2_13> webView13;
  RuntimeRef<ICoreWebView2Settings> settings;
  RuntimeRef<ICoreWebView2Settings3> settings3;
  RuntimeRef<ICoreWebView2Settings4> settings4;
  RuntimeRef<ICoreWebView2Profile2> profile;
};

extern HostStateRecord hostState;

}  // namespace vistrel
