#include "forms/region.h"

#include <algorithm>
#include <cmath>

namespace forms {
namespace {

// How many pixels row `row` (counted from the nearest horizontal edge) loses
// at each end: the quarter ellipse of radii rx, ry sampled at the row's top.
int Inset(int row, int rx, int ry) {
  if (rx <= 0 || ry <= 0 || row >= ry) return 0;
  const double t = static_cast<double>(ry - row) / ry;
  const double half = rx * std::sqrt(std::max(0.0, 1.0 - t * t));
  return rx - static_cast<int>(std::floor(half));
}

}  // namespace

std::vector<Rect> RoundRectRegion::Spans() const {
  std::vector<Rect> spans;
  const int width = right - left;
  const int height = bottom - top;
  if (width <= 0 || height <= 0) return spans;
  const int rx = std::min(std::max(0, ellipseWidth / 2), width / 2);
  const int ry = std::min(std::max(0, ellipseHeight / 2), height / 2);
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
  if (y < top || y >= bottom) return false;
  const int height = bottom - top;
  const int width = right - left;
  const int rx = std::min(std::max(0, ellipseWidth / 2), width / 2);
  const int ry = std::min(std::max(0, ellipseHeight / 2), height / 2);
  const int row = y - top;
  const int inset = Inset(std::min(row, height - 1 - row), rx, ry);
  return x >= left + inset && x < right - inset;
}

}  // namespace forms
