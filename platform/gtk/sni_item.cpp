// The StatusNotifierItem on the session bus: its object, its own bus name
// (org.kde.StatusNotifierItem-<pid>-<n>) and its registration with the
// watcher; Activate and ContextMenu come back as left and right clicks, and
// Menu names the menu the panel draws itself (sni_menu.cpp). Not yet:
// SecondaryActivate and Scroll (the program has no use for a middle click
// or the wheel), attention and overlay icons.
#include "sni_item.h"

#include <unistd.h>

#include <atomic>
#include <utility>

#include "gtk_platform.h"

namespace gtkplat {
namespace {

constexpr char kInterface[] = "org.kde.StatusNotifierItem";
constexpr char kPath[] = "/StatusNotifierItem";
constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
// A watcher that does not answer in this time is taken for none.
constexpr int kRegisterTimeoutMs = 5000;

constexpr char kIntrospection[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

GDBusInterfaceInfo* Interface() {
  // Parsed once, kept for the process: every item shares it.
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return node ? g_dbus_node_info_lookup_interface(node, kInterface) : nullptr;
}

std::string NextService() {
  static std::atomic<int> count{0};
  return "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++count);
}

GVariant* NoPixmaps() { return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0); }

}  // namespace

SniItem::SniItem(GDBusConnection* bus, std::string title, GdkPixbuf* icon, std::string menuPath,
                 Callbacks callbacks)
    : bus_(G_DBUS_CONNECTION(g_object_ref(bus))),
      service_(NextService()),
      title_(std::move(title)),
      menuPath_(g_variant_is_object_path(menuPath.c_str()) ? std::move(menuPath) : "/"),
      pixmaps_(g_variant_ref_sink(SniPixmaps(icon))),
      callbacks_(std::move(callbacks)),
      cancel_(g_cancellable_new()) {
  static const GDBusInterfaceVTable vtable = {OnMethod, OnGetProperty, nullptr, {}};
  if (GDBusInterfaceInfo* info = Interface()) {
    object_ = g_dbus_connection_register_object(bus_, kPath, info, &vtable, this, nullptr, nullptr);
  }
  if (!object_) {
    // Answered from the loop, as every other outcome is: the owner is
    // still putting itself together when it makes the item.
    struct Later {
      SniItem* item;
      GCancellable* cancel;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* later = static_cast<Later*>(data);
          // Cancelled: the item was deleted before the loop came round.
          if (!g_cancellable_is_cancelled(later->cancel)) later->item->Answer(false);
          return G_SOURCE_REMOVE;
        },
        new Later{this, G_CANCELLABLE(g_object_ref(cancel_))},
        [](gpointer data) {
          auto* later = static_cast<Later*>(data);
          g_object_unref(later->cancel);
          delete later;
        });
    return;
  }
  name_ = g_bus_own_name_on_connection(bus_, service_.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                       OnNameAcquired, OnNameLost, this, nullptr);
}

SniItem::~SniItem() {
  g_cancellable_cancel(cancel_);
  if (name_) g_bus_unown_name(name_);
  if (object_) g_dbus_connection_unregister_object(bus_, object_);
  // The release of the name is queued: sent now, so the host drops the
  // item even when the process ends straight after.
  g_dbus_connection_flush(bus_, nullptr, nullptr, nullptr);
  g_object_unref(cancel_);
  g_variant_unref(pixmaps_);
  g_object_unref(bus_);
}

void SniItem::SetTitle(std::string title) {
  if (title == title_) return;
  title_ = std::move(title);
  Emit("NewTitle", nullptr);
  Emit("NewToolTip", nullptr);
}

void SniItem::SetIcon(GdkPixbuf* icon) {
  g_variant_unref(pixmaps_);
  pixmaps_ = g_variant_ref_sink(SniPixmaps(icon));
  Emit("NewIcon", nullptr);
}

void SniItem::Emit(const char* signal, GVariant* parameters) {
  if (!object_) return;
  g_dbus_connection_emit_signal(bus_, nullptr, kPath, kInterface, signal, parameters, nullptr);
}

void SniItem::Answer(bool ok) {
  if (answered_) return;
  answered_ = true;
  if (callbacks_.registered) Guarded([&] { callbacks_.registered(ok); });
}

GVariant* SniItem::Property(const std::string& name) const {
  if (name == "Category") return g_variant_new_string("ApplicationStatus");
  if (name == "Id") return g_variant_new_string(g_get_prgname() ? g_get_prgname() : "kivo");
  if (name == "Title") return g_variant_new_string(title_.c_str());
  if (name == "Status") return g_variant_new_string("Active");
  if (name == "WindowId") {
    std::uint32_t id = 0;
    if (callbacks_.windowId) Guarded([&] { id = callbacks_.windowId(); });
    return g_variant_new_int32(static_cast<gint32>(id));
  }
  if (name == "IconName" || name == "OverlayIconName" || name == "AttentionIconName") {
    return g_variant_new_string("");
  }
  if (name == "IconPixmap") return g_variant_ref(pixmaps_);
  if (name == "ToolTip") return g_variant_new("(s@a(iiay)ss)", "", NoPixmaps(), title_.c_str(), "");
  if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (name == "Menu") return g_variant_new_object_path(menuPath_.c_str());
  return nullptr;
}

GVariant* SniItem::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                 const gchar* property, GError** error, gpointer self) {
  GVariant* value = nullptr;
  Guarded([&] { value = static_cast<SniItem*>(self)->Property(property); });
  if (!value) {
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
  }
  return value;
}

void SniItem::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant*, GDBusMethodInvocation* invocation,
                       gpointer self) {
  auto* item = static_cast<SniItem*>(self);
  const std::string name = method;
  // Answered first: a right click pops a menu that runs until it is
  // closed, and the host would be waiting for the reply all that time.
  g_dbus_method_invocation_return_value(invocation, nullptr);
  SniItem::Click click;
  if (name == "Activate") {
    click = Click::kLeft;
  } else if (name == "ContextMenu") {
    click = Click::kRight;
  } else {
    return;
  }
  // The exit command runs in here and deletes this item: nothing of it is
  // touched once the click has been handed over.
  const auto handler = item->callbacks_.click;
  if (handler) Guarded([&] { handler(click); });
}

void SniItem::OnNameAcquired(GDBusConnection*, const gchar*, gpointer self) {
  auto* item = static_cast<SniItem*>(self);
  g_dbus_connection_call(item->bus_, kWatcher, kWatcherPath, kWatcher, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", item->service_.c_str()), nullptr,
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, kRegisterTimeoutMs, item->cancel_,
                         OnRegistered, item);
}

void SniItem::OnNameLost(GDBusConnection*, const gchar*, gpointer self) {
  static_cast<SniItem*>(self)->Answer(false);
}

void SniItem::OnRegistered(GObject* bus, GAsyncResult* result, gpointer self) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  // Cancelled: the item is gone, and self with it.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
  static_cast<SniItem*>(self)->Answer(reply != nullptr);
}

}  // namespace gtkplat
