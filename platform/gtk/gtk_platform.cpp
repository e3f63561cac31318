// The Linux platform's system calls: work area (the primary monitor's, and
// that of the monitor a window is on), window longs, regions, messages into
// a window's procedure chain, pointer grabs and the resource bundle; the
// command line, the link between instances and the immediate end. Not yet:
// regions other than the rounded rectangle, more than one X screen.
#include "gtk_platform.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <unordered_set>

#include "downloads.h"
#include "gtk_form.h"

namespace gtkplat {
namespace {

GdkMonitor* PrimaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor ? monitor : gdk_display_get_monitor(display, 0);
}

forms::RectL RectOf(const GdkRectangle& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

std::unordered_set<const NativeTarget*>& LiveTargets() {
  static std::unordered_set<const NativeTarget*> live;
  return live;
}

GdkSeat* DefaultSeat() {
  GdkDisplay* display = gdk_display_get_default();
  return display ? gdk_display_get_default_seat(display) : nullptr;
}

// The end of every form's procedure chain: what the system does with a
// message nobody handled.
forms::LResult GtkDefaultProc(forms::WindowHandle window, std::uint32_t message,
                              forms::WParam wParam, forms::LParam) {
  if (message == forms::kWmNcLButtonDown &&
      wParam == static_cast<forms::WParam>(forms::kHtCaption)) {
    if (NativeWindow* w = WindowOf(window); w && w->form) w->form->BeginMoveLoop();
  }
  return 0;
}

}  // namespace

GdkRectangle PrimaryMonitorGeometry() {
  GdkRectangle r{0, 0, 0, 0};
  if (GdkMonitor* monitor = PrimaryMonitor()) gdk_monitor_get_geometry(monitor, &r);
  return r;
}

GdkMonitor* MonitorOf(GtkWidget* toplevel) {
  GdkWindow* window = toplevel ? gtk_widget_get_window(toplevel) : nullptr;
  return window ? gdk_display_get_monitor_at_window(gdk_window_get_display(window), window)
                : nullptr;
}

NativeTarget::NativeTarget() { LiveTargets().insert(this); }
NativeTarget::~NativeTarget() { LiveTargets().erase(this); }

NativeTarget* TargetOf(forms::WindowHandle handle) {
  auto* target = reinterpret_cast<NativeTarget*>(handle);
  return target && LiveTargets().count(target) ? target : nullptr;
}

NativeWindow::NativeWindow() : longs(&GtkDefaultProc) {}

GtkPlatform::GtkPlatform(int argc, char** argv) {
  for (int i = 1; i < argc && argv && argv[i]; ++i) {
    if (i > 1) commandLine_ += ' ';
    commandLine_ += argv[i];
  }
}

void GtkPlatform::EndProcess() {
  // A second instance owns nothing worth flushing, and no destructor of the
  // half-built program may run.
  _exit(0);
}

GtkWidget* NativeWindow::GrabWidget() { return form ? form->Surface() : nullptr; }

NativeWindow* WindowOf(forms::WindowHandle handle) {
  NativeTarget* target = TargetOf(handle);
  return target ? target->AsWindow() : nullptr;
}

namespace {

// The peers of an instance that never started the toolkit: a second one,
// which hands its command line over and ends without a window.
class SilentControl final : public forms::ControlNative {
 public:
  forms::WindowHandle Handle() override { return nullptr; }
  void Moved() override {}
  void VisibilityChanged() override {}
  void Refresh() override {}
  void TextChanged() override {}
};

class SilentForm final : public forms::FormNative {
 public:
  forms::WindowHandle Handle() override { return window_.Id(); }
  std::unique_ptr<forms::ControlNative> CreateControl(forms::Control&) override {
    return std::make_unique<SilentControl>();
  }
  void FormRefresh() override {}
  void FormShow() override {}
  void FormHide() override {}
  void FormSetOuterSize(int, int) override {}
  void FormSetState(forms::WindowState) override {}
  void ShowPointer(const forms::Control*) override {}
  void FormSetOwner(forms::WindowHandle) override {}
  void FormActivate() override {}
  void FormSetIcon(forms::IconHandle) override {}
  int TrackPopupMenu(const std::vector<forms::PopupItem>&) override { return -1; }
  void CancelPopupMenu() override {}

 private:
  NativeWindow window_;
};

}  // namespace

void GtkPlatform::StartToolkit(int* argc, char*** argv) {
  gtk_init(argc, argv);
  toolkit_ = true;
}

std::unique_ptr<forms::FormNative> GtkPlatform::CreateFormNative(forms::Form& form) {
  if (!toolkit_) return std::make_unique<SilentForm>();
  return std::make_unique<GtkFormNative>(*this, form);
}

bool GtkPlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t, void* data,
                                       std::uint32_t) {
  if (action != forms::kSpiGetWorkArea || !data) return false;
  GdkMonitor* monitor = PrimaryMonitor();
  if (!monitor) return false;
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  *static_cast<forms::RectL*>(data) = RectOf(r);
  return true;
}

bool GtkPlatform::MonitorWorkArea(forms::WindowHandle window, forms::RectL& workArea,
                                  forms::RectL& monitor) {
  NativeWindow* w = WindowOf(window);
  GdkMonitor* m = w && w->form ? MonitorOf(GTK_WIDGET(w->form->Window())) : nullptr;
  if (!m) return false;
  GdkRectangle r;
  gdk_monitor_get_workarea(m, &r);
  workArea = RectOf(r);
  gdk_monitor_get_geometry(m, &r);
  monitor = RectOf(r);
  return true;
}

std::intptr_t GtkPlatform::GetWindowLongPtr(forms::WindowHandle window, int index) {
  NativeWindow* w = WindowOf(window);
  return w ? w->longs.Get(index) : 0;
}

std::intptr_t GtkPlatform::SetWindowLongPtr(forms::WindowHandle window, int index,
                                            std::intptr_t value) {
  NativeWindow* w = WindowOf(window);
  return w ? w->longs.Set(index, value) : 0;
}

forms::RegionHandle GtkPlatform::CreateRoundRectRgn(int left, int top, int right, int bottom,
                                                    int ellipseW, int ellipseH) {
  return reinterpret_cast<forms::RegionHandle>(
      new forms::RoundRectRegion{left, top, right, bottom, ellipseW, ellipseH});
}

int GtkPlatform::SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region, bool redraw) {
  std::unique_ptr<forms::RoundRectRegion> owned(reinterpret_cast<forms::RoundRectRegion*>(region));
  NativeWindow* w = WindowOf(window);
  if (!w || !w->form) return 0;
  w->form->SetShape(owned ? std::optional(*owned) : std::nullopt, redraw);
  return 1;
}

forms::LResult GtkPlatform::SendMessage(forms::WindowHandle window, std::uint32_t message,
                                        forms::WParam wParam, forms::LParam lParam) {
  // Controls keep no procedure chain here: nothing of theirs answers messages.
  NativeWindow* w = WindowOf(window);
  return w ? w->longs.chain.Send(window, message, wParam, lParam) : 0;
}

int GtkPlatform::DoubleClickTime() {
  gint ms = 400;
  if (GtkSettings* settings = gtk_settings_get_default()) {
    g_object_get(settings, "gtk-double-click-time", &ms, nullptr);
  }
  return ms > 0 ? ms : 400;
}

int GtkPlatform::DoubleClickSize() {
  gint px = 5;
  if (GtkSettings* settings = gtk_settings_get_default()) {
    g_object_get(settings, "gtk-double-click-distance", &px, nullptr);
  }
  // GTK's distance reaches either way; the box is twice as wide.
  return 2 * (px >= 0 ? px : 5);
}

void GtkPlatform::GrabPointer(forms::WindowHandle window) {
  NativeTarget* target = TargetOf(window);
  GtkWidget* widget = target ? target->GrabWidget() : nullptr;
  GdkWindow* gdkWindow =
      widget && gtk_widget_get_mapped(widget) ? gtk_widget_get_window(widget) : nullptr;
  GdkSeat* seat = DefaultSeat();
  GdkGrabStatus status = GDK_GRAB_FAILED;
  if (gdkWindow && seat) {
    // Not owner_events: every pointer event comes to this window, relative
    // to it, also after the pointer has left it, as a captured window's do.
    g_autoptr(GdkEvent) trigger = gtk_get_current_event();
    status = gdk_seat_grab(seat, gdkWindow, GDK_SEAT_CAPABILITY_ALL_POINTING, FALSE, nullptr,
                           trigger, nullptr, nullptr);
  }
  // A window that cannot have the pointer must not stay on record as
  // holding it.
  if (status != GDK_GRAB_SUCCESS) NativeCaptureLost(window);
}

void GtkPlatform::UngrabPointer() {
  if (GdkSeat* seat = DefaultSeat()) gdk_seat_ungrab(seat);
}

int GtkPlatform::ScreenWidthTwips() { return PrimaryMonitorGeometry().width * TwipsPerPixelX(); }
int GtkPlatform::ScreenHeightTwips() {
  return PrimaryMonitorGeometry().height * TwipsPerPixelY();
}

forms::Color GtkPlatform::SystemColor(forms::SysColor color) {
  switch (color) {
    case forms::SysColor::kWindow: return forms::Rgb(255, 255, 255);
    case forms::SysColor::kWindowText: return forms::Rgb(0, 0, 0);
    // A fixed value: the background of a window in GTK's default theme
    // (Adwaita), so a dialog's surface matches the themed button on it.
    case forms::SysColor::kButtonFace: return forms::Rgb(0xF6, 0xF5, 0xF4);
  }
  return forms::Rgb(0, 0, 0);
}

GdkPixbuf* ResourcePixbuf(const char* path) {
  g_autoptr(GError) error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(path, &error);
  if (!pixbuf) g_warning("cannot load %s: %s", path, error ? error->message : "?");
  return pixbuf;
}

std::optional<forms::Picture> ResourcePicture(const char* path) {
  g_autoptr(GdkPixbuf) pixbuf = ResourcePixbuf(path);
  if (!pixbuf) return std::nullopt;
  forms::Picture p;
  p.width = gdk_pixbuf_get_width(pixbuf);
  p.height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const bool hasAlpha = gdk_pixbuf_get_has_alpha(pixbuf);
  const guchar* data = gdk_pixbuf_read_pixels(pixbuf);
  // Cursors carry their hot spot as loader options.
  if (const gchar* hotX = gdk_pixbuf_get_option(pixbuf, "x_hot")) p.hotspotX = atoi(hotX);
  if (const gchar* hotY = gdk_pixbuf_get_option(pixbuf, "y_hot")) p.hotspotY = atoi(hotY);
  p.pixels.resize(static_cast<std::size_t>(p.width) * p.height);
  if (hasAlpha) p.alpha.resize(p.pixels.size());
  for (int y = 0; y < p.height; ++y) {
    const guchar* row = data + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < p.width; ++x) {
      const guchar* px = row + static_cast<std::size_t>(x) * channels;
      const std::size_t i = static_cast<std::size_t>(y) * p.width + x;
      p.pixels[i] = forms::Rgb(px[0], px[1], px[2]);
      if (hasAlpha) p.alpha[i] = px[3];
    }
  }
  return p;
}

std::optional<forms::Picture> GtkPlatform::LoadBitmapResource(int id) {
  const std::string path = "/kivo/art/" + std::to_string(id) + ".bmp";
  if (!g_resources_get_info(path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr,
                            nullptr)) {
    return std::nullopt;  // no such skin: the caller skips it quietly
  }
  return ResourcePicture(path.c_str());
}

std::optional<forms::Picture> GtkPlatform::LoadDesignPicture(std::string_view name) {
  if (name == "logo") return ResourcePicture("/kivo/art/logo.bmp");
  if (name == "so") return ResourcePicture("/kivo/art/so.gif");
  if (name == "hand") return ResourcePicture("/kivo/art/hand.cur");
  if (name == "about") return ResourcePicture("/kivo/art/about.gif");
  return std::nullopt;
}

}  // namespace gtkplat
