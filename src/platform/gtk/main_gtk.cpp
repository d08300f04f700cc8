// The Linux entry point.
// The seam's header before the toolkit's, whose TRUE and FALSE would
// otherwise clash with the runtime interface's.
#include "platform/gtk/platform_gtk.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gtk/text_gtk.h"
#include "rules/command_line.h"
#include "run/run.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // The user's arguments exactly as given: GTK is initialised without them,
  // so that words such as --display stay the user's.
  std::vector<std::string> arguments(argv, argv + argc);
  if (argc > 0) {
    g_autofree gchar* name = g_path_get_basename(argv[0]);
    g_set_prgname(name);
  }
  std::vector<std::u16string> words;
  for (int i = 1; i < argc; ++i) words.push_back(vistrel::gtk::Utf16FromUtf8(vistrel::gtk::AsUtf8(argv[i])));

  // Wayland lets no program place its own window: where the position
  // matters and XWayland is there, the window goes through it.
  if (vistrel::AsksForPosition(words) && g_getenv("WAYLAND_DISPLAY") != nullptr && g_getenv("DISPLAY") != nullptr) {
    gdk_set_allowed_backends("x11");
  }
  // "--help" and "--version" answer on standard output, with or without a display.
  const vistrel::ConsoleRequest request = vistrel::ConsoleRequestFor(words);
  const bool hasDisplay = request == vistrel::ConsoleRequest::None && gtk_init_check(nullptr, nullptr) != FALSE;

  vistrel::GtkPlatform platform(std::move(arguments), hasDisplay);
  vistrel::InstallPlatform(&platform);
  int exitCode = 0;
  if (request != vistrel::ConsoleRequest::None) {
    std::fputs(vistrel::gtk::DisplayUtf8FromUtf16(vistrel::ConsoleAnswer(request)).c_str(), stdout);
  } else {
    exitCode = vistrel::RunProgram();
  }
  vistrel::InstallPlatform(nullptr);
  return exitCode;
}
