// Our rasterisation of a rounded-rectangle region, for backends that have no
// CreateRoundRectRgn of their own. Same arguments as the GDI call, and the
// same pixels for the program's 4 x 4 corners: the region ends one pixel
// before the right and bottom coordinates.
#pragma once

#include <vector>

#include "forms/types.h"

namespace forms {

struct RoundRectRegion {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int ellipseWidth = 0;
  int ellipseHeight = 0;

  // One span per row (height 1), rows top to bottom; empty rows are left out.
  std::vector<Rect> Spans() const;
  bool Contains(int x, int y) const;
};

}  // namespace forms
