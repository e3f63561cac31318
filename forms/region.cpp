#include "forms/region.h"

#include <algorithm>
#include <cmath>

namespace forms {
namespace {

// How many pixels row `row` (counted from the nearest horizontal edge) loses
// at each end: the quarter ellipse of radii rx, ry sampled at the row's
// centre and rounded, which cuts one pixel per corner for a 4 x 4 ellipse,
// as GDI does.
int Inset(int row, int rx, int ry) {
  if (rx <= 0 || ry <= 0 || row >= ry) return 0;
  const double t = (ry - row - 0.5) / ry;
  const double half = rx * std::sqrt(std::max(0.0, 1.0 - t * t));
  return rx - static_cast<int>(std::floor(half + 0.5));
}

// Like GDI, the right and bottom coordinates are outside the region.
struct Box {
  int width, height, rx, ry;
};
Box Measure(const RoundRectRegion& r) {
  const int width = r.right - r.left - 1;
  const int height = r.bottom - r.top - 1;
  return {width, height, std::min(std::max(0, r.ellipseWidth / 2), std::max(0, width / 2)),
          std::min(std::max(0, r.ellipseHeight / 2), std::max(0, height / 2))};
}

}  // namespace

std::vector<Rect> RoundRectRegion::Spans() const {
  std::vector<Rect> spans;
  const auto [width, height, rx, ry] = Measure(*this);
  if (width <= 0 || height <= 0) return spans;
  spans.reserve(static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row) {
    const int fromEdge = std::min(row, height - 1 - row);
    const int inset = Inset(fromEdge, rx, ry);
    if (width - 2 * inset <= 0) continue;
    spans.push_back({left + inset, top + row, width - 2 * inset, 1});
  }
  return spans;
}

bool RoundRectRegion::Contains(int x, int y) const {
  const auto [width, height, rx, ry] = Measure(*this);
  if (y < top || y >= top + height) return false;
  const int row = y - top;
  const int inset = Inset(std::min(row, height - 1 - row), rx, ry);
  return x >= left + inset && x < left + width - inset;
}

}  // namespace forms
