// Popup menus on GTK: TrackPopupMenu builds a GtkMenu from the items, pops
// it up where the pointer is and runs a nested main loop until the menu has
// closed, then answers which item was chosen. It runs no program code for
// the choice; the form layer does that after it returns. Works from any
// handler (a tray click, the page's context-menu request, none at all) and
// with every window of the program hidden: the menu is placed on the root
// window. Not yet: submenus, check marks, disabled items, keyboard-only
// placement (at the focused control rather than the pointer).
#include "popup_menu.h"

#include "gtk_form.h"

namespace gtkplat {
namespace {

constexpr const char* kIndexKey = "kivo-popup-index";

gboolean QuitRun(gpointer data) {
  auto* run = static_cast<PopupRun*>(data);
  run->quitSource = 0;
  g_main_loop_quit(run->loop);
  return G_SOURCE_REMOVE;
}

void EndRunSoon(PopupRun* run) {
  // From an idle: GTK emits the chosen item's "activate" only after the
  // menu's "deactivate", and the choice must be seen before the loop ends.
  if (!run->quitSource) run->quitSource = g_idle_add(QuitRun, run);
}

void OnDeactivate(GtkMenuShell*, PopupRun* run) { EndRunSoon(run); }

void OnActivate(GtkMenuItem* item, PopupRun* run) {
  if (run->cancelled) return;
  run->chosen = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kIndexKey));
}

}  // namespace

void AbandonPopup(PopupRun* run) {
  if (!run) return;
  run->slot = nullptr;
  run->cancelled = true;
  gtk_menu_shell_cancel(GTK_MENU_SHELL(run->menu));
  EndRunSoon(run);
}

void GtkFormNative::CancelPopupMenu() {
  if (!popup_) return;
  popup_->cancelled = true;
  gtk_menu_shell_cancel(GTK_MENU_SHELL(popup_->menu));
  EndRunSoon(popup_);
}

int GtkFormNative::TrackPopupMenu(const std::vector<forms::PopupItem>& items) {
  // One menu at a time: a second would fight the first for the grab.
  if (items.empty() || popup_) return -1;
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  GdkWindow* root = gdk_screen_get_root_window(gtk_widget_get_screen(window_));
  if (!pointer || !root) return -1;
  // As gtk_menu_popup_at_pointer places it, but on the root window: there
  // may be no event to take a window from, and our windows may be hidden.
  GdkRectangle at{0, 0, 1, 1};
  gdk_window_get_device_position(root, pointer, &at.x, &at.y, nullptr);

  PopupRun run;
  run.menu = gtk_menu_new();
  g_object_ref_sink(run.menu);
  for (std::size_t i = 0; i < items.size(); ++i) {
    GtkWidget* item = items[i].separator ? gtk_separator_menu_item_new()
                                         : gtk_menu_item_new_with_label(items[i].caption.c_str());
    if (!items[i].separator) {
      g_object_set_data(G_OBJECT(item), kIndexKey, GINT_TO_POINTER(static_cast<int>(i)));
      g_signal_connect(item, "activate", G_CALLBACK(OnActivate), &run);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(run.menu), item);
    gtk_widget_show(item);
  }
  g_signal_connect(run.menu, "deactivate", G_CALLBACK(OnDeactivate), &run);

  // The event being handled gives the grab its time and device, and the
  // menu the time it opened: a button-up within moments of it chooses
  // nothing. WebKit's request for the page's menu comes after its click,
  // which it hands over; without any, the pointer's motion stands in.
  g_autoptr(GdkEvent) trigger = gtk_get_current_event();
  if (!trigger && platform_.PopupTrigger()) trigger = gdk_event_copy(platform_.PopupTrigger());
  if (!trigger) {
    trigger = gdk_event_new(GDK_MOTION_NOTIFY);
    trigger->motion.window = GDK_WINDOW(g_object_ref(root));
    trigger->motion.time = GDK_CURRENT_TIME;
    trigger->motion.x = trigger->motion.x_root = at.x;
    trigger->motion.y = trigger->motion.y_root = at.y;
    gdk_event_set_device(trigger, pointer);
  }
  gtk_menu_popup_at_rect(GTK_MENU(run.menu), root, &at, GDK_GRAVITY_SOUTH_EAST,
                         GDK_GRAVITY_NORTH_WEST, trigger);
  if (gtk_widget_get_visible(run.menu)) {
    // Without the pointer and keyboard grab GTK does not show the menu:
    // then nothing could ever close it, so there is no loop to run.
    run.loop = g_main_loop_new(nullptr, FALSE);
    run.slot = &popup_;
    popup_ = &run;
    g_main_loop_run(run.loop);
    // This window may have gone while the loop ran: only the run is ours.
    if (run.slot) *run.slot = nullptr;
    g_main_loop_unref(run.loop);
  } else {
    run.chosen = -1;
  }
  if (run.quitSource) g_source_remove(run.quitSource);
  g_signal_handlers_disconnect_by_data(run.menu, &run);
  gtk_widget_destroy(run.menu);
  g_object_unref(run.menu);
  return run.chosen;
}

}  // namespace gtkplat
