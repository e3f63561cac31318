// Which kind of tray icon shows: the StatusNotifierItem while a
// StatusNotifierWatcher is on the session bus (KDE, GNOME's AppIndicator
// extension, Wayland panels), the XEmbed icon when there is none or it
// refuses the item. The watcher's name is followed for the whole run, so a
// panel that restarts gets the item again and one that quits leaves the
// XEmbed icon behind. Not yet: more than one item per process (they would
// share the object path).
#include <gdk/gdkx.h>

#include <string>

#include "gtk_form.h"
#include "gtk_platform.h"
#include "tray_icon.h"

namespace gtkplat {
namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";

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

void TrayIcons::PickKind(Icon* icon) {
  bool xembed = true;
  switch (watcher_) {
    case Watcher::kNoBus:
    case Watcher::kAbsent: xembed = true; break;
    // Not yet known: an icon that came and went again at once would only
    // flicker in an XEmbed tray (or a proxy of one) meanwhile.
    case Watcher::kAsking: xembed = false; break;
    case Watcher::kPresent: xembed = icon->itemFailed; break;
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
  };
  const forms::WindowHandle window = icon->window;
  callbacks.windowId = [window] { return XidOf(window); };
  icon->item = new SniItem(bus_, icon->tip, icon->picture, std::move(callbacks));
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
      icon->itemFailed = false;
      tray->PickKind(icon);
    }
    g_clear_object(&tray->bus_);
  });
}

}  // namespace gtkplat
