// The program's keys: Ctrl+M toggles the sound, Ctrl+U is swallowed,
// Alt+Home goes home.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

HRESULT OnAcceleratorKeyPressed(ICoreWebView2Controller* sender, ICoreWebView2AcceleratorKeyPressedEventArgs* args);

}  // namespace vistrel
