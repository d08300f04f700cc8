// The main window as a GtkWindow: Windows styles become GTK window
// properties, window messages become GTK signals, timers GLib timeouts and
// the message loop gtk_main.
#include "platform/gtk/platform_gtk.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <csignal>

#include "platform/gtk/text_gtk.h"
#include "run/window_procedure.h"

namespace vistrel {

namespace {


GtkWindow* AsGtkWindow(WindowHandle window) { return GTK_WINDOW(window); }

gboolean OnDeleteEvent(GtkWidget* widget, GdkEvent*, gpointer) {
  // The window procedure decides whether and when the window goes.
  OnMainWindowClose(widget);
  return TRUE;
}

// GTK hands out no allocation to an iconified window: each size is a restored one.
void OnSizeAllocate(GtkWidget* widget, GdkRectangle*, gpointer) { OnMainWindowSize(widget, SizeKind::Restored); }

gboolean OnFocusIn(GtkWidget* widget, GdkEvent*, gpointer) {
  OnMainWindowFocus(widget);
  return FALSE;
}

gboolean OnConfigure(GtkWidget* widget, GdkEvent*, gpointer) {
  OnMainWindowMove(widget);
  return FALSE;
}

gboolean OnTimer(gpointer window) {
  OnMainWindowTimer(window);
  return G_SOURCE_CONTINUE;
}

}  // namespace

void GtkPlatform::OnWindowDestroy(GtkWidget* widget, void* platform) {
  auto* self = static_cast<GtkPlatform*>(platform);
  self->liveWindows_.erase(widget);
  OnMainWindowDestroy(widget);
  self->DropTimersOf(widget);
}

bool GtkPlatform::IsLiveWindow(WindowHandle window) const {
  return window != nullptr && liveWindows_.contains(window);
}

WindowHandle GtkPlatform::CreateMainWindow(const std::u16string& title, const WindowPlacement& placement) {
  if (!hasDisplay_) {
    // No window can exist, so the run ends as if it had been closed at once.
    g_printerr("vistrel: cannot open display\n");
    quitPending_ = true;
    return nullptr;
  }
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(widget);
  gtk_window_set_title(window, gtk::DisplayUtf8FromUtf16(title).c_str());

  const bool popup = (placement.style & kStylePopup) != 0;
  const bool caption = (placement.style & kStyleCaption) == kStyleCaption;
  const bool sizingFrame = (placement.style & kStyleSizingFrame) != 0;
  const int width = std::max(placement.width, 0);
  const int height = std::max(placement.height, 0);
  gtk_window_set_decorated(window, caption ? TRUE : FALSE);
  // Before the window is shown, a move places it: X11 takes the position
  // from the program, where a window manager would otherwise choose one.
  gtk_window_move(window, placement.x, placement.y);
  if (sizingFrame || popup) {
    // A full-screen window is sized by the window manager, which fixed
    // size hints would only hinder.
    gtk_window_set_default_size(window, width, height);
  } else {
    // A window that cannot be resized takes the size it asks for; without
    // the request it would shrink to its content.
    gtk_window_set_resizable(window, FALSE);
    gtk_widget_set_size_request(widget, width, height);
  }
  if (popup) gtk_window_fullscreen(window);

  g_signal_connect(widget, "delete-event", G_CALLBACK(OnDeleteEvent), nullptr);
  g_signal_connect(widget, "destroy", G_CALLBACK(&GtkPlatform::OnWindowDestroy), this);
  g_signal_connect(widget, "size-allocate", G_CALLBACK(OnSizeAllocate), nullptr);
  g_signal_connect(widget, "focus-in-event", G_CALLBACK(OnFocusIn), nullptr);
  g_signal_connect(widget, "configure-event", G_CALLBACK(OnConfigure), nullptr);
  liveWindows_.insert(widget);
  // Windows delivers the creation message inside CreateWindowExW.
  OnMainWindowCreate(widget);
  return widget;
}

void GtkPlatform::SetWindowIcon(WindowHandle window, IconHandle icon) {
  if (!IsLiveWindow(window) || icon == nullptr) return;
  // One picture serves every size, as one icon does for ICON_BIG and ICON_SMALL.
  gtk_window_set_icon(AsGtkWindow(window), GDK_PIXBUF(icon));
}

void GtkPlatform::ShowMainWindow(WindowHandle window, bool maximized) {
  if (!IsLiveWindow(window)) return;
  // Asked for before the window is mapped, the state goes out with it.
  if (maximized) gtk_window_maximize(AsGtkWindow(window));
  gtk_widget_show(GTK_WIDGET(window));
}

void GtkPlatform::DestroyMainWindow(WindowHandle window) {
  // A close may complete after the window has already gone another way.
  if (IsLiveWindow(window)) gtk_widget_destroy(GTK_WIDGET(window));
}

void GtkPlatform::SetWindowTitle(WindowHandle window, const std::u16string& title) {
  if (IsLiveWindow(window)) gtk_window_set_title(AsGtkWindow(window), gtk::DisplayUtf8FromUtf16(title).c_str());
}

bool GtkPlatform::IsActiveWindow(WindowHandle window) {
  return IsLiveWindow(window) && gtk_window_is_active(AsGtkWindow(window));
}

void GtkPlatform::MoveWindowTo(WindowHandle window, const Rect& rect) {
  if (!IsLiveWindow(window)) return;
  gtk_window_move(AsGtkWindow(window), rect.left, rect.top);
  gtk_window_resize(AsGtkWindow(window), std::max(rect.right - rect.left, 1), std::max(rect.bottom - rect.top, 1));
}

Rect GtkPlatform::ClientRect(WindowHandle window) {
  if (!IsLiveWindow(window)) return {};
  GtkWidget* widget = GTK_WIDGET(window);
  // Until it is shown the window has no allocation; the size it will ask
  // for stands in, as Windows knows a client area from creation on.
  if (!gtk_widget_get_visible(widget)) {
    int width = 0;
    int height = 0;
    gtk_window_get_size(AsGtkWindow(window), &width, &height);
    return Rect{0, 0, width, height};
  }
  return Rect{0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
}

void GtkPlatform::StartTimer(WindowHandle window, uint32_t id, uint32_t periodMs) {
  if (!IsLiveWindow(window)) return;
  // An id already in use starts over with the new period, as SetTimer does.
  StopTimer(window, id);
  timers_[{window, id}] = g_timeout_add(periodMs, OnTimer, window);
}

void GtkPlatform::StopTimer(WindowHandle window, uint32_t id) {
  const auto found = timers_.find({window, id});
  if (found == timers_.end()) return;
  g_source_remove(found->second);
  timers_.erase(found);
}

void GtkPlatform::OnFolderChanged(GFileMonitor*, GFile* file, GFile* other, int event, void* platform) {
  auto* self = static_cast<GtkPlatform*>(platform);
  // A write is news once it is done; what is written meanwhile may be half a file.
  if (event == G_FILE_MONITOR_EVENT_CHANGED || event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED) return;
  const auto named = [self](GFile* changed) {
    if (changed == nullptr) return false;
    g_autofree char* name = g_file_get_basename(changed);
    return name != nullptr && self->watchedName_ == name;
  };
  if (named(file) || named(other)) OnMainWindowFileChanged(self->watchingWindow_);
}

bool GtkPlatform::WatchFile(WindowHandle window, const std::u16string& path) {
  const std::optional<std::string> name = gtk::FileNameFromUtf16(path);
  if (!IsLiveWindow(window) || !name) return false;
  g_autoptr(GFile) file = g_file_new_for_path(name->c_str());
  g_autoptr(GFile) folder = g_file_get_parent(file);
  if (folder == nullptr) return false;
  // A network share tells nothing of what other machines write.
  g_autoptr(GFileInfo) where =
      g_file_query_filesystem_info(folder, G_FILE_ATTRIBUTE_FILESYSTEM_REMOTE, nullptr, nullptr);
  if (where == nullptr || g_file_info_get_attribute_boolean(where, G_FILE_ATTRIBUTE_FILESYSTEM_REMOTE)) return false;
  // The folder rather than the file: an editor's save writes another file and
  // renames it over this one, which a watch on the file itself hears late.
  GFileMonitor* monitor = g_file_monitor_directory(folder, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
  if (monitor == nullptr) return false;
  if (fileMonitor_ != nullptr) g_object_unref(fileMonitor_);
  fileMonitor_ = monitor;
  watchingWindow_ = window;
  g_autofree char* base = g_file_get_basename(file);
  watchedName_ = base != nullptr ? base : "";
  g_signal_connect(monitor, "changed", G_CALLBACK(OnFolderChanged), this);
  return true;
}

void GtkPlatform::DropTimersOf(WindowHandle window) {
  if (fileMonitor_ != nullptr && watchingWindow_ == window) {
    g_file_monitor_cancel(fileMonitor_);
    g_object_unref(fileMonitor_);
    fileMonitor_ = nullptr;
    watchingWindow_ = nullptr;
  }
  for (auto timer = timers_.begin(); timer != timers_.end();) {
    if (timer->first.first == window) {
      g_source_remove(timer->second);
      timer = timers_.erase(timer);
    } else {
      ++timer;
    }
  }
}

void GtkPlatform::RunMessageLoop() {
  if (quitPending_) {
    quitPending_ = false;
    return;
  }
  // Being told to end (kill, Ctrl+C in the terminal, the session going) is
  // closing the window, so that the data folder is cleaned up as usual.
  std::array<guint, 3> signalSources{};
  const std::array<int, 3> signals = {SIGTERM, SIGINT, SIGHUP};
  for (size_t i = 0; i < signals.size(); ++i) {
    signalSources[i] = g_unix_signal_add(
        signals[i],
        [](gpointer platform) -> gboolean {
          static_cast<GtkPlatform*>(platform)->CloseOnSignal();
          return G_SOURCE_CONTINUE;
        },
        this);
  }
  gtk_main();
  for (const guint source : signalSources) {
    if (source != 0) g_source_remove(source);
  }
}

void GtkPlatform::CloseOnSignal() {
  if (liveWindows_.empty()) {
    QuitMessageLoop();
    return;
  }
  // Closing may destroy the window and change the set.
  const std::vector<WindowHandle> windows(liveWindows_.begin(), liveWindows_.end());
  for (WindowHandle window : windows) {
    if (IsLiveWindow(window)) OnMainWindowClose(window);
  }
}

void GtkPlatform::QuitMessageLoop() {
  // PostQuitMessage before the loop runs still ends it; gtk_main_quit
  // outside gtk_main would be lost.
  if (gtk_main_level() > 0) {
    gtk_main_quit();
  } else {
    quitPending_ = true;
  }
}

}  // namespace vistrel
