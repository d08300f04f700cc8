// What the main window does with each message it handles. The Win32 window
// procedure and the GTK signal handlers both call these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rules/view_upkeep.h"
#include "seam/platform.h"

namespace vistrel {

inline constexpr uint32_t kFileWatchTimer = 1;
inline constexpr uint32_t kFileWatchPeriodMs = 100;

void OnMainWindowCreate(WindowHandle window);
void OnMainWindowDestroy(WindowHandle window);
void OnMainWindowSize(WindowHandle window, SizeKind kind);
// The window was activated or given the keyboard: the page takes it.
void OnMainWindowFocus(WindowHandle window);
// The window moved: the view's pop-ups follow it.
void OnMainWindowMove(WindowHandle window);
// The window went to a monitor of another scale: it takes the rectangle the
// system suggests, and with /z the page the zoom for the new scale.
void OnMainWindowDpiChanged(WindowHandle window, uint32_t dpi, const Rect& suggested);
// The session ends and the process may be killed once this returns: the view
// closes and the exit clean-up runs now.
void OnMainWindowEndSession(WindowHandle window);
void OnMainWindowClose(WindowHandle window);
void OnMainWindowTimer(WindowHandle window);
void OnMainWindowFileChanged(WindowHandle window);
// A warning box owned by the window, then the window goes.
void OnFatalMessage(WindowHandle window, const std::u16string& text);
// The same from the message loop, as a runtime handler needs it.
void PostFatalMessage(const std::u16string& text);
// The height a maximised fixed-size window may take; nullopt: the system's.
std::optional<int32_t> MaximizedHeightLimit();

// Shows the HTML file again when its write time changed since it was last
// loaded and the previous load has completed; closes the window when the
// file cannot be reached any more.
void ReloadHtmlFileIfChanged(WindowHandle window);

}  // namespace vistrel
