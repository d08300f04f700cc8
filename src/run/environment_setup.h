// Creating the web view inside the window: environment, controller, settings,
// event handlers and the first navigation.
#pragma once

#include "runtime/runtime.h"

namespace vistrel {

// Asks the runtime for the environment; everything else follows in handlers.
void CreateWebView();

HRESULT OnEnvironmentCreated(HRESULT status, ICoreWebView2Environment* environment);
HRESULT OnControllerCreated(HRESULT status, ICoreWebView2Controller* controller);

// Opens the start address; a refused address ends the run with its message.
void NavigateToStartAddress();
// Inverts the program's muting state and the view's.
void ToggleMute();

}  // namespace vistrel
