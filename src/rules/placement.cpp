#include "rules/placement.h"

#include <limits>

namespace vistrel {

namespace {

constexpr int32_t kDefaultWidth = 1400;
constexpr int32_t kHeightMargin = 20;
constexpr double kReferenceDpi = 96.0;

int32_t Clamp32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace

WindowPlacement ComputeWindowPlacement(const Options& o, const Rect& area, int32_t screenWidth,
                                       int32_t screenHeight) {
  WindowPlacement p;
  p.style = o.fullScreen ? kStylePopup : o.fixedSize ? kStyleFixed : kStyleNormal;
  if (o.fullScreen) {
    p.width = screenWidth;
    p.height = screenHeight;
    return p;
  }
  const int64_t areaWidth = int64_t{area.right} - area.left;
  const int64_t areaHeight = int64_t{area.bottom} - area.top;
  if (o.positionGiven) {
    p.x = o.x;
    p.y = o.y;
    p.width = o.width;
    p.height = o.height;
    return p;
  }
  int64_t width = o.sizeGiven ? o.width : kDefaultWidth;
  int64_t height = o.sizeGiven ? int64_t{o.height} : areaHeight - kHeightMargin;
  if (width > areaWidth) {
    // Too wide: the whole work area, maximised; the requested height is dropped.
    width = areaWidth;
    height = areaHeight;
    p.showMaximized = true;
  } else if (height > areaHeight) {
    height = areaHeight - kHeightMargin;
  }
  // Centred on a rectangle of the work area's size at the screen origin;
  // C++ division truncates toward zero.
  p.x = Clamp32((areaWidth - width) / 2);
  p.y = Clamp32((areaHeight - height) / 2);
  p.width = Clamp32(width);
  p.height = Clamp32(height);
  return p;
}

double ZoomFactorFromDpi(uint32_t appliedDpi) {
  return appliedDpi == 0 ? 1.0 : kReferenceDpi / static_cast<double>(appliedDpi);
}

}  // namespace vistrel
