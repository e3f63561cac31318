// The StatusNotifierItem's pictures: the application's icon as ARGB32 in
// network byte order (alpha, red, green, blue), which is what the protocol
// carries in place of a themed icon name; each size from the art drawn for
// it when the icon has that art (icon_sizes.h). Not yet: overlay and attention
// pictures (the program has none).
#include <array>
#include <vector>

#include "icon_sizes.h"
#include "sni_item.h"

namespace gtkplat {
namespace {

// Panels pick the nearest size to draw; the common ones are all there so
// none of them scales a 48-pixel picture down to 16 by itself, 64 for a
// 32-pixel panel at a scale of 2.
constexpr std::array<int, 6> kSizes = {16, 22, 24, 32, 48, 64};

GVariant* Pixmap(GdkPixbuf* icon, int size) {
  g_autoptr(GdkPixbuf) scaled = IconAtSize(icon, size);
  if (!scaled || gdk_pixbuf_get_colorspace(scaled) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(scaled) != 8) {
    return nullptr;
  }
  const int channels = gdk_pixbuf_get_n_channels(scaled);
  const bool alpha = gdk_pixbuf_get_has_alpha(scaled);
  if (channels != (alpha ? 4 : 3)) return nullptr;
  const int stride = gdk_pixbuf_get_rowstride(scaled);
  const guchar* pixels = gdk_pixbuf_read_pixels(scaled);
  std::vector<guchar> argb;
  argb.reserve(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    const guchar* p = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < size; ++x, p += channels) {
      argb.insert(argb.end(), {alpha ? p[3] : guchar{0xFF}, p[0], p[1], p[2]});
    }
  }
  GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1);
  return g_variant_new("(ii@ay)", size, size, bytes);
}

}  // namespace

GVariant* SniPixmaps(GdkPixbuf* icon) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
  if (icon && GDK_IS_PIXBUF(icon)) {
    for (int size : kSizes) {
      if (GVariant* pixmap = Pixmap(icon, size)) g_variant_builder_add_value(&builder, pixmap);
    }
  }
  return g_variant_builder_end(&builder);
}

}  // namespace gtkplat
