// The notification-area icons of the program, one per (window, id), as
// shell32 keeps them; on X11 each is an XEmbed tray icon. Not yet: changing
// an icon in place (kNimModify), balloons, desktops whose notification area
// is not XEmbed (StatusNotifierItem).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <utility>

#include "forms/platform.h"
#include "forms/types.h"

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

 private:
  struct Icon;
  using Key = std::pair<forms::WindowHandle, std::uint32_t>;

  bool Add(const forms::NotifyIconData& data);
  bool Delete(const forms::NotifyIconData& data);
  static gboolean OnButton(GObject* statusIcon, GdkEventButton* event, Icon* icon);

  forms::Platform& platform_;
  std::map<Key, Icon*> icons_;
};

}  // namespace gtkplat
