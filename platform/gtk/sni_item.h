// One StatusNotifierItem: the D-Bus tray icon of KDE, GNOME's AppIndicator
// extension and the Wayland panels, served with GDBus. It knows nothing of
// windows or messages: clicks go out through its callbacks, and whether it
// is shown instead of the XEmbed icon is tray_watch.cpp's business.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <string>

namespace gtkplat {

class SniItem {
 public:
  enum class Click { kLeft, kRight };
  struct Callbacks {
    std::function<void(Click)> click;
    // Once, when the watcher has answered (true) or the item cannot be
    // shown at all (false): no name, no watcher, an error from it.
    std::function<void(bool)> registered;
    // The X window of the owner, asked for when a host wants it: the
    // window may not exist yet when the item does. 0 for none.
    std::function<std::uint32_t()> windowId;
  };

  // Takes no ownership of the pixbuf (it is copied at every size).
  // `menuPath`: where the item's menu is served on the same connection
  // (sni_menu.h); "/" for none, and hosts then ask for ContextMenu.
  SniItem(GDBusConnection* bus, std::string title, GdkPixbuf* icon, std::string menuPath,
          Callbacks callbacks);
  ~SniItem();
  SniItem(const SniItem&) = delete;
  SniItem& operator=(const SniItem&) = delete;

  // What the watcher is told: the item's own bus name.
  const std::string& Service() const { return service_; }

  // Hosts that show the item hear of the change through its signals.
  void SetTitle(std::string title);
  void SetIcon(GdkPixbuf* icon);

 private:
  static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                       gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                 const gchar* property, GError** error, gpointer self);
  static void OnNameAcquired(GDBusConnection*, const gchar*, gpointer self);
  static void OnNameLost(GDBusConnection*, const gchar*, gpointer self);
  static void OnRegistered(GObject* bus, GAsyncResult* result, gpointer self);

  GVariant* Property(const std::string& name) const;
  void Emit(const char* signal, GVariant* parameters);
  void Answer(bool ok);

  GDBusConnection* bus_ = nullptr;
  std::string service_;
  std::string title_;
  std::string menuPath_;
  GVariant* pixmaps_ = nullptr;  // a(iiay), owned
  Callbacks callbacks_;
  GCancellable* cancel_ = nullptr;
  guint object_ = 0;
  guint name_ = 0;
  bool answered_ = false;
};

// The icon as a(iiay): one ARGB32 picture, in network byte order, per size
// a panel is likely to draw. A floating reference; an empty array for no
// pixbuf.
GVariant* SniPixmaps(GdkPixbuf* icon);

}  // namespace gtkplat
