// A popup menu run by a form's window: its state lives on the stack of
// TrackPopupMenu, which the window only points at while it runs. Not yet:
// more than one menu open at a time (a second request is refused).
#pragma once

#include <gtk/gtk.h>

namespace gtkplat {

struct PopupRun {
  GtkWidget* menu = nullptr;
  GMainLoop* loop = nullptr;
  int chosen = -1;
  guint quitSource = 0;
  // Closed by the program or the window's end: nothing counts as chosen.
  bool cancelled = false;
  // Where the window keeps its pointer to this run; cleared when the
  // window goes first.
  PopupRun** slot = nullptr;
};

// The window is going: the menu closes and the run forgets the window.
void AbandonPopup(PopupRun* run);

}  // namespace gtkplat
