// The web runtime and what its pages hand over, on Linux: WebKitGTK for the
// runtime, GIO for the desktop's default handlers, GDK for the keys.
#include "platform/gtk/platform_gtk.h"

#include <gtk/gtk.h>

#include <optional>

#include "platform/gtk/text_gtk.h"
#include "platform/gtk/webkit_runtime.h"
#include "run/window_procedure.h"

namespace vistrel {

namespace {

// HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED): the data folder cannot be used.
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

constexpr uint32_t kVirtualKeyShift = 0x10;
constexpr uint32_t kVirtualKeyControl = 0x11;
constexpr uint32_t kVirtualKeyAlt = 0x12;

}  // namespace

HRESULT GtkPlatform::CreateWebViewEnvironment(const std::u16string& userDataFolder,
                                              ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (handler == nullptr) return E_INVALIDARG;
  const std::optional<std::string> folder = gtk::FileNameFromUtf16(userDataFolder);
  if (!folder) return E_INVALIDARG;
  auto completed = RuntimeRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Share(handler);
  // From now on the engine may write into the folder: other copies see it in use.
  if (!HoldDataFolderLock(userDataFolder)) {
    gtk::CallFromMainLoop([completed] { completed->Invoke(kAccessDenied, nullptr); });
    return S_OK;
  }
  auto environment = gtk::NewWebKitEnvironment(*folder, [this](HWND window) { return IsLiveWindow(window); });
  gtk::CallFromMainLoop([completed, environment] { completed->Invoke(S_OK, environment.get()); });
  return S_OK;
}

// WebKitGTK takes HTML text of any length, so nothing is served from memory.
IStream* GtkPlatform::CreateMemoryStream(const std::string&) { return nullptr; }

void GtkPlatform::OpenWithDefaultHandler(const std::u16string& address) {
  const std::optional<std::string> uri = gtk::Utf8FromUtf16(address);
  if (!uri) return;
  GdkDisplay* display = hasDisplay_ ? gdk_display_get_default() : nullptr;
  g_autoptr(GAppLaunchContext) context =
      display != nullptr ? G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)) : nullptr;
  // Whether anything opened it is not looked at, as with ShellExecuteW.
  g_app_info_launch_default_for_uri(uri->c_str(), context, nullptr);
}

bool GtkPlatform::IsKeyDown(uint32_t virtualKey) {
  GdkModifierType modifier{};
  switch (virtualKey) {
    case kVirtualKeyShift: modifier = GDK_SHIFT_MASK; break;
    case kVirtualKeyControl: modifier = GDK_CONTROL_MASK; break;
    case kVirtualKeyAlt: modifier = GDK_MOD1_MASK; break;
    default: return false;
  }
  // While an event is handled, the state it came with, as GetKeyState
  // answers for the message being handled; else the keyboard's now.
  GdkModifierType state{};
  if (!gtk_get_current_event_state(&state)) {
    if (!hasDisplay_) return false;
    state = static_cast<GdkModifierType>(
        gdk_keymap_get_modifier_state(gdk_keymap_get_for_display(gdk_display_get_default())));
  }
  return (state & modifier) != 0;
}

void GtkPlatform::PostToWindow(WindowHandle window, std::function<void()> work) {
  // As a message posted to a window that has gone, it goes nowhere then.
  gtk::CallFromMainLoop([this, window, work = std::move(work)] {
    if (IsLiveWindow(window)) work();
  });
}

}  // namespace vistrel
