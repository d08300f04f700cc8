// The floor of the start-up and memory benchmark: the least a GTK 3 +
// WebKitGTK program does to show one page in a window. Nothing else is set
// up, so whatever vistrel costs beyond this is vistrel's own.
//   vistrel-bench-floor WIDTH HEIGHT URI
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: vistrel-bench-floor WIDTH HEIGHT URI\n");
    return 2;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  // The size vistrel picks, so that both draw the same area.
  gtk_window_set_default_size(GTK_WINDOW(window), std::atoi(argv[1]), std::atoi(argv[2]));
  // Closing the window (WM_DELETE_WINDOW) ends the program, as in vistrel.
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[3]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
