#include "gtk_platform.h"

#include <cstdlib>
#include <string>

#include "gtk_form.h"

namespace gtkplat {
namespace {

GdkMonitor* PrimaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor ? monitor : gdk_display_get_monitor(display, 0);
}

GdkRectangle MonitorGeometry() {
  GdkRectangle r{0, 0, 0, 0};
  if (GdkMonitor* monitor = PrimaryMonitor()) gdk_monitor_get_geometry(monitor, &r);
  return r;
}

}  // namespace

NativeWindow* WindowOf(forms::WindowHandle handle) {
  return reinterpret_cast<NativeWindow*>(handle);
}

std::unique_ptr<forms::FormNative> GtkPlatform::CreateFormNative(forms::Form& form) {
  return std::make_unique<GtkFormNative>(*this, form);
}

bool GtkPlatform::SystemParametersInfo(std::uint32_t action, std::uint32_t, void* data,
                                       std::uint32_t) {
  if (action != forms::kSpiGetWorkArea || !data) return false;
  GdkMonitor* monitor = PrimaryMonitor();
  if (!monitor) return false;
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  *static_cast<forms::RectL*>(data) = {r.x, r.y, r.x + r.width, r.y + r.height};
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

int GtkPlatform::SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region,
                              bool redraw) {
  std::unique_ptr<forms::RoundRectRegion> owned(
      reinterpret_cast<forms::RoundRectRegion*>(region));
  NativeWindow* w = WindowOf(window);
  if (!w || !w->form) return 0;
  w->form->SetShape(owned ? std::optional(*owned) : std::nullopt, redraw);
  return 1;
}

int GtkPlatform::ScreenWidthTwips() { return MonitorGeometry().width * TwipsPerPixelX(); }
int GtkPlatform::ScreenHeightTwips() { return MonitorGeometry().height * TwipsPerPixelY(); }

forms::Color GtkPlatform::SystemColor(forms::SysColor color) {
  // The classic scheme: white windows, black window text.
  return color == forms::SysColor::kWindow ? forms::Rgb(255, 255, 255) : forms::Rgb(0, 0, 0);
}

GdkPixbuf* ResourcePixbuf(const char* path) {
  GError* error = nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(path, &error);
  if (error) {
    g_warning("cannot load %s: %s", path, error->message);
    g_error_free(error);
    return nullptr;
  }
  return pixbuf;
}

std::optional<forms::Picture> ResourcePicture(const char* path) {
  GdkPixbuf* pixbuf = ResourcePixbuf(path);
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
  g_object_unref(pixbuf);
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
  return std::nullopt;
}

}  // namespace gtkplat
