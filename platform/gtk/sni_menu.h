// The tray item's menu as the panel draws it, served over D-Bus
// (com.canonical.dbusmenu) with libdbusmenu-glib: the menu KDE Plasma,
// GNOME's AppIndicator extension, waybar and xfce4-panel read from an item
// and draw where the icon is, on Wayland as on X11. It knows nothing of the
// program: it shows the items it is given, says when the panel opens it, and
// hands back the index of the item chosen.
#pragma once

#include <libdbusmenu-glib/menuitem.h>
#include <libdbusmenu-glib/server.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/menu.h"

namespace gtkplat {

class SniMenu {
 public:
  // `opening`: the panel is about to show the menu (at most once until it
  // has closed again), so the items can be brought up to date.
  SniMenu(std::string path, std::function<void()> opening);
  ~SniMenu();
  SniMenu(const SniMenu&) = delete;
  SniMenu& operator=(const SniMenu&) = delete;

  const std::string& Path() const { return path_; }
  // The items shown from now on, and where the choice of one goes. Items
  // equal to those shown are kept as they are: a panel that has the menu
  // open is not made to rebuild it.
  void Serve(const std::vector<forms::PopupItem>& items, forms::MenuChoice chosen);

 private:
  static gboolean OnEvent(DbusmenuMenuitem* item, const gchar* name, GVariant* value, guint time,
                          SniMenu* self);
  static gboolean OnAboutToShow(DbusmenuMenuitem* item, SniMenu* self);
  static void OnActivated(DbusmenuMenuitem* item, guint time, SniMenu* self);
  void Opening();
  void Clear();

  std::string path_;
  std::function<void()> opening_;
  DbusmenuServer* server_ = nullptr;
  DbusmenuMenuitem* root_ = nullptr;
  std::vector<forms::PopupItem> items_;
  forms::MenuChoice chosen_;
  // Asked since the panel last closed the menu: a panel may both call
  // AboutToShow and send "opened" for one opening.
  bool asked_ = false;
};

}  // namespace gtkplat
