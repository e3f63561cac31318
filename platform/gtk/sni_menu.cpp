// The tray item's menu over D-Bus: a libdbusmenu-glib server at the item's
// Menu path, its root's children the items given, each chosen item's index
// handed back. The panel's "opened" event and its AboutToShow call both
// mean the menu is about to show. Not yet: submenus, icons, check marks,
// disabled items (the program's menus have none).
#include "sni_menu.h"

#include <libdbusmenu-glib/client.h>

#include <string>
#include <utility>

#include "gtk_platform.h"

namespace gtkplat {
namespace {

constexpr char kIndexKey[] = "kivo-menu-index";

// A lone underscore marks a mnemonic in a dbusmenu label.
std::string Label(const std::string& caption) {
  std::string label;
  for (char c : caption) {
    if (c == '_') label += '_';
    label += c;
  }
  return label;
}

bool SameItems(const std::vector<forms::PopupItem>& a, const std::vector<forms::PopupItem>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].separator != b[i].separator || (!a[i].separator && a[i].caption != b[i].caption)) {
      return false;
    }
  }
  return true;
}

}  // namespace

SniMenu::SniMenu(std::string path, std::function<void()> opening)
    : path_(std::move(path)),
      opening_(std::move(opening)),
      server_(dbusmenu_server_new(path_.c_str())),
      root_(dbusmenu_menuitem_new()) {
  g_signal_connect(root_, DBUSMENU_MENUITEM_SIGNAL_EVENT, G_CALLBACK(OnEvent), this);
  g_signal_connect(root_, DBUSMENU_MENUITEM_SIGNAL_ABOUT_TO_SHOW, G_CALLBACK(OnAboutToShow), this);
  dbusmenu_server_set_root(server_, root_);
}

SniMenu::~SniMenu() {
  Clear();
  g_signal_handlers_disconnect_by_data(root_, this);
  g_object_unref(server_);
  g_object_unref(root_);
}

void SniMenu::Clear() {
  GList* children = dbusmenu_menuitem_take_children(root_);
  for (GList* l = children; l; l = l->next) {
    g_signal_handlers_disconnect_by_data(l->data, this);
    g_object_unref(l->data);
  }
  g_list_free(children);
}

void SniMenu::Serve(const std::vector<forms::PopupItem>& items, forms::MenuChoice chosen) {
  chosen_ = std::move(chosen);
  if (SameItems(items, items_)) return;
  items_ = items;
  Clear();
  for (std::size_t i = 0; i < items.size(); ++i) {
    DbusmenuMenuitem* item = dbusmenu_menuitem_new();
    if (items[i].separator) {
      dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_TYPE,
                                     DBUSMENU_CLIENT_TYPES_SEPARATOR);
    } else {
      dbusmenu_menuitem_property_set(item, DBUSMENU_MENUITEM_PROP_LABEL,
                                     Label(items[i].caption).c_str());
      g_object_set_data(G_OBJECT(item), kIndexKey, GINT_TO_POINTER(static_cast<int>(i)));
      g_signal_connect(item, DBUSMENU_MENUITEM_SIGNAL_ITEM_ACTIVATED, G_CALLBACK(OnActivated),
                       this);
    }
    // The root holds the item from here; ours is handed over.
    dbusmenu_menuitem_child_append(root_, item);
    g_object_unref(item);
  }
}

void SniMenu::Opening() {
  if (asked_) return;
  asked_ = true;
  // Copied: the program may replace this menu's callback while it runs.
  const auto opening = opening_;
  if (opening) Guarded([&] { opening(); });
}

gboolean SniMenu::OnEvent(DbusmenuMenuitem*, const gchar* name, GVariant*, guint, SniMenu* self) {
  const std::string event = name ? name : "";
  if (event == DBUSMENU_MENUITEM_EVENT_OPENED) self->Opening();
  if (event == DBUSMENU_MENUITEM_EVENT_CLOSED) self->asked_ = false;
  return FALSE;
}

gboolean SniMenu::OnAboutToShow(DbusmenuMenuitem*, SniMenu* self) {
  self->Opening();
  return FALSE;
}

void SniMenu::OnActivated(DbusmenuMenuitem* item, guint, SniMenu* self) {
  const int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kIndexKey));
  // The exit command runs in here and deletes this menu: nothing of it is
  // touched once the choice has been handed over.
  const forms::MenuChoice chosen = self->chosen_;
  if (chosen) Guarded([&] { chosen(index); });
}

}  // namespace gtkplat
