// How the program ends: the exit sequence of the tray menu, and what the
// main window does when the system asks it to close.
#include "frame/ba1.h"
#include "tray/modtray.h"
#include "tray/tip.h"

namespace frame {

void BA1::ttt_v() {
  // The icon goes first, while both windows still stand.
  modTray::RemoveTrayIcon();
  // The last window to go ends the message loop.
  Unload();
  tip().Unload();
}

void BA1::CloseToTray() {
  // A hidden window with no icon could never be shown or ended again.
  if (Os().TrayPresent()) {
    Hide();
  } else {
    tip().ExitAsking();
  }
}

void BA1::Form_QueryUnload(int& Cancel, forms::UnloadMode UnloadMode) {
  switch (UnloadMode) {
    case forms::UnloadMode::kFormControlMenu:
      // Closing the window does what its own close button does; the tray
      // menu's exit is the way to end the program.
      Cancel = 1;
      CloseToTray();
      break;
    case forms::UnloadMode::kAppWindows:
    case forms::UnloadMode::kAppTaskManager:
      // The session or the process ends: no icon or window may stay behind.
      Cancel = 1;
      ttt_v();
      break;
    case forms::UnloadMode::kFormCode:
      break;
  }
}

}  // namespace frame
