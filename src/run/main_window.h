// The zoom factor, the icon and the creation of the one window.
#pragma once

#include <optional>

#include "rules/placement.h"
#include "seam/platform.h"

namespace vistrel {

// 96 / AppliedDPI of the display; 1 when it cannot be read.
double ReadZoomFactor();

// The icon named with /i, the start-up shortcut's icon, or the default one.
// nullopt when the /i icon is missing or unusable (its message shown); an
// empty handle when the window simply gets no icon of its own.
std::optional<IconHandle> ResolveWindowIcon();

// Creates, decorates and shows the window; deletes the HTML file for /ld.
void CreateMainWindow(const WindowPlacement& placement, IconHandle icon);

}  // namespace vistrel
