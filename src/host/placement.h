// Where the window goes, how large it is and which style it has.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "platform/platform.h"

namespace vistrel {

inline constexpr uint32_t kStyleNormal = 0x00CF0000;  // WS_OVERLAPPEDWINDOW
inline constexpr uint32_t kStyleFixed = 0x00CA0000;   // caption, system menu, minimise box
inline constexpr uint32_t kStylePopup = 0x80000000;   // WS_POPUP: full screen

// Pure. The screen size is used only for full screen.
WindowPlacement ComputeWindowPlacement(const Options& o, const Rect& area, int32_t screenWidth,
                                       int32_t screenHeight);

// 96 DPI is a zoom factor of 1; a DPI that cannot be read (0) keeps 1.
double ZoomFactorFromDpi(uint32_t appliedDpi);

}  // namespace vistrel
