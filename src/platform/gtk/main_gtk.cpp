// The Linux entry point.
#include <gtk/gtk.h>

#include <clocale>
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/gtk/platform_gtk.h"

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
