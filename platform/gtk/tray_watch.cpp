// Which kind of tray icon shows: the StatusNotifierItem while a
// StatusNotifierWatcher is on the session bus (KDE, GNOME's AppIndicator
// extension, Wayland panels), the XEmbed icon when there is none or it
// refuses the item. The watcher's name is followed for the whole run, so a
// panel that restarts gets the item again and one that quits leaves the
// XEmbed icon behind (on X11; a Wayland session has none). Not yet: more
// than one item per process (they would share the object paths).
#include <gdk/gdkx.h>

#include <string>

#include "gtk_form.h"
#include "gtk_platform.h"
#include "tray_icon.h"

namespace gtkplat {
namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kMenuPath[] = "/MenuBar";

bool OnX11() {
  GdkDisplay* display = gdk_display_get_default();
  return display && GDK_IS_X11_DISPLAY(display);
}

// An XEmbed tray owns the screen's tray selection while it runs.
bool XEmbedTrayRuns() {
  if (!OnX11()) return false;
  GdkDisplay* display = gdk_display_get_default();
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  const int screen = gdk_x11_screen_get_screen_number(gdk_display_get_default_screen(display));
  const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  return XGetSelectionOwner(x, XInternAtom(x, selection.c_str(), False)) != None;
}

// GLib's last resort for a session bus is to launch one (dbus-launch, on
// the X display): under a bare X server that prints warnings and leaves a
// daemon behind. Only a bus the session names, or the per-user one at its
// usual place, is used.
bool SessionBusKnown() {
  const gchar* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const gchar* runtime = g_getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  g_autofree gchar* socket = g_build_filename(runtime, "bus", nullptr);
  return g_file_test(socket, G_FILE_TEST_EXISTS) && !g_file_test(socket, G_FILE_TEST_IS_REGULAR);
}

std::uint32_t XidOf(forms::WindowHandle handle) {
  NativeWindow* w = WindowOf(handle);
  GtkWindow* window = w && w->form ? w->form->Window() : nullptr;
  GdkWindow* gdk = window ? gtk_widget_get_window(GTK_WIDGET(window)) : nullptr;
  if (!gdk || !GDK_IS_X11_WINDOW(gdk)) return 0;
  return static_cast<std::uint32_t>(gdk_x11_window_get_xid(gdk));
}

}  // namespace

void TrayIcons::WatchForWatcher() {
  if (!SessionBusKnown()) return;
  watcher_ = Watcher::kAsking;
  connecting_ = g_cancellable_new();
  g_bus_get(G_BUS_TYPE_SESSION, connecting_, OnSessionBus, this);
}

void TrayIcons::OnSessionBus(GObject*, GAsyncResult* result, gpointer self) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GDBusConnection) bus = g_bus_get_finish(result, &error);
  // Cancelled: the icons are gone, and self with them.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
  auto* tray = static_cast<TrayIcons*>(self);
  if (!bus) {
    OnWatcherVanished(nullptr, kWatcherName, self);
    return;
  }
  // GLib ends the process when the session bus goes; losing the panel's
  // kind of icon is no reason to end the program.
  g_dbus_connection_set_exit_on_close(bus, FALSE);
  tray->watch_ =
      g_bus_watch_name_on_connection(bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                     OnWatcherAppeared, OnWatcherVanished, self, nullptr);
}

void TrayIcons::StopWatching() {
  if (connecting_) {
    g_cancellable_cancel(connecting_);
    g_clear_object(&connecting_);
  }
  if (watch_) g_bus_unwatch_name(watch_);
  watch_ = 0;
  g_clear_object(&bus_);
}

bool TrayIcons::Present() const {
  switch (watcher_) {
    // Not known yet: taken for there, as the desktop most likely has one.
    case Watcher::kAsking: return true;
    case Watcher::kPresent:
      for (const auto& [key, icon] : icons_) {
        if (!icon->itemFailed) return true;
      }
      break;
    case Watcher::kNoBus:
    case Watcher::kAbsent: break;
  }
  return XEmbedTrayRuns();
}

void TrayIcons::PickKind(Icon* icon) {
  // GtkStatusIcon has no tray to be in but XEmbed's, which only X11 has;
  // elsewhere it only complains.
  bool xembed = OnX11();
  switch (watcher_) {
    case Watcher::kNoBus:
    case Watcher::kAbsent: break;
    // Not yet known: an icon that came and went again at once would only
    // flicker in an XEmbed tray (or a proxy of one) meanwhile.
    case Watcher::kAsking: xembed = false; break;
    case Watcher::kPresent: xembed = xembed && icon->itemFailed; break;
  }
  if (xembed) {
    MakeXEmbed(icon);
  } else {
    DropXEmbed(icon);
  }
}

void TrayIcons::StartItem(Icon* icon) {
  if (!bus_ || icon->item) return;
  icon->itemFailed = false;
  SniItem::Callbacks callbacks;
  callbacks.click = [this, icon](SniItem::Click click) {
    if (click == SniItem::Click::kLeft) {
      Click(icon, forms::kWmLButtonDown, forms::kWmLButtonUp);
    } else {
      Click(icon, forms::kWmRButtonDown, forms::kWmRButtonUp);
    }
  };
  callbacks.registered = [this, icon](bool ok) {
    icon->itemFailed = !ok;
    PickKind(icon);
    // The panel may read the menu before its first right click.
    if (ok) AskForMenu(icon);
  };
  const forms::WindowHandle window = icon->window;
  callbacks.windowId = [window] { return XidOf(window); };
  if (!icon->menu) icon->menu = new SniMenu(kMenuPath, [this, icon] { AskForMenu(icon); });
  icon->item = new SniItem(bus_, icon->tip, icon->picture, kMenuPath, std::move(callbacks));
}

void TrayIcons::OnWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer self) {
  auto* tray = static_cast<TrayIcons*>(self);
  Guarded([&] {
    g_set_object(&tray->bus_, bus);
    tray->watcher_ = Watcher::kPresent;
    for (auto& [key, icon] : tray->icons_) {
      tray->StartItem(icon);
      tray->PickKind(icon);
    }
  });
}

void TrayIcons::OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
  auto* tray = static_cast<TrayIcons*>(self);
  Guarded([&] {
    tray->watcher_ = Watcher::kAbsent;
    // A watcher that comes back has forgotten the items: each is made
    // anew then, under a new name.
    for (auto& [key, icon] : tray->icons_) {
      delete icon->item;
      icon->item = nullptr;
      // At once: a watcher that comes straight back gets a new menu at
      // the same path.
      if (tray->hostMenu_ == icon->menu) tray->hostMenu_ = nullptr;
      delete icon->menu;
      icon->menu = nullptr;
      icon->itemFailed = false;
      tray->PickKind(icon);
    }
    g_clear_object(&tray->bus_);
  });
}

}  // namespace gtkplat
