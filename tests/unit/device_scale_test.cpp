#include "forms/device_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "forms/region.h"

namespace {

using forms::DeviceScale;

// 100, 125, 150, 175, 200 and 300 %.
const int kDpis[] = {96, 120, 144, 168, 192, 288};

TEST(DeviceScale, EdgesAndPointerPositionsAgreeEverywhereAtEveryScale) {
  for (int dpi : kDpis) {
    const DeviceScale s(dpi);
    for (int x = -40; x <= 2000; ++x) {
      ASSERT_EQ(s.ToDesign(s.ToDevice(x)), x) << dpi << " x=" << x;
      ASSERT_LT(s.ToDevice(x), s.ToDevice(x + 1)) << dpi << " x=" << x;
      // Close to the exact product: never more than half a device pixel off.
      const double exact = x * dpi / 96.0;
      ASSERT_LE(std::abs(s.ToDevice(x) - exact), 0.5) << dpi << " x=" << x;
    }
    // A device pixel shows the design pixel whose edges enclose it.
    for (int p = -60; p <= 3000; ++p) {
      const int x = s.ToDesign(p);
      ASSERT_LE(s.ToDevice(x), p) << dpi << " p=" << p;
      ASSERT_GT(s.ToDevice(x + 1), p) << dpi << " p=" << p;
    }
  }
}

TEST(DeviceScale, WindowLengthsComeBackAsTheLayoutThatFillsThem) {
  for (int dpi : kDpis) {
    const DeviceScale s(dpi);
    for (int w = 0; w <= 700; ++w) ASSERT_EQ(s.LengthToDesign(s.ToDevice(w)), w) << dpi;
    // A device length the mapping never makes (a maximized window's) is laid
    // out just wide enough to cover it, and no wider.
    for (int device = 1; device <= 2000; ++device) {
      const int design = s.LengthToDesign(device);
      ASSERT_GE(s.ToDevice(design), device) << dpi << " " << device;
      ASSERT_LT(s.ToDevice(design - 1), device) << dpi << " " << device;
    }
  }
  EXPECT_EQ(DeviceScale(192).ToDevice(888), 1776);
  EXPECT_EQ(DeviceScale(192).ToDevice(700), 1400);
  EXPECT_EQ(DeviceScale(144).ToDevice(888), 1332);
  EXPECT_EQ(DeviceScale(144).LengthToDesign(1040), 693);  // a 1080-line screen's work area
  EXPECT_EQ(DeviceScale(120).ToDevice(700), 875);
}

TEST(DeviceScale, ButtonEdgesHoldTheirInclusiveBoundsInDevicePixels) {
  // The close button of the 888-wide window, and a category button inside
  // its strip; the pointer tests count X = Width as inside.
  struct Button {
    int left, top, width, height;
    forms::PointL parent;
  };
  const Button buttons[] = {{845, 0, 37, 19, {0, 0}}, {0, 25, 130, 25, {6, 85}}};
  for (int dpi : kDpis) {
    const DeviceScale s(dpi);
    for (const Button& b : buttons) {
      const forms::RectL design{b.parent.x + b.left, b.parent.y + b.top,
                                b.parent.x + b.left + b.width, b.parent.y + b.top + b.height};
      const forms::RectL device =
          s.ToDeviceWithin({b.left, b.top, b.left + b.width, b.top + b.height}, b.parent);
      const forms::PointL parentDevice{s.ToDevice(b.parent.x), s.ToDevice(b.parent.y)};
      EXPECT_EQ(device.left + parentDevice.x, s.ToDevice(design.left)) << dpi;
      EXPECT_EQ(device.right + parentDevice.x, s.ToDevice(design.right)) << dpi;
      // Every device column of the button's window, and the ones past it the
      // capture still reports: inside exactly where the design says so.
      for (int px = -8; px < device.right - device.left + 8; ++px) {
        const forms::PointL at = s.ToDesignWithin({px, 0}, {design.left, design.top});
        const bool inside = at.x >= 0 && at.x <= b.width;
        const int absolute = device.left + parentDevice.x + px;
        EXPECT_EQ(inside,
                  absolute >= s.ToDevice(design.left) && absolute < s.ToDevice(design.right + 1))
            << dpi << " px=" << px;
      }
      // The first and last device pixel of the button report its first and
      // last design pixel, as at 100 %.
      const int deviceWidth = device.right - device.left;
      EXPECT_EQ(s.ToDesignWithin({0, 0}, {design.left, design.top}).x, 0) << dpi;
      EXPECT_EQ(s.ToDesignWithin({deviceWidth - 1, 0}, {design.left, design.top}).x, b.width - 1)
          << dpi;
      EXPECT_EQ(s.ToDesignWithin({deviceWidth, 0}, {design.left, design.top}).x, b.width) << dpi;
      EXPECT_EQ(s.ToDesignWithin({-1, 0}, {design.left, design.top}).x, -1) << dpi;
    }
  }
}

TEST(DeviceScale, TheWindowOutlineKeepsItsCornersAtEveryScale) {
  // The window's rounded outline, mapped span by span as the backend maps it.
  const forms::RoundRectRegion outline{0, 0, 889, 701, 4, 4};
  for (int dpi : kDpis) {
    const DeviceScale s(dpi);
    std::vector<forms::RectL> device;
    for (const forms::Rect& span : outline.Spans()) {
      device.push_back(s.ToDevice(
          forms::RectL{span.left, span.top, span.left + span.width, span.top + span.height}));
    }
    auto inDevice = [&](int px, int py) {
      for (const auto& r : device) {
        if (px >= r.left && px < r.right && py >= r.top && py < r.bottom) return true;
      }
      return false;
    };
    // Near each corner and along the edges: a device pixel is inside exactly
    // when the design pixel it shows is.
    const int w = s.ToDevice(888);
    const int h = s.ToDevice(700);
    for (int py : {0, 1, 2, 3, 4, 5, 6, h / 2, h - 7, h - 4, h - 3, h - 2, h - 1, h}) {
      for (int px = 0; px <= w + 1; ++px) {
        if (px > 12 && px < w - 12 && py > 12 && py < h - 12) continue;
        ASSERT_EQ(inDevice(px, py), outline.Contains(s.ToDesign(px), s.ToDesign(py)))
            << dpi << " at " << px << "," << py;
      }
    }
    EXPECT_FALSE(inDevice(0, 0)) << dpi;
    EXPECT_TRUE(inDevice(w / 2, 0)) << dpi;
    EXPECT_TRUE(inDevice(w - 1, h / 2)) << dpi;
  }
}

TEST(DeviceScale, OutOfRangeDpisAreClampedAndPercentsRound) {
  EXPECT_EQ(DeviceScale(0).Dpi(), 96);
  EXPECT_EQ(DeviceScale(-5).Dpi(), 96);
  EXPECT_EQ(DeviceScale(100000).Dpi(), 480);
  EXPECT_TRUE(DeviceScale().Identity());
  EXPECT_TRUE(DeviceScale(288).WholeFactor());
  EXPECT_FALSE(DeviceScale(144).WholeFactor());
  EXPECT_EQ(DeviceScale(120).Percent(), 125);
  EXPECT_EQ(DeviceScale(168).Percent(), 175);
  EXPECT_EQ(DeviceScale(192).Percent(), 200);
  EXPECT_EQ(DeviceScale(110).Percent(), 115) << "114.6 rounds up";
  // Far edges do not overflow.
  EXPECT_EQ(DeviceScale(480).ToDevice(400000000), 2000000000);
  const forms::RectL none = DeviceScale(144).Covering({10, 10, 10, 20});
  EXPECT_EQ(none.right - none.left, 0);
}

std::vector<forms::Color> Checker(int w, int h) {
  std::vector<forms::Color> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      pixels[static_cast<std::size_t>(y) * w + x] =
          forms::Rgb(x * 20, y * 20, (x + y) % 2 ? 255 : 0);
  }
  return pixels;
}

TEST(Enlarge, WholeFactorsCopyEachPixelIntoItsSquare) {
  const int w = 7, h = 5;
  const auto pixels = Checker(w, h);
  for (int dpi : {96, 192, 288}) {
    const DeviceScale s(dpi);
    const int f = dpi / 96;
    std::vector<forms::Color> out(static_cast<std::size_t>(w * f) * h * f, 0xDEAD);
    forms::Enlarge({pixels.data(), w, h, w}, 0, 0, s, {out.data(), w * f, h * f, w * f}, 0, 0);
    for (int y = 0; y < h * f; ++y) {
      for (int x = 0; x < w * f; ++x) {
        ASSERT_EQ(out[static_cast<std::size_t>(y) * w * f + x],
                  pixels[static_cast<std::size_t>(y / f) * w + x / f])
            << dpi << " " << x << "," << y;
      }
    }
  }
}

TEST(Enlarge, APartDrawnAloneEqualsTheSamePartOfTheWhole) {
  // A repaint of one corner, or a child window placed inside its form, must
  // join its neighbours without a seam at every scale.
  const int w = 40, h = 30;
  const auto pixels = Checker(w, h);
  for (int dpi : kDpis) {
    const DeviceScale s(dpi);
    const int dw = s.ToDevice(w), dh = s.ToDevice(h);
    std::vector<forms::Color> whole(static_cast<std::size_t>(dw) * dh);
    forms::Enlarge({pixels.data(), w, h, w}, 0, 0, s, {whole.data(), dw, dh, dw}, 0, 0);
    // The part: device columns 13..33, rows 9..20, from the design pixels
    // the part covers plus a margin, as the backend composes them.
    const forms::RectL part{13, 9, 34, 21};
    const forms::RectL design = s.Covering(part);
    const int left = std::max(0, design.left - 1), top = std::max(0, design.top - 1);
    const int right = std::min(w, design.right + 1), bottom = std::min(h, design.bottom + 1);
    std::vector<forms::Color> piece(static_cast<std::size_t>(part.right - part.left) *
                                    (part.bottom - part.top));
    forms::Enlarge(
        {pixels.data() + top * w + left, right - left, bottom - top, w}, left, top, s,
        {piece.data(), part.right - part.left, part.bottom - part.top, part.right - part.left},
        part.left, part.top);
    for (int y = part.top; y < part.bottom; ++y) {
      for (int x = part.left; x < part.right; ++x) {
        ASSERT_EQ(piece[static_cast<std::size_t>(y - part.top) * (part.right - part.left) +
                        (x - part.left)],
                  whole[static_cast<std::size_t>(y) * dw + x])
            << dpi << " " << x << "," << y;
      }
    }
  }
}

TEST(Enlarge, FractionalFactorsBlendOnlyNeighboursAndKeepFlatAreasExact) {
  // A flat area stays exactly its colour (no darkening at the seams), and a
  // two-colour edge only ever shows the two colours and mixes between them.
  const int w = 10, h = 4;
  std::vector<forms::Color> pixels(w * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      pixels[y * w + x] = x < 5 ? forms::Rgb(200, 40, 10) : forms::Rgb(0, 240, 250);
  }
  for (int dpi : {120, 144, 168}) {
    const DeviceScale s(dpi);
    const int dw = s.ToDevice(w), dh = s.ToDevice(h);
    std::vector<forms::Color> out(static_cast<std::size_t>(dw) * dh);
    forms::Enlarge({pixels.data(), w, h, w}, 0, 0, s, {out.data(), dw, dh, dw}, 0, 0);
    for (int y = 0; y < dh; ++y) {
      for (int x = 0; x < dw; ++x) {
        const forms::Color c = out[static_cast<std::size_t>(y) * dw + x];
        if (x < s.ToDevice(4)) {
          ASSERT_EQ(c, forms::Rgb(200, 40, 10)) << dpi << " " << x;
        }
        if (x >= s.ToDevice(6)) {
          ASSERT_EQ(c, forms::Rgb(0, 240, 250)) << dpi << " " << x;
        }
        // Between the two: red falls as blue rises, channel by channel.
        ASSERT_EQ(forms::RedOf(c) * 250 / 200 + forms::BlueOf(c) >= 245, true) << dpi << " " << x;
      }
    }
  }
  // A ramp comes out sampled at each device pixel's centre, where a
  // design pixel's centre stands at its own value.
  std::vector<forms::Color> ramp(w);
  for (int x = 0; x < w; ++x) ramp[x] = forms::Rgb(20 * x, 0, 0);
  for (int dpi : {120, 144, 168}) {
    const DeviceScale s(dpi);
    std::vector<forms::Color> row(static_cast<std::size_t>(s.ToDevice(w)));
    const int dw = static_cast<int>(row.size());
    forms::Enlarge({ramp.data(), w, 1, w}, 0, 0, s, {row.data(), dw, 1, dw}, 0, 0);
    for (int x = 0; x < dw; ++x) {
      const double at = std::clamp((x + 0.5) * 96 / dpi - 0.5, 0.0, w - 1.0);
      ASSERT_NEAR(forms::RedOf(row[x]), 20 * at, 1.0) << dpi << " " << x;
    }
  }
  // Bad views draw nothing and read nothing.
  std::vector<forms::Color> out(4, 7);
  forms::Enlarge({nullptr, 2, 2, 2}, 0, 0, DeviceScale(144), {out.data(), 2, 2, 2}, 0, 0);
  forms::Enlarge({pixels.data(), w, h, w - 1}, 0, 0, DeviceScale(144), {out.data(), 2, 2, 2}, 0, 0);
  forms::Enlarge({pixels.data(), w, h, w}, 0, 0, DeviceScale(144), {out.data(), 2, 2, 1}, 0, 0);
  EXPECT_EQ(out, std::vector<forms::Color>(4, 7));
}

}  // namespace
