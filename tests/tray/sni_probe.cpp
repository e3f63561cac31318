// The other end of the StatusNotifierItem for the tray test: a watcher
// that takes registrations and says so on stdout, and a host's requests
// (reading the item's properties, clicking it, asking whether a name is on
// the bus). GDBus only, so the test needs nothing the build does not.
//
// usage: sni_probe watcher
//        sni_probe props SERVICE X Y   (prints the properties; X Y: a pixel of the 48-px picture)
//        sni_probe call SERVICE METHOD (Activate, ContextMenu, SecondaryActivate, Scroll)
//        sni_probe owned NAME          (exit status 0 when NAME has an owner)
//        sni_probe layout SERVICE PATH (the item's menu, read as a panel reads it:
//                                       one line per item, "ID separator" or "ID LABEL")
//        sni_probe event SERVICE PATH ID EVENT (a panel's Event: opened, clicked, closed)
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kWatcherXml[] = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  </interface>
</node>)";

GDBusConnection* Bus() {
  g_autoptr(GError) error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) g_printerr("no session bus: %s\n", error->message);
  return bus;
}

// --- the watcher -------------------------------------------------------------
struct Watcher {
  GMainLoop* loop = nullptr;
  std::vector<std::string> items;
};

void Say(const char* what, const std::string& service) {
  std::printf("%s %s\n", what, service.c_str());
  std::fflush(stdout);
}

void OnItemVanished(GDBusConnection*, const gchar* name, gpointer) { Say("gone", name); }

void OnWatcherMethod(GDBusConnection* bus, const gchar* sender, const gchar*, const gchar*,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer data) {
  auto* watcher = static_cast<Watcher*>(data);
  const gchar* service = nullptr;
  g_variant_get(parameters, "(&s)", &service);
  g_dbus_method_invocation_return_value(invocation, nullptr);
  if (std::strcmp(method, "RegisterStatusNotifierItem") != 0) return;
  // An item may name itself by its object path: then its sender is the name.
  const std::string name = service[0] == '/' ? sender : service;
  watcher->items.push_back(name);
  Say("registered", name);
  g_dbus_connection_emit_signal(bus, nullptr, "/StatusNotifierWatcher",
                                "org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered",
                                g_variant_new("(s)", name.c_str()), nullptr);
  g_bus_watch_name_on_connection(bus, name.c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                 OnItemVanished, nullptr, nullptr);
}

GVariant* OnWatcherProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                            const gchar* property, GError**, gpointer data) {
  auto* watcher = static_cast<Watcher*>(data);
  if (std::strcmp(property, "IsStatusNotifierHostRegistered") == 0) {
    return g_variant_new_boolean(TRUE);
  }
  if (std::strcmp(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
  GVariantBuilder names;
  g_variant_builder_init(&names, G_VARIANT_TYPE("as"));
  for (const auto& item : watcher->items) g_variant_builder_add(&names, "s", item.c_str());
  return g_variant_builder_end(&names);
}

void OnWatcherName(GDBusConnection*, const gchar* name, gpointer) { Say("watching", name); }
void OnWatcherNameLost(GDBusConnection*, const gchar*, gpointer data) {
  g_printerr("the watcher's name is taken\n");
  g_main_loop_quit(static_cast<Watcher*>(data)->loop);
}

int RunWatcher() {
  GDBusConnection* bus = Bus();
  if (!bus) return 1;
  Watcher watcher;
  watcher.loop = g_main_loop_new(nullptr, FALSE);
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
  static const GDBusInterfaceVTable vtable = {OnWatcherMethod, OnWatcherProperty, nullptr, {}};
  g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &vtable,
                                    &watcher, nullptr, nullptr);
  g_bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher",
                               G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, OnWatcherName,
                               OnWatcherNameLost, &watcher, nullptr);
  auto quit = [](gpointer loop) -> gboolean {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  };
  g_unix_signal_add(SIGTERM, quit, watcher.loop);
  g_unix_signal_add(SIGINT, quit, watcher.loop);
  g_main_loop_run(watcher.loop);
  return 0;
}

// --- the host's side ---------------------------------------------------------
// Every property as NAME=VALUE lines; the pictures as their sizes, whether
// each holds width*height*4 bytes, and one pixel of the 48-pixel one.
int PrintProperties(const char* service, int px, int py) {
  GDBusConnection* bus = Bus();
  if (!bus) return 1;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "GetAll",
      g_variant_new("(s)", kItemInterface), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 5000,
      nullptr, &error);
  if (!reply) {
    g_printerr("GetAll: %s\n", error->message);
    return 1;
  }
  g_autoptr(GVariant) all = g_variant_get_child_value(reply, 0);
  GVariantIter iter;
  g_variant_iter_init(&iter, all);
  const gchar* name = nullptr;
  GVariant* value = nullptr;
  while (g_variant_iter_loop(&iter, "{&sv}", &name, &value)) {
    if (std::strcmp(name, "IconPixmap") == 0) {
      std::string sizes, whole = "yes", pixel = "none";
      for (gsize i = 0; i < g_variant_n_children(value); ++i) {
        gint32 w = 0, h = 0;
        g_autoptr(GVariant) bytes = nullptr;
        g_variant_get_child(value, i, "(ii@ay)", &w, &h, &bytes);
        gsize n = 0;
        const auto* argb = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &n, 1));
        sizes += (sizes.empty() ? "" : " ") + std::to_string(w) + "x" + std::to_string(h);
        if (w <= 0 || h <= 0 || n != static_cast<gsize>(w) * h * 4) whole = "no";
        if (w == 48 && h == 48 && whole == "yes" && px >= 0 && px < 48 && py >= 0 && py < 48) {
          const guchar* p = argb + (static_cast<gsize>(py) * 48 + px) * 4;
          pixel = std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) +
                  "," + std::to_string(p[3]);
        }
      }
      std::printf("IconPixmap.sizes=%s\nIconPixmap.whole=%s\nIconPixmap.argb=%s\n", sizes.c_str(),
                  whole.c_str(), pixel.c_str());
    } else if (std::strcmp(name, "ToolTip") == 0) {
      const gchar *iconName = nullptr, *title = nullptr, *text = nullptr;
      g_autoptr(GVariant) pixmaps = nullptr;
      g_variant_get(value, "(&s@a(iiay)&s&s)", &iconName, &pixmaps, &title, &text);
      std::printf("ToolTip.title=%s\nToolTip.text=%s\n", title, text);
    } else {
      const bool plain = g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
                         g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH);
      g_autofree gchar* text =
          plain ? g_strdup(g_variant_get_string(value, nullptr)) : g_variant_print(value, FALSE);
      std::printf("%s=%s\n", name, text);
    }
  }
  return 0;
}

int Call(const char* service, const char* method) {
  GDBusConnection* bus = Bus();
  if (!bus) return 1;
  GVariant* args = std::strcmp(method, "Scroll") == 0 ? g_variant_new("(is)", 120, "vertical")
                                                      : g_variant_new("(ii)", 10, 10);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply =
      g_dbus_connection_call_sync(bus, service, "/StatusNotifierItem", kItemInterface, method, args,
                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (!reply) g_printerr("%s: %s\n", method, error->message);
  return reply ? 0 : 1;
}

constexpr char kMenuInterface[] = "com.canonical.dbusmenu";

int Layout(const char* service, const char* path) {
  GDBusConnection* bus = Bus();
  if (!bus) return 1;
  g_autoptr(GError) error = nullptr;
  const gchar* none[] = {nullptr};
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, service, path, kMenuInterface, "GetLayout", g_variant_new("(ii^as)", 0, -1, none),
      G_VARIANT_TYPE("(u(ia{sv}av))"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (!reply) {
    g_printerr("GetLayout: %s\n", error->message);
    return 1;
  }
  g_autoptr(GVariant) root = g_variant_get_child_value(reply, 1);
  g_autoptr(GVariant) children = g_variant_get_child_value(root, 2);
  for (gsize i = 0; i < g_variant_n_children(children); ++i) {
    g_autoptr(GVariant) boxed = g_variant_get_child_value(children, i);
    g_autoptr(GVariant) child = g_variant_get_variant(boxed);
    gint32 id = 0;
    g_autoptr(GVariant) props = nullptr;
    g_autoptr(GVariant) grandchildren = nullptr;
    g_variant_get(child, "(i@a{sv}@av)", &id, &props, &grandchildren);
    const gchar* type = nullptr;
    const gchar* label = nullptr;
    gboolean visible = TRUE;
    g_variant_lookup(props, "type", "&s", &type);
    g_variant_lookup(props, "label", "&s", &label);
    g_variant_lookup(props, "visible", "b", &visible);
    if (!visible) continue;
    if (type && std::strcmp(type, "separator") == 0) {
      std::printf("%d separator\n", id);
    } else {
      std::printf("%d %s\n", id, label ? label : "");
    }
  }
  return 0;
}

int Event(const char* service, const char* path, int id, const char* event) {
  GDBusConnection* bus = Bus();
  if (!bus) return 1;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, service, path, kMenuInterface, "Event",
      g_variant_new("(isvu)", id, event, g_variant_new_int32(0), 0u), nullptr,
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (!reply) g_printerr("Event: %s\n", error->message);
  return reply ? 0 : 1;
}

int Owned(const char* name) {
  GDBusConnection* bus = Bus();
  if (!bus) return 2;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
      nullptr);
  gboolean owned = FALSE;
  if (reply) g_variant_get(reply, "(b)", &owned);
  return owned ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "watcher" && argc == 2) return RunWatcher();
  if (command == "props" && argc == 5)
    return PrintProperties(argv[2], atoi(argv[3]), atoi(argv[4]));
  if (command == "call" && argc == 4) return Call(argv[2], argv[3]);
  if (command == "owned" && argc == 3) return Owned(argv[2]);
  if (command == "layout" && argc == 4) return Layout(argv[2], argv[3]);
  if (command == "event" && argc == 6) return Event(argv[2], argv[3], atoi(argv[4]), argv[5]);
  g_printerr("usage: sni_probe watcher | props SERVICE X Y | call SERVICE METHOD | owned NAME\n");
  return 2;
}
