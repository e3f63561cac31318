// The Linux program: GTK up, the main window built by the portable entry,
// then GTK's loop until the program ends. A second instance ends inside
// Main, having handed its command line over, without starting GTK. Not yet:
// command-line options.
#include <gtk/gtk.h>

#include "app/main_mod.h"
#include "gtk_platform.h"

int main(int argc, char** argv) {
  // Before gtk_init, which takes its options out of argv and the start-up
  // notification id out of the environment.
  gtkplat::GtkPlatform platform(argc, argv);
  // The lock is claimed once and its answer kept: the load handler, which
  // decides, hears the same. A second instance shows nothing and ends
  // inside Main, so it spares itself the toolkit, its fonts and the browser
  // engine: most of its start.
  if (!platform.Link().PrevInstance()) {
    platform.StartToolkit(&argc, &argv);
    if (GdkPixbuf* icon = gtkplat::ResourcePixbuf("/kivo/art/app.ico")) {
      gtk_window_set_default_icon(icon);
      g_object_unref(icon);
    }
  }
  auto mainWindow = Main_Mod::Main(platform);
  if (!platform.ToolkitStarted()) return 0;  // not reached: a second instance has ended
  gtk_main();
  mainWindow.reset();
  return 0;
}
