// Where the window goes, how large it is and which style it has.
#pragma once

#include <cstdint>

#include "base/geometry.h"
#include "base/options.h"

namespace vistrel {


// Pure. The screen size is used only for full screen.
WindowPlacement ComputeWindowPlacement(const Options& o, const Rect& area, int32_t screenWidth,
                                       int32_t screenHeight);

// 96 DPI is a zoom factor of 1; a DPI that cannot be read (0) keeps 1.
double ZoomFactorFromDpi(uint32_t appliedDpi);

}  // namespace vistrel
