// What the main window does with each message it handles. The Win32 window
// procedure and the GTK signal handlers both call these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "seam/platform.h"

namespace vistrel {

inline constexpr uint32_t kFileWatchTimer = 1;
inline constexpr uint32_t kFileWatchPeriodMs = 100;

void OnMainWindowCreate(WindowHandle window);
void OnMainWindowDestroy(WindowHandle window);
void OnMainWindowSize(WindowHandle window);
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
