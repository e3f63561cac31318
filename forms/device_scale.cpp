// Enlarging design pixels onto the device: nearest at whole factors,
// bilinear at the others.
#include "forms/device_scale.h"

#include <algorithm>
#include <vector>

namespace forms {
namespace {

// Where each device column (or row) samples the source: the two design
// pixels either side of its centre and the weight of the second, in 256ths.
struct Tap {
  int first;
  int second;
  int weight;
};

int Clamp(int v, int size) { return std::clamp(v, 0, size - 1); }

std::vector<Tap> Taps(int count, int deviceStart, int designStart, int size,
                      const DeviceScale& scale, bool smooth) {
  std::vector<Tap> taps(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int device = deviceStart + i;
    if (!smooth) {
      const int at = Clamp(scale.ToDesign(device) - designStart, size);
      taps[static_cast<std::size_t>(i)] = {at, at, 0};
      continue;
    }
    // The centre of the device pixel in design pixels, less half a pixel so
    // a design pixel's own centre lands on a whole number; in 256ths.
    const std::int64_t twice = 2 * static_cast<std::int64_t>(device) + 1;
    std::int64_t u = twice * DeviceScale::kDesignDpi * 256 / (2 * scale.Dpi());
    u -= 128 + static_cast<std::int64_t>(designStart) * 256;
    const std::int64_t whole = u >= 0 ? u / 256 : -((-u + 255) / 256);
    const int weight = static_cast<int>(u - whole * 256);
    const int first = static_cast<int>(std::clamp<std::int64_t>(whole, -1, size));
    taps[static_cast<std::size_t>(i)] = {Clamp(first, size), Clamp(first + 1, size), weight};
  }
  return taps;
}

// Each channel p * (256 - w) + q * w, rounded: red and blue together, green
// on its own, with room to spare in 32 bits.
Color Mix(Color a, Color b, int weight) {
  if (weight == 0 || a == b) return a;
  const std::uint32_t w = static_cast<std::uint32_t>(weight);
  const std::uint32_t rb =
      (((a & 0xFF00FFu) * (256 - w) + (b & 0xFF00FFu) * w + 0x800080u) >> 8) & 0xFF00FFu;
  const std::uint32_t g =
      (((a & 0xFF00u) * (256 - w) + (b & 0xFF00u) * w + 0x8000u) >> 8) & 0xFF00u;
  return rb | g;
}

}  // namespace

void Enlarge(const PixelView& source, int designLeft, int designTop, const DeviceScale& scale,
             const PixelTarget& target, int deviceLeft, int deviceTop) {
  if (!source.pixels || !target.pixels || source.width <= 0 || source.height <= 0 ||
      target.width <= 0 || target.height <= 0 || source.stride < source.width ||
      target.stride < target.width) {
    return;
  }
  const bool smooth = !scale.WholeFactor();
  const std::vector<Tap> columns =
      Taps(target.width, deviceLeft, designLeft, source.width, scale, smooth);
  const std::vector<Tap> rows =
      Taps(target.height, deviceTop, designTop, source.height, scale, smooth);
  for (int y = 0; y < target.height; ++y) {
    const Tap& row = rows[static_cast<std::size_t>(y)];
    Color* out = target.pixels + static_cast<std::size_t>(y) * target.stride;
    // A row sampling what the one above it sampled is that row again: half
    // the rows at 200 %, two in three at 300 %.
    if (y > 0) {
      const Tap& above = rows[static_cast<std::size_t>(y) - 1];
      if (above.first == row.first && above.second == row.second && above.weight == row.weight) {
        std::copy_n(out - target.stride, target.width, out);
        continue;
      }
    }
    const Color* upper = source.pixels + static_cast<std::size_t>(row.first) * source.stride;
    const Color* lower = source.pixels + static_cast<std::size_t>(row.second) * source.stride;
    for (int x = 0; x < target.width; ++x) {
      const Tap& column = columns[static_cast<std::size_t>(x)];
      const Color top = Mix(upper[column.first], upper[column.second], column.weight);
      if (row.weight == 0) {
        out[x] = top;
        continue;
      }
      const Color bottom = Mix(lower[column.first], lower[column.second], column.weight);
      out[x] = Mix(top, bottom, row.weight);
    }
  }
}

}  // namespace forms
