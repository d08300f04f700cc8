#include "run/window_procedure.h"

#include "base/catalog.h"
#include "base/options.h"
#include "run/host_state.h"
#include "rules/placement.h"
#include "run/html_file.h"
#include "run/user_data.h"
#include "run/view_upkeep_handlers.h"
#include "runtime/handler.h"

namespace vistrel {

namespace {
// A fixed-size window that did not fit is shown maximised; its frame reaches
// past the work area by this much.
constexpr int32_t kMaximizedFrameAllowance = 16;
}  // namespace

void OnMainWindowCreate(WindowHandle window) {
  if (!options.reflectFileUpdate) return;
  // A change is shown as soon as the file system tells of it; where it does
  // not (a network share), the timer looks for changes instead.
  Platform& platform = CurrentPlatform();
  hostState.fileNotices = platform.WatchFile(window, options.address);
  if (!hostState.fileNotices) platform.StartTimer(window, kFileWatchTimer, kFileWatchPeriodMs);
}

void OnMainWindowDestroy(WindowHandle window) {
  Platform& platform = CurrentPlatform();
  if (options.reflectFileUpdate) platform.StopTimer(window, kFileWatchTimer);
  platform.QuitMessageLoop();
}

void OnMainWindowSize(WindowHandle window, SizeKind kind) {
  if (!hostState.controller) return;
  const ViewSizing sizing = SizingFor(kind, hostState.viewHidden);
  if (sizing.hide || sizing.show) {
    hostState.viewHidden = sizing.hide;
    hostState.controller->put_IsVisible(sizing.show ? TRUE : FALSE);
  }
  if (!sizing.bounds) return;
  const Rect client = CurrentPlatform().ClientRect(window);
  hostState.controller->put_Bounds(RECT{client.left, client.top, client.right, client.bottom});
}

void OnMainWindowFocus(WindowHandle) {
  if (hostState.controller) hostState.controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

void OnMainWindowMove(WindowHandle) {
  if (hostState.controller) hostState.controller->NotifyParentWindowPositionChanged();
}

void OnMainWindowDpiChanged(WindowHandle window, uint32_t dpi, const Rect& suggested) {
  CurrentPlatform().MoveWindowTo(window, suggested);
  if (!options.adjustZoom) return;
  hostState.zoomFactor = ZoomFactorFromDpi(dpi);
  if (hostState.controller) hostState.controller->put_ZoomFactor(hostState.zoomFactor);
}

void OnMainWindowEndSession(WindowHandle) {
  if (hostState.controller) hostState.controller->Close();
  ExitCleanup();  // before returning: the process may be killed next
}

namespace {

void CloseWebViewAndWindow(WindowHandle window) {
  if (hostState.controller) hostState.controller->Close();
  CurrentPlatform().DestroyMainWindow(window);
}

}  // namespace

void OnMainWindowClose(WindowHandle window) {
  // Kept data loses its disk cache first; scratch data goes whole at exit.
  if (options.keepData && hostState.profile) {
    auto onCleared = MakeHandler<ICoreWebView2ClearBrowsingDataCompletedHandler>([window](HRESULT) {
      CloseWebViewAndWindow(window);
      return S_OK;
    });
    // A clear that fails at once will never report back: close now.
    const HRESULT result =
        hostState.profile->ClearBrowsingData(COREWEBVIEW2_BROWSING_DATA_KINDS_DISK_CACHE, onCleared.get());
    if (result >= 0) return;
  }
  CloseWebViewAndWindow(window);
}

void OnMainWindowTimer(WindowHandle window) {
  if (!options.reflectFileUpdate) return;
  ReloadHtmlFileIfChanged(window);
  // With the file system's notices the timer only bridges a change that came
  // while the page was loading.
  if (hostState.fileNotices && !hostState.reloadWaiting) CurrentPlatform().StopTimer(window, kFileWatchTimer);
}

void OnMainWindowFileChanged(WindowHandle window) {
  // The same check as the timer's: a notice alone shows nothing twice.
  if (options.reflectFileUpdate) ReloadHtmlFileIfChanged(window);
}

void OnFatalMessage(WindowHandle window, const std::u16string& text) {
  Platform& platform = CurrentPlatform();
  platform.ShowMessageBox(window, text, std::u16string(kProgramTitle), kBoxWarning);
  platform.DestroyMainWindow(window);
}

void PostFatalMessage(const std::u16string& text) {
  const WindowHandle window = hostState.mainWindow;
  CurrentPlatform().PostToWindow(window, [window, text] { OnFatalMessage(window, text); });
}

std::optional<int32_t> MaximizedHeightLimit() {
  if (!options.fixedSize) return std::nullopt;
  const Rect area = CurrentPlatform().WorkArea().value_or(Rect{});
  return static_cast<int32_t>(int64_t{area.bottom} - area.top + kMaximizedFrameAllowance);
}

void ReloadHtmlFileIfChanged(WindowHandle window) {
  Platform& platform = CurrentPlatform();
  const std::optional<uint64_t> writeTime = platform.FileWriteTime(options.address);
  if (!writeTime) {
    // The file was deleted or moved away: the page has nothing left to follow.
    platform.DestroyMainWindow(window);
    return;
  }
  // Any difference counts: a file put back to an older version is news too.
  if (*writeTime == hostState.fileWriteTime) {
    hostState.reloadWaiting = false;
    return;
  }
  if (!hostState.navigationCompleted) {
    // No notice may come again for this change: the timer looks until the load is done.
    if (hostState.fileNotices && !hostState.reloadWaiting) {
      hostState.reloadWaiting = true;
      platform.StartTimer(window, kFileWatchTimer, kFileWatchPeriodMs);
    }
    return;
  }
  hostState.reloadWaiting = false;
  hostState.navigationCompleted = false;
  hostState.fileWriteTime = *writeTime;
  // A reload that cannot start leaves nothing loading, so later changes are
  // still shown. Before the web view exists its first page takes the text.
  if (!LoadHtmlFile(options.address) || (hostState.webView && !ShowHtmlText())) {
    hostState.navigationCompleted = true;
  }
}

}  // namespace vistrel
