// Rectangles, sizes and the window-style bits, with the Windows values.
#pragma once

#include <cstdint>

namespace vistrel {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct ScreenSize {
  int32_t width = 0;
  int32_t height = 0;
};

// What a placement gives to window creation: outer rectangle and style bits.
struct WindowPlacement {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t style = 0;
  bool showMaximized = false;
  friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

inline constexpr uint32_t kStyleNormal = 0x00CF0000;       // WS_OVERLAPPEDWINDOW
inline constexpr uint32_t kStyleFixed = 0x00CA0000;        // caption, system menu, minimise box
inline constexpr uint32_t kStylePopup = 0x80000000;        // WS_POPUP: full screen
inline constexpr uint32_t kStyleCaption = 0x00C00000;      // WS_CAPTION (border and title bar)
inline constexpr uint32_t kStyleSizingFrame = 0x00040000;  // WS_THICKFRAME

}  // namespace vistrel
