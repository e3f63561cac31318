// Popup menus on GTK: TrackPopupMenu builds a GtkMenu from the items, pops
// it up at the pointer and runs a nested main loop until the menu has
// closed, then answers which item was chosen. It runs no program code for
// the choice; the form layer does that after it returns. Works from any
// handler (a tray click, the page's context-menu request, none at all) and
// with every window of the program hidden. The menu is always placed on a
// surface of ours: the window of the event that asked for it (the page, the
// XEmbed icon), else a shown window of ours at the pointer; only on X11,
// which has a root window, at the pointer on the screen, and on Wayland a
// small window of its own made to carry it. A menu a panel draws itself is
// served to it instead (ServePopupMenu). Not yet: submenus, check marks,
// disabled items, keyboard-only placement (at the focused control rather
// than the pointer).
#include "popup_menu.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

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

bool GtkFormNative::ServePopupMenu(const std::vector<forms::PopupItem>& items,
                                   const forms::MenuChoice& chosen) {
  return platform_.ServeHostMenu(items, chosen);
}

namespace {

// A window of ours the pointer can be found on and a menu placed against:
// `preferred` when it shows, else any shown window of the program.
GdkWindow* ShownWindow(GtkWidget* preferred) {
  if (gtk_widget_get_mapped(preferred)) return gtk_widget_get_window(preferred);
  GdkWindow* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l && !found; l = l->next) {
    GtkWidget* w = GTK_WIDGET(l->data);
    if (gtk_widget_get_mapped(w) && gtk_window_get_window_type(GTK_WINDOW(w)) == GTK_WINDOW_TOPLEVEL) {
      found = gtk_widget_get_window(w);
    }
  }
  g_list_free(toplevels);
  return found;
}

bool OnX11(GtkWidget* widget) {
#ifdef GDK_WINDOWING_X11
  return GDK_IS_X11_DISPLAY(gtk_widget_get_display(widget));
#else
  (void)widget;
  return false;
#endif
}

// Where a menu asked for without an event of ours opens: at the pointer on
// `window`, or at its corner when the pointer is elsewhere.
GdkRectangle PointerOn(GdkWindow* window, GdkDevice* pointer) {
  GdkRectangle at{0, 0, 1, 1};
  gdk_window_get_device_position(window, pointer, &at.x, &at.y, nullptr);
  if (at.x < 0 || at.y < 0 || at.x >= gdk_window_get_width(window) ||
      at.y >= gdk_window_get_height(window)) {
    at.x = at.y = 0;
  }
  return at;
}

// The grab's time and device where no event of ours asked for the menu:
// the pointer's motion stands in.
GdkEvent* StandInEvent(GdkWindow* window, GdkDevice* pointer, const GdkRectangle& at) {
  GdkEvent* event = gdk_event_new(GDK_MOTION_NOTIFY);
  event->motion.window = GDK_WINDOW(g_object_ref(window));
  event->motion.time = GDK_CURRENT_TIME;
  event->motion.x = event->motion.x_root = at.x;
  event->motion.y = event->motion.y_root = at.y;
  gdk_event_set_device(event, pointer);
  return event;
}

}  // namespace

int GtkFormNative::TrackPopupMenu(const std::vector<forms::PopupItem>& items) {
  // One menu at a time: a second would fight the first for the grab.
  if (items.empty() || popup_) return -1;
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!pointer) return -1;

  // The event being handled gives the grab its time and device, and the
  // menu the time it opened: a button-up within moments of it chooses
  // nothing. WebKit's request for the page's menu comes after its click,
  // which it hands over.
  g_autoptr(GdkEvent) trigger = gtk_get_current_event();
  if (!trigger && platform_.PopupTrigger()) trigger = gdk_event_copy(platform_.PopupTrigger());
  GdkWindow* on = trigger ? gdk_event_get_window(trigger) : nullptr;
  if (on && gdk_window_get_window_type(on) == GDK_WINDOW_ROOT) on = nullptr;
  // Asked for from afar (the panel's ContextMenu call): on a shown window
  // of ours, else on the screen where there is one, else on a window made
  // for the menu.
  GtkWidget* carrier = nullptr;
  GdkRectangle at{0, 0, 1, 1};
  if (!on) {
    on = ShownWindow(window_);
    if (!on && OnX11(window_)) on = gdk_screen_get_root_window(gtk_widget_get_screen(window_));
    if (!on) {
      carrier = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_decorated(GTK_WINDOW(carrier), FALSE);
      gtk_window_set_resizable(GTK_WINDOW(carrier), FALSE);
      gtk_window_set_skip_taskbar_hint(GTK_WINDOW(carrier), TRUE);
      gtk_widget_set_size_request(carrier, 1, 1);
      gtk_widget_show(carrier);
      on = gtk_widget_get_window(carrier);
    }
    at = PointerOn(on, pointer);
    g_clear_pointer(&trigger, gdk_event_free);
    trigger = StandInEvent(on, pointer, at);
  } else {
    // Where the click was, on the window it was on.
    gdouble x = 0;
    gdouble y = 0;
    if (gdk_event_get_coords(trigger, &x, &y)) {
      at.x = static_cast<int>(x);
      at.y = static_cast<int>(y);
    } else {
      at = PointerOn(on, pointer);
    }
  }

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
  gtk_menu_popup_at_rect(GTK_MENU(run.menu), on, &at, GDK_GRAVITY_SOUTH_EAST,
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
  if (carrier) gtk_widget_destroy(carrier);
  return run.chosen;
}

}  // namespace gtkplat
