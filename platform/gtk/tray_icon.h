// The notification-area icons of the program, one per (window, id), as
// shell32 keeps them: a StatusNotifierItem while a watcher is on the session
// bus, an XEmbed tray icon otherwise (X11 only: Wayland has no XEmbed). The
// item's menu is the one the panel draws. Not yet: changing an icon in
// place (kNimModify), balloons.
#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "forms/platform.h"
#include "forms/types.h"
#include "sni_item.h"
#include "sni_menu.h"

namespace gtkplat {

class TrayIcons {
 public:
  explicit TrayIcons(forms::Platform& platform) : platform_(platform) {}
  ~TrayIcons();
  TrayIcons(const TrayIcons&) = delete;
  TrayIcons& operator=(const TrayIcons&) = delete;

  // kNimAdd: false when the record's window already has that icon.
  // kNimDelete: false when there is no such icon. Other messages: false.
  bool Notify(std::uint32_t message, const forms::NotifyIconData& data);
  // Whether an icon of ours can show somewhere: a watcher that took (or may
  // yet take) the item, or an XEmbed tray on the X screen.
  bool Present() const;
  // While a panel asks for an item's menu (the right click it draws itself),
  // the menu that receives what the program pops up; null else.
  SniMenu* HostMenu() const { return hostMenu_; }

 private:
  struct Icon {
    TrayIcons* owner = nullptr;
    GtkStatusIcon* status = nullptr;  // the XEmbed icon, while it is the one shown
    SniItem* item = nullptr;          // while a watcher is present
    SniMenu* menu = nullptr;          // the item's menu, as long as the item
    bool itemFailed = false;          // the watcher would not take it
    GdkPixbuf* picture = nullptr;     // a reference, for the item
    std::string tip;
    forms::WindowHandle window = nullptr;
    std::uint32_t id = 0;
    std::uint32_t callbackMessage = 0;
  };
  using Key = std::pair<forms::WindowHandle, std::uint32_t>;

  // Where the session's tray is, as far as the program knows.
  enum class Watcher { kNoBus, kAsking, kPresent, kAbsent };

  bool Add(const forms::NotifyIconData& data);
  bool Delete(const forms::NotifyIconData& data);
  void Click(Icon* icon, forms::LParam down, forms::LParam up);
  // The right click of a panel that draws the item's menu: the program's
  // popup is served to that menu.
  void AskForMenu(Icon* icon);
  void MakeXEmbed(Icon* icon);
  void DropXEmbed(Icon* icon);
  static gboolean OnButton(GObject* statusIcon, GdkEventButton* event, Icon* icon);
  static void Free(Icon* icon);
  // The menu goes once the handler running has returned: it may be inside
  // the menu's own choice (the exit command).
  void DropMenu(Icon* icon);

  // tray_watch.cpp: which of the two kinds of icon shows.
  void WatchForWatcher();
  void StopWatching();
  void StartItem(Icon* icon);
  void PickKind(Icon* icon);
  static void OnSessionBus(GObject*, GAsyncResult* result, gpointer self);
  static void OnWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer self);
  static void OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self);

  forms::Platform& platform_;
  std::map<Key, Icon*> icons_;
  Watcher watcher_ = Watcher::kNoBus;
  GCancellable* connecting_ = nullptr;  // once the session bus is asked for
  guint watch_ = 0;
  GDBusConnection* bus_ = nullptr;  // while a watcher is present
  SniMenu* hostMenu_ = nullptr;
};

}  // namespace gtkplat
