// The web runtime's interfaces implemented over WebKitGTK: the environment,
// and through it the controller, the web view, its settings and profile,
// event arguments and context-menu items, as reference-counted objects.
#pragma once

#include <functional>
#include <string>

#include "runtime/runtime.h"
#include "runtime/runtime_ref.h"

namespace vistrel::gtk {

// Whether a window handle still names a window that exists.
using WindowCheck = std::function<bool(HWND)>;

// An environment whose browsing data lives below the folder (a file name).
// Controllers are made only inside windows that the check accepts.
RuntimeRef<ICoreWebView2Environment> NewWebKitEnvironment(std::string userDataFolder, WindowCheck isLiveWindow);

// Runs the work once from the GLib main loop, after the caller has returned.
void CallFromMainLoop(std::function<void()> work);

}  // namespace vistrel::gtk
