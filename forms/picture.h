// Decoded pictures handed from a backend's resources to the form layer:
// skin bitmaps, the logo, the search-field frame and the hand pointer.
#pragma once

#include <cstdint>
#include <vector>

#include "forms/types.h"

namespace forms {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Color> pixels;         // rows top-down, 0x00RRGGBB
  std::vector<std::uint8_t> alpha;   // empty when opaque, else one byte a pixel
  int hotspotX = 0;                  // cursors only
  int hotspotY = 0;

  bool Valid() const {
    return width > 0 && height > 0 &&
           pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) &&
           (alpha.empty() || alpha.size() == pixels.size());
  }
};

}  // namespace forms
