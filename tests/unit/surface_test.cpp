#include <gtest/gtest.h>

#include "forms/region.h"
#include "forms/surface.h"
#include "test_support.h"

namespace {

using testing_support::Decode;
using testing_support::Decoded;
using testing_support::EncodedPicture;

forms::Surface Encoded(int tag, int w, int h) {
  forms::Surface s;
  auto p = EncodedPicture(tag, w, h);
  s.Assign(w, h, p.pixels);
  return s;
}

TEST(BitBlt, CopiesEachPixelFromItsOffsetAndLeavesTheRestAlone) {
  auto src = Encoded(1, 20, 10);
  forms::Surface dst;
  dst.Reset(30, 30, 0x123456);
  ASSERT_TRUE(forms::PortableBitBlt(&dst, 4, 5, 7, 3, &src, 2, 6, forms::kSrcCopy));
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= 4 && x < 11 && y >= 5 && y < 8;
      if (inside) {
        EXPECT_EQ(Decode(dst.Pixel(x, y)), (Decoded{1, x - 4 + 2, y - 5 + 6})) << x << "," << y;
      } else {
        EXPECT_EQ(dst.Pixel(x, y), 0x123456u) << x << "," << y;
      }
    }
  }
}

TEST(BitBlt, ClipsAgainstBothSurfacesInEveryDirection) {
  struct Case {
    int x, y, w, h, sx, sy;
  };
  const Case cases[] = {
      {-3, -2, 10, 10, 0, 0},    // destination off the top-left
      {25, 25, 10, 10, 0, 0},    // destination off the bottom-right
      {0, 0, 10, 10, -4, -1},    // source off the top-left
      {0, 0, 10, 10, 15, 8},     // source off the bottom-right
      {0, 0, 1000, 1000, 0, 0},  // larger than both
      // One edge at a time: a clip applied to the wrong axis shows here.
      {-3, 4, 10, 10, 0, 0},  // destination off the left only
      {4, -3, 10, 10, 0, 0},  // destination off the top only
      {26, 2, 10, 10, 0, 0},  // destination off the right only
      {2, 21, 10, 10, 0, 0},  // destination off the bottom only
      {1, 2, 10, 10, -4, 3},  // source off the left only
      {1, 2, 10, 10, 3, -4},  // source off the top only
      {1, 2, 10, 10, 15, 1},  // source off the right only
      {1, 2, 10, 10, 1, 6},   // source off the bottom only
      {3, 1, 25, 4, 0, 0},    // wider than the source, inside it vertically
  };
  for (const auto& c : cases) {
    auto src = Encoded(2, 20, 10);
    forms::Surface dst;
    dst.Reset(30, 25, 7);
    EXPECT_TRUE(forms::PortableBitBlt(&dst, c.x, c.y, c.w, c.h, &src, c.sx, c.sy, forms::kSrcCopy));
    for (int y = 0; y < 25; ++y) {
      for (int x = 0; x < 30; ++x) {
        const int i = x - c.x, j = y - c.y;
        const int sx = c.sx + i, sy = c.sy + j;
        const bool copied = i >= 0 && i < c.w && j >= 0 && j < c.h && sx >= 0 && sx < 20 &&
                            sy >= 0 && sy < 10;
        const forms::Color expected = copied ? testing_support::Encode(2, sx, sy) : 7u;
        ASSERT_EQ(dst.Pixel(x, y), expected) << "case x=" << c.x << " y=" << c.y << " sx=" << c.sx
                                             << " sy=" << c.sy << " at " << x << "," << y;
      }
    }
  }
}

TEST(BitBlt, RefusesWhatItCannotDo) {
  auto src = Encoded(0, 4, 4);
  forms::Surface dst;
  dst.Reset(4, 4, 9);
  forms::Surface empty;
  EXPECT_FALSE(forms::PortableBitBlt(&dst, 0, 0, 4, 4, &src, 0, 0, 0x00EE0086));  // SRCPAINT
  EXPECT_FALSE(forms::PortableBitBlt(&dst, 0, 0, 0, 4, &src, 0, 0, forms::kSrcCopy));
  EXPECT_FALSE(forms::PortableBitBlt(&dst, 0, 0, -4, 4, &src, 0, 0, forms::kSrcCopy));
  EXPECT_FALSE(forms::PortableBitBlt(nullptr, 0, 0, 4, 4, &src, 0, 0, forms::kSrcCopy));
  EXPECT_FALSE(forms::PortableBitBlt(&dst, 0, 0, 4, 4, &empty, 0, 0, forms::kSrcCopy));
  EXPECT_FALSE(forms::PortableStretchBlt(&dst, 0, 0, 4, -4, &src, 0, 0, 2, 2, forms::kSrcCopy));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Pixel(x, y), 9u);
}

TEST(StretchBlt, MapsEveryDestinationPixelProportionally) {
  struct Case {
    int dw, dh, sw, sh;
  };
  // Enlarging, shrinking, one axis only, and sizes that do not divide.
  const Case cases[] = {{17, 9, 5, 3}, {3, 2, 10, 7}, {12, 4, 12, 2}, {1, 1, 6, 6}, {101, 13, 7, 13}};
  for (const auto& c : cases) {
    auto src = Encoded(3, 20, 20);
    forms::Surface dst;
    dst.Reset(120, 20, 0);
    ASSERT_TRUE(forms::PortableStretchBlt(&dst, 2, 1, c.dw, c.dh, &src, 4, 5, c.sw, c.sh,
                                          forms::kSrcCopy));
    for (int j = 0; j < c.dh; ++j) {
      for (int i = 0; i < c.dw; ++i) {
        const Decoded got = Decode(dst.Pixel(2 + i, 1 + j));
        EXPECT_EQ(got.x, 4 + i * c.sw / c.dw);
        EXPECT_EQ(got.y, 5 + j * c.sh / c.dh);
      }
    }
    EXPECT_EQ(dst.Pixel(1, 1), 0u);
    EXPECT_EQ(dst.Pixel(2 + c.dw, 1), 0u);
  }
}

TEST(StretchBlt, StaysInsideBothSurfaces) {
  struct Case {
    int x, y, w, h, sx, sy, sw, sh;
  };
  // Off each edge of the destination on its own, reading past each edge of
  // the source on its own, and far larger than both: pixels that would land
  // outside the destination or come from outside the source are skipped,
  // and every other one is exactly where the mapping puts it.
  const Case cases[] = {
      {-50, -50, 5000, 4000, 10, 90, 20, 30},
      {-3, 2, 8, 6, 0, 0, 4, 3},
      {2, -3, 8, 6, 0, 0, 4, 3},
      {9, 2, 8, 6, 0, 0, 4, 3},
      {2, 7, 8, 6, 0, 0, 4, 3},
      {1, 1, 8, 6, 12, 0, 5, 3},
      {1, 1, 8, 6, 0, 97, 4, 5},
      {1, 1, 8, 6, -2, 0, 4, 3},
      {1, 1, 8, 6, 0, -2, 4, 3},
      {0, 0, 12, 9, 0, 0, 30, 200},
  };
  for (const auto& c : cases) {
    auto src = Encoded(1, 15, 100);
    forms::Surface dst;
    dst.Reset(12, 9, 5);
    EXPECT_TRUE(forms::PortableStretchBlt(&dst, c.x, c.y, c.w, c.h, &src, c.sx, c.sy, c.sw, c.sh,
                                          forms::kSrcCopy));
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 12; ++x) {
        const int i = x - c.x, j = y - c.y;
        const int sx = c.sx + static_cast<int>(static_cast<long long>(i) * c.sw / c.w);
        const int sy = c.sy + static_cast<int>(static_cast<long long>(j) * c.sh / c.h);
        const bool copied =
            i >= 0 && i < c.w && j >= 0 && j < c.h && sx >= 0 && sx < 15 && sy >= 0 && sy < 100;
        ASSERT_EQ(dst.Pixel(x, y), copied ? testing_support::Encode(1, sx, sy) : 5u)
            << "case x=" << c.x << " y=" << c.y << " sx=" << c.sx << " sy=" << c.sy << " at " << x
            << "," << y;
      }
    }
  }
}

TEST(Surface, ResizeKeepsTheOverlapAndFillsTheRest) {
  auto s = Encoded(0, 4, 3);
  s.Resize(6, 2, 42);
  EXPECT_EQ(s.Width(), 6);
  EXPECT_EQ(Decode(s.Pixel(3, 1)), (Decoded{0, 3, 1}));
  EXPECT_EQ(s.Pixel(4, 0), 42u);
  s.Resize(0, 5, 1);
  EXPECT_TRUE(s.Empty());
  EXPECT_EQ(s.Bits(), nullptr);
}

TEST(RoundRectRegion, MatchesGdiForTheWindowOutline) {
  // The window outline: one pixel larger than the 888 x 700 window each way,
  // which GDI trims back to the window, cutting one pixel at each corner.
  const forms::RoundRectRegion r{0, 0, 889, 701, 4, 4};
  const auto spans = r.Spans();
  ASSERT_EQ(spans.size(), 700u);
  EXPECT_EQ(spans[0], (forms::Rect{1, 0, 886, 1}));
  EXPECT_EQ(spans[699], (forms::Rect{1, 699, 886, 1}));
  for (int row = 1; row < 699; ++row) ASSERT_EQ(spans[row], (forms::Rect{0, row, 888, 1})) << row;
  const std::pair<int, int> cut[] = {{0, 0}, {887, 0}, {0, 699}, {887, 699}, {888, 5}, {5, 700}};
  for (auto [x, y] : cut) EXPECT_FALSE(r.Contains(x, y)) << x << "," << y;
  const std::pair<int, int> kept[] = {{1, 0}, {886, 0}, {0, 1}, {887, 698}, {886, 699}, {400, 300}};
  for (auto [x, y] : kept) EXPECT_TRUE(r.Contains(x, y)) << x << "," << y;
}

TEST(RoundRectRegion, DegenerateSizesGiveNoOrTinyRegions) {
  EXPECT_TRUE((forms::RoundRectRegion{0, 0, 1, 5, 4, 4}.Spans().empty()));
  EXPECT_TRUE((forms::RoundRectRegion{0, 0, -3, -3, 4, 4}.Spans().empty()));
  EXPECT_EQ((forms::RoundRectRegion{0, 0, 2, 2, 4, 4}.Spans().size()), 1u);
  EXPECT_EQ((forms::RoundRectRegion{0, 0, 2, 2, 4, 4}.Spans()[0]), (forms::Rect{0, 0, 1, 1}));
}

}  // namespace
