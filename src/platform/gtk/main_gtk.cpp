// The Linux entry point.
// The seam's header before the toolkit's, whose TRUE and FALSE would
// otherwise clash with the runtime interface's.
#include "platform/gtk/platform_gtk.h"

#include <gtk/gtk.h>

#include <clocale>
#include <string>
#include <vector>

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
  const bool hasDisplay = gtk_init_check(nullptr, nullptr) != FALSE;

  vistrel::GtkPlatform platform(std::move(arguments), hasDisplay);
  vistrel::InstallPlatform(&platform);
  const int exitCode = vistrel::RunProgram();
  vistrel::InstallPlatform(nullptr);
  return exitCode;
}
