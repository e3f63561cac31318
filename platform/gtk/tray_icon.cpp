// The notification-area icon on Linux: per record added, a GtkStatusIcon
// (an XEmbed tray icon on X11) with the record's picture and tool tip, and a
// StatusNotifierItem in its place while the session has a watcher for them
// (tray_watch.cpp). Button presses and releases on either reach the record's
// window as the record's callback message, the way shell32 reports them.
// The XEmbed icon shows the picture for the tray's height in the screen's
// pixels (icon_sizes.h), at any scale.
// With no tray running the XEmbed icon simply waits unembedded, and it
// embeds by itself in a tray that starts (or restarts) later. A right click
// on the item reaches the window as on the XEmbed icon, but where the panel
// draws the item's menu, the menu the window pops up is served to it. Not yet:
// balloon notifications (the record's info fields), kNimModify, the icon's
// keyboard activation.
#include "tray_icon.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#include <gtk/gtkx.h>
#endif

#include <algorithm>
#include <string>

#include "gtk_platform.h"
#include "icon_sizes.h"

namespace gtkplat {

// GtkStatusIcon is deprecated for GTK 4's sake; on X11 desktops with an
// XEmbed tray it is still the icon there is.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace {

// Not among the messages the program itself names.
constexpr forms::LParam kWmRButtonDblClk = 0x0206;

// The tip up to its NUL, within the field, as UTF-8; broken UTF-16 gives
// no tip rather than a wrong one.
std::string TipText(const forms::NotifyIconData& data) {
  glong n = 0;
  while (n < forms::kNotifyTipChars && data.szTip[n] != u'\0') ++n;
  static_assert(sizeof(gunichar2) == sizeof(char16_t));
  g_autofree gchar* utf8 =
      g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(data.szTip), n, nullptr, nullptr, nullptr);
  return utf8 ? utf8 : "";
}

gboolean UnrefLater(gpointer status) {
  g_object_unref(status);
  return G_SOURCE_REMOVE;
}

// The picture for the tray's height in the screen's pixels, from the
// corner of a whole pixel: GtkStatusIcon would reduce it to its own size in
// the window's pixels and, at a scale of 2, enlarge that smoothly.
gboolean DrawAtTraySize(GtkWidget* image, cairo_t* cr, GdkPixbuf* picture) {
  const int scale = std::max(1, gtk_widget_get_scale_factor(image));
  const int w = gtk_widget_get_allocated_width(image) * scale;
  const int h = gtk_widget_get_allocated_height(image) * scale;
  const int side = std::min(w, h);
  g_autoptr(GdkPixbuf) sized = IconAtSize(picture, side);
  if (!sized) return TRUE;
  cairo_surface_t* s = gdk_cairo_surface_create_from_pixbuf(sized, scale, nullptr);
  cairo_set_source_surface(cr, s, static_cast<double>((w - side) / 2) / scale,
                           static_cast<double>((h - side) / 2) / scale);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_surface_destroy(s);
  return TRUE;
}

// The status icon's image is the child of its tray window, which on X11
// is a plug among the toplevels.
void DrawItsPicture(GtkStatusIcon* status, GdkPixbuf* picture) {
#ifdef GDK_WINDOWING_X11
  if (!picture || !GDK_IS_X11_DISPLAY(gdk_display_get_default())) return;
  const guint32 xid = gtk_status_icon_get_x11_window_id(status);
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l; l = l->next) {
    GtkWidget* plug = GTK_WIDGET(l->data);
    GdkWindow* w = gtk_widget_get_window(plug);
    if (!GTK_IS_PLUG(plug) || !w || GDK_WINDOW_XID(w) != xid) continue;
    GtkWidget* image = gtk_bin_get_child(GTK_BIN(plug));
    // The image may outlive the record: it holds its own reference.
    if (image) {
      g_signal_connect_data(
          image, "draw", G_CALLBACK(DrawAtTraySize), g_object_ref(picture),
          +[](gpointer p, GClosure*) { g_object_unref(p); }, static_cast<GConnectFlags>(0));
    }
  }
  g_list_free(toplevels);
#else
  (void)status, (void)picture;
#endif
}

}  // namespace

TrayIcons::~TrayIcons() {
  StopWatching();
  for (auto& [key, icon] : icons_) {
    if (icon->status) {
      g_signal_handlers_disconnect_by_data(icon->status, icon);
      gtk_status_icon_set_visible(icon->status, FALSE);
      g_object_unref(icon->status);
    }
    Free(icon);
  }
}

void TrayIcons::Free(Icon* icon) {
  delete icon->item;
  delete icon->menu;
  if (icon->picture) g_object_unref(icon->picture);
  delete icon;
}

bool TrayIcons::Notify(std::uint32_t message, const forms::NotifyIconData& data) {
  switch (message) {
    case forms::kNimAdd: return Add(data);
    case forms::kNimDelete: return Delete(data);
    default: return false;
  }
}

bool TrayIcons::Add(const forms::NotifyIconData& data) {
  const Key key{data.hWnd, data.uID};
  if (icons_.count(key)) return false;
  auto* icon = new Icon;
  icon->owner = this;
  icon->window = data.hWnd;
  icon->id = data.uID;
  icon->callbackMessage = (data.uFlags & forms::kNifMessage) ? data.uCallbackMessage : 0;
  GdkPixbuf* pixbuf = reinterpret_cast<GdkPixbuf*>(data.hIcon);
  if ((data.uFlags & forms::kNifIcon) && pixbuf && GDK_IS_PIXBUF(pixbuf)) {
    icon->picture = GDK_PIXBUF(g_object_ref(pixbuf));
  }
  if (data.uFlags & forms::kNifTip) icon->tip = TipText(data);
  icons_[key] = icon;
  if (watcher_ == Watcher::kNoBus && !connecting_) WatchForWatcher();
  if (watcher_ == Watcher::kPresent) StartItem(icon);
  PickKind(icon);
  return true;
}

// Made and dropped rather than shown and hidden: GDK loses count of the
// frames of a tray icon hidden while it is embedded, and says so on stderr
// when it is shown again.
void TrayIcons::MakeXEmbed(Icon* icon) {
  if (icon->status) return;
  icon->status =
      icon->picture ? gtk_status_icon_new_from_pixbuf(icon->picture) : gtk_status_icon_new();
  if (!icon->tip.empty()) gtk_status_icon_set_tooltip_text(icon->status, icon->tip.c_str());
  g_signal_connect(icon->status, "button-press-event", G_CALLBACK(OnButton), icon);
  g_signal_connect(icon->status, "button-release-event", G_CALLBACK(OnButton), icon);
  DrawItsPicture(icon->status, icon->picture);
  gtk_status_icon_set_visible(icon->status, TRUE);
}

void TrayIcons::DropXEmbed(Icon* icon) {
  if (!icon->status) return;
  g_signal_handlers_disconnect_by_data(icon->status, icon);
  gtk_status_icon_set_visible(icon->status, FALSE);
  // Dropped from inside its own click (the exit command): the icon may
  // still be emitting, so it is let go once the handler has returned.
  g_idle_add(UnrefLater, icon->status);
  icon->status = nullptr;
}

bool TrayIcons::Delete(const forms::NotifyIconData& data) {
  auto it = icons_.find({data.hWnd, data.uID});
  if (it == icons_.end()) return false;
  Icon* icon = it->second;
  icons_.erase(it);
  DropXEmbed(icon);
  DropMenu(icon);
  Free(icon);
  return true;
}

gboolean TrayIcons::OnButton(GObject*, GdkEventButton* event, Icon* icon) {
  const bool left = event->button == 1;
  if (!left && event->button != 3) return FALSE;
  forms::LParam mouse = 0;
  switch (event->type) {
    case GDK_BUTTON_PRESS: mouse = left ? forms::kWmLButtonDown : forms::kWmRButtonDown; break;
    // GTK follows the second press with this one: only that one is the
    // double click, and no button-up comes with it.
    case GDK_2BUTTON_PRESS: mouse = left ? forms::kWmLButtonDblClk : kWmRButtonDblClk; break;
    case GDK_BUTTON_RELEASE: mouse = left ? forms::kWmLButtonUp : forms::kWmRButtonUp; break;
    default: return TRUE;
  }
  icon->owner->Click(icon, mouse, 0);
  return TRUE;
}

void TrayIcons::DropMenu(Icon* icon) {
  if (!icon->menu) return;
  if (hostMenu_ == icon->menu) hostMenu_ = nullptr;
  g_idle_add(
      [](gpointer menu) {
        delete static_cast<SniMenu*>(menu);
        return G_SOURCE_REMOVE;
      },
      icon->menu);
  icon->menu = nullptr;
}

void TrayIcons::AskForMenu(Icon* icon) {
  // Whatever the program pops up meanwhile goes to the panel's menu; the
  // choice comes back later, through that menu.
  SniMenu* const before = hostMenu_;
  hostMenu_ = icon->menu;
  Click(icon, forms::kWmRButtonDown, forms::kWmRButtonUp);
  hostMenu_ = before;
}

// An XEmbed icon reports press and release apart (up 0); an item's click
// is one call, sent as both so that it reads as a click on the other kind.
void TrayIcons::Click(Icon* icon, forms::LParam down, forms::LParam up) {
  if (!icon->callbackMessage) return;
  forms::Platform& os = platform_;
  const forms::WindowHandle window = icon->window;
  const std::uint32_t message = icon->callbackMessage;
  const forms::WParam id = icon->id;
  // The exit command runs in here and deletes this icon: nothing of it is
  // touched once the first message has been sent.
  Guarded([&] {
    os.SendMessage(window, message, id, down);
    if (up) os.SendMessage(window, message, id, up);
  });
}

G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace gtkplat
