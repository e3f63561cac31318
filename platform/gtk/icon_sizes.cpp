// Picking and scaling the icon's pictures for a size (icon_sizes.h). Not
// yet: pictures that are not square (the program's are).
#include "icon_sizes.h"

namespace gtkplat {
namespace {

constexpr char kSizesKey[] = "kivo-icon-sizes";

void UnrefAll(gpointer list) {
  auto* pictures = static_cast<std::vector<GdkPixbuf*>*>(list);
  for (GdkPixbuf* p : *pictures) g_object_unref(p);
  delete pictures;
}

}  // namespace

void AttachIconSizes(GdkPixbuf* icon, const std::vector<GdkPixbuf*>& pictures) {
  if (!icon || !GDK_IS_PIXBUF(icon)) return;
  auto* kept = new std::vector<GdkPixbuf*>;
  for (GdkPixbuf* p : pictures) {
    if (p && GDK_IS_PIXBUF(p)) kept->push_back(GDK_PIXBUF(g_object_ref(p)));
  }
  g_object_set_data_full(G_OBJECT(icon), kSizesKey, kept, UnrefAll);
}

std::vector<GdkPixbuf*> IconPictures(GdkPixbuf* icon) {
  if (!icon || !GDK_IS_PIXBUF(icon)) return {};
  std::vector<GdkPixbuf*> all{icon};
  if (auto* more =
          static_cast<std::vector<GdkPixbuf*>*>(g_object_get_data(G_OBJECT(icon), kSizesKey))) {
    all.insert(all.end(), more->begin(), more->end());
  }
  return all;
}

GdkPixbuf* IconAtSize(GdkPixbuf* icon, int size) {
  if (!icon || !GDK_IS_PIXBUF(icon) || size <= 0) return nullptr;
  const std::vector<GdkPixbuf*> all = IconPictures(icon);
  // The drawn size itself; else the smallest larger one, whose reduction
  // keeps its detail; else the largest that fits a whole number of times,
  // enlarged in blocks; else the largest, smoothly.
  GdkPixbuf* exact = nullptr;
  GdkPixbuf* larger = nullptr;
  GdkPixbuf* whole = nullptr;
  GdkPixbuf* largest = nullptr;
  for (GdkPixbuf* p : all) {
    const int side = gdk_pixbuf_get_width(p);
    if (side != gdk_pixbuf_get_height(p) && p != icon) continue;
    if (side == size && gdk_pixbuf_get_height(p) == size) exact = p;
    if (side > size && (!larger || side < gdk_pixbuf_get_width(larger))) larger = p;
    if (side < size && size % side == 0 && (!whole || side > gdk_pixbuf_get_width(whole))) {
      whole = p;
    }
    if (!largest || side > gdk_pixbuf_get_width(largest)) largest = p;
  }
  if (exact) return GDK_PIXBUF(g_object_ref(exact));
  if (larger) return gdk_pixbuf_scale_simple(larger, size, size, GDK_INTERP_HYPER);
  if (whole) return gdk_pixbuf_scale_simple(whole, size, size, GDK_INTERP_NEAREST);
  return gdk_pixbuf_scale_simple(largest, size, size, GDK_INTERP_BILINEAR);
}

}  // namespace gtkplat
