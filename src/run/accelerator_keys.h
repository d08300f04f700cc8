// Ctrl+M toggles the sound, Ctrl+U is swallowed, Alt+Home goes home.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

inline constexpr UINT kKeyControl = 0x11;  // VK_CONTROL
inline constexpr UINT kKeyAlt = 0x12;      // VK_MENU
inline constexpr UINT kKeyHome = 0x24;     // VK_HOME
inline constexpr UINT kKeyM = 0x4D;
inline constexpr UINT kKeyU = 0x55;

HRESULT OnAcceleratorKeyPressed(ICoreWebView2Controller* sender, ICoreWebView2AcceleratorKeyPressedEventArgs* args);

}  // namespace vistrel
