// Design pixels and the device pixels of a screen at some DPI. The program
// lays everything out in design pixels (96 to the inch, 15 twips each); a
// backend whose screen has more maps every edge to the device with
// ToDevice and every pointer position back with ToDesign, and enlarges the
// program's pictures with Enlarge. Portable and exact: the two mappings
// agree on every edge, so a device pixel lies inside a control's device
// rectangle exactly when the design pixel it shows lies inside the control.
#pragma once

#include <cstdint>

#include "forms/types.h"

namespace forms {

class DeviceScale {
 public:
  static constexpr int kDesignDpi = 96;
  // Windows offers 100 % to 500 %; anything outside is clamped to that.
  static constexpr int kMaxDpi = kDesignDpi * 5;

  constexpr DeviceScale() = default;
  explicit constexpr DeviceScale(int dpi)
      : dpi_(dpi < kDesignDpi ? kDesignDpi
             : dpi > kMaxDpi  ? kMaxDpi
                              : dpi) {}

  constexpr int Dpi() const { return dpi_; }
  constexpr bool Identity() const { return dpi_ == kDesignDpi; }
  // 200 %, 300 %: every design pixel becomes a whole square of device ones.
  constexpr bool WholeFactor() const { return dpi_ % kDesignDpi == 0; }
  // The percentage a browser zoom takes.
  constexpr int Percent() const { return (dpi_ * 100 + kDesignDpi / 2) / kDesignDpi; }

  // The device position of a design edge, rounded half up: x * dpi / 96.
  constexpr int ToDevice(int x) const {
    return FloorDiv(static_cast<std::int64_t>(x) * dpi_ + kDesignDpi / 2, kDesignDpi);
  }
  // The design pixel a device pixel shows: the largest x whose edge
  // ToDevice(x) is at or left of p. ToDesign(ToDevice(x)) == x for every x.
  constexpr int ToDesign(int p) const {
    return FloorDiv(static_cast<std::int64_t>(p) * kDesignDpi + kDesignDpi / 2 - 1, dpi_);
  }
  // The design length whose device length first reaches `deviceLength`:
  // a window of that many device pixels is laid out this wide, so its
  // layout covers it to the last column.
  constexpr int LengthToDesign(int deviceLength) const {
    return deviceLength <= 0 ? 0 : ToDesign(deviceLength - 1) + 1;
  }

  // Edges of a design rectangle (right and bottom exclusive) on the device.
  constexpr RectL ToDevice(const RectL& r) const {
    return {ToDevice(r.left), ToDevice(r.top), ToDevice(r.right), ToDevice(r.bottom)};
  }
  // The design pixels a device rectangle shows, as a rectangle.
  constexpr RectL Covering(const RectL& r) const {
    if (r.right <= r.left || r.bottom <= r.top) return {r.left, r.top, r.left, r.top};
    return {ToDesign(r.left), ToDesign(r.top), ToDesign(r.right - 1) + 1,
            ToDesign(r.bottom - 1) + 1};
  }

  // A child window's device rectangle inside its parent: `r` is placed in
  // the parent, whose corner is at `origin` in the whole window. The edges
  // are those of the whole window's mapping, so neighbours meet.
  constexpr RectL ToDeviceWithin(const RectL& r, PointL origin) const {
    const int x = ToDevice(origin.x);
    const int y = ToDevice(origin.y);
    return {ToDevice(origin.x + r.left) - x, ToDevice(origin.y + r.top) - y,
            ToDevice(origin.x + r.right) - x, ToDevice(origin.y + r.bottom) - y};
  }
  // A pointer position on such a window back in its design pixels.
  constexpr PointL ToDesignWithin(PointL device, PointL origin) const {
    return {ToDesign(ToDevice(origin.x) + device.x) - origin.x,
            ToDesign(ToDevice(origin.y) + device.y) - origin.y};
  }

  constexpr bool operator==(const DeviceScale&) const = default;

 private:
  static constexpr int FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return static_cast<int>((a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q);
  }

  int dpi_ = kDesignDpi;
};

// Rows of 0x00RRGGBB pixels, `stride` pixels apart.
struct PixelView {
  const Color* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

struct PixelTarget {
  Color* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// Fills `target` with the device pixels of `source` enlarged by `scale`.
// The source's pixel (0, 0) is the design pixel at (designLeft, designTop) of
// the window; the target's (0, 0) is the device pixel (deviceLeft,
// deviceTop) of the same window, so a picture drawn in parts (a repaint of
// one corner, a child window inside its form) joins up seamlessly. Whole
// factors copy each design pixel into its device square; other factors
// interpolate between the four nearest design pixels, whose centres stand at
// their device positions. Samples outside the source take its nearest edge.
void Enlarge(const PixelView& source, int designLeft, int designTop, const DeviceScale& scale,
             const PixelTarget& target, int deviceLeft, int deviceTop);

}  // namespace forms
