// The desktop shell on Linux: the notification-area icons (tray_icon.cpp),
// opening an address or file with the desktop's handler for it, the
// application's icon, and the end of the session: SIGTERM, SIGINT and SIGHUP
// run the program's exit sequence, after which GTK's loop returns. Not yet:
// verbs other than "open", parameters and working directories for what is
// opened (the program passes none).
#include <glib-unix.h>

#include <csignal>
#include <string>
#include <vector>

#include "gtk_form.h"
#include "gtk_platform.h"
#include "icon_sizes.h"

namespace gtkplat {
namespace {

// shell32's answers: more than 32 is success.
constexpr std::intptr_t kOpened = 42;
constexpr std::intptr_t kFileNotFound = 2;
constexpr std::intptr_t kNoAssociation = 31;

// The largest the window manager and the tray are likely to show; the
// application's icon group has it, and GTK scales it down from there.
constexpr int kIconPx = 48;
// The sizes the icon's art is drawn at, besides.
constexpr int kDrawnIconPx[] = {16, 22, 24, 32, 48, 64};

}  // namespace

bool GtkPlatform::Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) {
  // Without a display there is no tray to show anything in.
  if (!toolkit_) return false;
  return tray_.Notify(message, data);
}

bool GtkPlatform::ServeHostMenu(const std::vector<forms::PopupItem>& items,
                                const forms::MenuChoice& chosen) {
  SniMenu* menu = tray_.HostMenu();
  if (!menu) return false;
  menu->Serve(items, chosen);
  return true;
}

std::intptr_t GtkPlatform::ShellExecute(forms::WindowHandle owner, std::string_view verb,
                                        std::string_view file, std::string_view, std::string_view,
                                        int) {
  if (!toolkit_) return kFileNotFound;
  if (!verb.empty() && verb != "open") return kNoAssociation;
  const std::string uri(file);
  // GLib wants a valid UTF-8 string without inner NULs.
  if (uri.empty() || uri.find('\0') != std::string::npos ||
      !g_utf8_validate(uri.data(), static_cast<gssize>(uri.size()), nullptr)) {
    return kFileNotFound;
  }
  NativeWindow* w = WindowOf(owner);
  GtkWindow* parent = w && w->form ? w->form->Window() : nullptr;
  // A window never shown (the about box loaded for its menus) has nothing
  // on the screen to be the parent of anything.
  if (parent && !gtk_widget_get_realized(GTK_WIDGET(parent))) parent = nullptr;
  g_autoptr(GError) error = nullptr;
  if (!gtk_show_uri_on_window(parent, uri.c_str(), GDK_CURRENT_TIME, &error)) {
    g_warning("cannot open %s: %s", uri.c_str(), error ? error->message : "?");
    return kFileNotFound;
  }
  return kOpened;
}

forms::IconHandle GtkPlatform::LoadIconResource(int id) {
  if (id != 1 || !toolkit_) return nullptr;
  if (!appIcon_) {
    g_autoptr(GdkPixbuf) full = ResourcePixbuf("/kivo/art/app.ico");
    if (!full) return nullptr;
    appIcon_ = gdk_pixbuf_get_width(full) == kIconPx && gdk_pixbuf_get_height(full) == kIconPx
                   ? GDK_PIXBUF(g_object_ref(full))
                   : gdk_pixbuf_scale_simple(full, kIconPx, kIconPx, GDK_INTERP_BILINEAR);
    // The art drawn for the tray's sizes goes with it: a tray at 22 or at
    // 44 pixels of a screen at a scale of 2 shows that art, not this one
    // reduced or blurred.
    std::vector<GdkPixbuf*> sizes;
    for (int px : kDrawnIconPx) {
      const std::string path = "/kivo/art/icons/kivo-" + std::to_string(px) + ".png";
      if (GdkPixbuf* p = ResourcePixbuf(path.c_str())) sizes.push_back(p);
    }
    AttachIconSizes(appIcon_, sizes);
    for (GdkPixbuf* p : sizes) g_object_unref(p);
  }
  return reinterpret_cast<forms::IconHandle>(appIcon_);
}

void GtkPlatform::QuitLoop() {
  // A question still open holds its nested loop, and with it the end, until
  // someone answers: a program that ends answers it Cancel itself.
  if (asking_) gtk_dialog_response(asking_, GTK_RESPONSE_CANCEL);
  // Before the loop has started (the session ended during start-up) there
  // is nothing to quit: main does not enter it then.
  if (gtk_main_level() > 0) gtk_main_quit();
}

void GtkPlatform::WatchEndSignals() {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) g_unix_signal_add(signal, &OnEndSignal, this);
}

gboolean GtkPlatform::OnEndSignal(gpointer data) {
  auto* self = static_cast<GtkPlatform*>(data);
  if (!self->built_) {
    self->endAsked_ = true;
  } else if (!self->LoopEnded()) {
    // Once is enough: what a second signal finds is already ending.
    Guarded([&] { self->NativeSessionEnd(forms::UnloadMode::kAppTaskManager); });
  }
  return G_SOURCE_CONTINUE;
}

void GtkPlatform::Built() {
  built_ = true;
  if (endAsked_ && !LoopEnded()) {
    Guarded([&] { NativeSessionEnd(forms::UnloadMode::kAppTaskManager); });
  }
}

}  // namespace gtkplat
