// Where the skin pictures' cells and the frame atlas's pieces lie, and where
// each frame piece goes on a window of inner size sw x sh.
#pragma once

#include <array>

namespace frame {

// A length on the window: sw * perWidth + sh * perHeight + offset.
struct Span {
  int perWidth;
  int perHeight;
  int offset;
  constexpr int At(int sw, int sh) const { return sw * perWidth + sh * perHeight + offset; }
};

struct FramePiece {
  Span x, y, w, h;          // destination on the window
  int sx, sy, sw, sh;       // source in the frame atlas ppt(0)
};

constexpr Span Fix(int v) { return {0, 0, v}; }
constexpr Span FromW(int v) { return {1, 0, v}; }
constexpr Span FromH(int v) { return {0, 1, v}; }

// Drawn in this order: the bottom pieces after the side edges so the bottom
// row wins where they meet, the band's corners after its middle.
inline constexpr std::array<FramePiece, 8> kFramePieces{{
    {Fix(0), Fix(85), Fix(6), FromH(-85), 0, 85, 6, 10},     // left edge
    {FromW(-6), Fix(85), Fix(6), FromH(-85), 9, 85, 6, 10},  // right edge
    {Fix(6), FromH(-5), FromW(-9), Fix(5), 6, 95, 6, 5},     // bottom middle
    {Fix(0), FromH(-5), Fix(6), Fix(5), 0, 95, 6, 5},        // bottom left corner
    {FromW(-3), FromH(-5), Fix(3), Fix(5), 12, 95, 3, 5},    // bottom right corner
    {Fix(5), Fix(0), FromW(-10), Fix(85), 5, 0, 5, 85},      // title band middle
    {Fix(0), Fix(0), Fix(5), Fix(85), 0, 0, 5, 85},          // title band left corner
    {FromW(-5), Fix(0), Fix(5), Fix(85), 10, 0, 5, 85},      // title band right corner
}};

// Skin cells.
struct Cell {
  int holder;  // ppt index
  int x, y, w, h;
};

inline constexpr int kCategoryRow = 39;
inline constexpr Cell kMinimizeNormal{1, 0, 0, 27, 19};
inline constexpr Cell kCloseNormal{1, 27, 0, 37, 19};
inline constexpr Cell kSearchNormal{5, 0, 0, 72, 28};
inline constexpr Cell kMinimizeHover{1, 0, 19, 27, 19};
inline constexpr Cell kCloseHover{1, 27, 19, 37, 19};
inline constexpr Cell kSearchHover{5, 72, 0, 72, 28};
inline constexpr Cell kSearchPressed{5, 144, 0, 72, 28};

inline constexpr int kCategoryNormalHolder = 2;
inline constexpr int kCategorySelectedHolder = 3;
inline constexpr int kCategoryHoverHolder = 4;

constexpr Cell CategoryCell(int holder, int index) {
  return {holder, 0, (index - 2) * kCategoryRow, 130, kCategoryRow};
}

}  // namespace frame
