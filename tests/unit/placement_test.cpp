#include "rules/placement.h"

#include <gtest/gtest.h>

namespace vistrel {
namespace {

constexpr Rect kHd{0, 0, 1920, 1040};
constexpr Rect kSmall{0, 0, 1366, 728};

Options Size(int32_t width, int32_t height) {
  Options o;
  o.sizeGiven = true;
  o.width = width;
  o.height = height;
  return o;
}

Options SizeAt(int32_t width, int32_t height, int32_t x, int32_t y) {
  Options o = Size(width, height);
  o.positionGiven = true;
  o.x = x;
  o.y = y;
  return o;
}

Options With(Options o, bool fixedSize, bool fullScreen) {
  o.fixedSize = fixedSize;
  o.fullScreen = fullScreen;
  return o;
}

TEST(PlacementTest, Table) {
  const struct {
    const char* name;
    Options options;
    Rect area;
    WindowPlacement expected;
  } rows[] = {
      {"default size", Options{}, kHd, {260, 10, 1400, 1020, kStyleNormal, false}},
      {"default too wide", Options{}, kSmall, {0, 0, 1366, 728, kStyleNormal, true}},
      {"too tall", Size(800, 5000), kHd, {560, 10, 800, 1020, kStyleNormal, false}},
      {"too wide drops the height", Size(3000, 500), kHd, {0, 0, 1920, 1040, kStyleNormal, true}},
      {"less than the work area", Size(1720, 940), kHd, {100, 50, 1720, 940, kStyleNormal, false}},
      {"exactly the work area", Size(1920, 1040), kHd, {0, 0, 1920, 1040, kStyleNormal, false}},
      {"odd difference truncates", Size(1399, 1039), kHd, {260, 0, 1399, 1039, kStyleNormal, false}},
      {"one pixel too tall", Size(1920, 1041), kHd, {0, 10, 1920, 1020, kStyleNormal, false}},
      {"task bar on the left", Options{}, Rect{60, 0, 1920, 1040}, {230, 10, 1400, 1020, kStyleNormal, false}},
      {"task bar at the top", Size(800, 600), Rect{0, 40, 1920, 1080}, {560, 220, 800, 600, kStyleNormal, false}},
      {"position given", SizeAt(1920, 1040, 100, 100), kHd, {100, 100, 1920, 1040, kStyleNormal, false}},
      {"position given, fixed", With(SizeAt(800, 600, 0, 0), true, false), kHd,
       {0, 0, 800, 600, kStyleFixed, false}},
      {"fixed", With(Size(800, 600), true, false), kHd, {560, 220, 800, 600, kStyleFixed, false}},
      {"fixed and too wide", With(Size(2500, 600), true, false), kHd, {0, 0, 1920, 1040, kStyleFixed, true}},
      {"full screen", With(Options{}, false, true), kHd, {0, 0, 2560, 1440, kStylePopup, false}},
      {"empty work area", Options{}, Rect{}, {0, 0, 0, 0, kStyleNormal, true}},
  };
  for (const auto& row : rows) {
    const WindowPlacement p = ComputeWindowPlacement(row.options, row.area, 2560, 1440);
    EXPECT_EQ(p.x, row.expected.x) << row.name;
    EXPECT_EQ(p.y, row.expected.y) << row.name;
    EXPECT_EQ(p.width, row.expected.width) << row.name;
    EXPECT_EQ(p.height, row.expected.height) << row.name;
    EXPECT_EQ(p.style, row.expected.style) << row.name;
    EXPECT_EQ(p.showMaximized, row.expected.showMaximized) << row.name;
  }
}

TEST(PlacementTest, ZoomFactor) {
  EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(96), 1.0);
  EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(120), 0.8);
  EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(144), 96.0 / 144.0);
  EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(192), 0.5);
  EXPECT_DOUBLE_EQ(ZoomFactorFromDpi(0), 1.0);
}

}  // namespace
}  // namespace vistrel
