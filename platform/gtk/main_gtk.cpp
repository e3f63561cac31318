// The Linux program: GTK up, the main window built by the portable entry,
// then GTK's loop until the program ends. Not yet: command-line options,
// a second instance handing over to the first.
#include <gtk/gtk.h>

#include "app/main_mod.h"
#include "gtk_platform.h"

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (GdkPixbuf* icon = gtkplat::ResourcePixbuf("/kivo/art/app.ico")) {
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }
  gtkplat::GtkPlatform platform;
  auto mainWindow = Main_Mod::Main(platform);
  gtk_main();
  mainWindow.reset();
  return 0;
}
