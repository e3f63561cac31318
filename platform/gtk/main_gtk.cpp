// The Linux program: GTK up, the main window built by the portable entry,
// then GTK's loop until the program's last window has unloaded (the program
// ends the loop; no window's closing does). A second instance ends inside
// Main, having handed its command line over, without starting GTK. Not yet:
// command-line options.
#include <gtk/gtk.h>

#include "app/main_mod.h"
#include "engine_loader.h"
#include "gtk_platform.h"
#include "startup_trace.h"

int main(int argc, char** argv) {
  gtkplat::TraceMark("main");
  // Before gtk_init, which takes its options out of argv and the start-up
  // notification id out of the environment.
  gtkplat::GtkPlatform platform(argc, argv);
  // The lock is claimed once and its answer kept: the load handler, which
  // decides, hears the same. A second instance shows nothing and ends
  // inside Main, so it spares itself the toolkit, its fonts and the browser
  // engine: most of its start.
  if (!platform.Link().PrevInstance()) {
    // First: a signal while the toolkit starts would otherwise end the
    // process on the spot, before anything of it can be cleaned up.
    platform.WatchEndSignals();
    gtkplat::KeepToolkitOffSoftwareGl();
    platform.StartToolkit(&argc, &argv);
    gtkplat::TraceMark("gtk-ready");
    // Every window without an icon of its own takes the application's.
    if (auto* icon = reinterpret_cast<GdkPixbuf*>(platform.LoadIconResource(1))) {
      gtk_window_set_default_icon(icon);
    }
  }
  auto mainWindow = Main_Mod::Main(platform);
  if (!platform.ToolkitStarted()) return 0;  // not reached: a second instance has ended
  gtkplat::TraceMark("window-built");
  platform.Built();
  // The engine's libraries load once the frame is on screen; the browser
  // gets its engine then.
  gtkplat::ScheduleEngineLoad();
  // Ended already when the session ended during the start.
  if (!platform.LoopEnded()) gtk_main();
  // However it ends, no partial download stays behind.
  platform.CancelDownloads();
  mainWindow.reset();
  gtkplat::FinishEngineLoad();
  return 0;
}
