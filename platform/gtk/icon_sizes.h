// The application's icon at the sizes trays and panels ask for, in the
// screen's pixels: the art drawn for that size when the icon carries it,
// or else the nearest picture it has, reduced smoothly or enlarged in
// whole blocks (smoothly only by a fraction).
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <vector>

namespace gtkplat {

// Gives the icon the pictures drawn for other sizes (squares); it keeps a
// reference to each for as long as it lives.
void AttachIconSizes(GdkPixbuf* icon, const std::vector<GdkPixbuf*>& pictures);

// A new reference to the icon's picture of size x size pixels; null for no
// icon or no size.
GdkPixbuf* IconAtSize(GdkPixbuf* icon, int size);

// The icon's own pictures, itself first, for a window manager to pick
// from: no new references. Empty for no icon.
std::vector<GdkPixbuf*> IconPictures(GdkPixbuf* icon);

}  // namespace gtkplat
