#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::Decode;
using testing_support::Decoded;
using testing_support::Harness;

constexpr forms::Color kBody = forms::Rgb(118, 207, 233);
constexpr int kFrame = 0, kCaption = 1, kNormal = 2, kSelected = 3, kSearch = 5;

// Where the frame pixel (x, y) of a sw x sh window comes from, worked out
// from the pieces' shapes rather than from the copy list: title band on
// top, bottom edge over the side edges, background between.
std::optional<Decoded> FrameSource(int x, int y, int sw, int sh) {
  if (y < 85) {
    if (x < 5) return Decoded{kFrame, x, y};
    if (x >= sw - 5) return Decoded{kFrame, 10 + x - (sw - 5), y};
    return Decoded{kFrame, 5 + (x - 5) * 5 / (sw - 10), y};
  }
  if (y >= sh - 5) {
    const int sy = 95 + y - (sh - 5);
    if (x >= sw - 3) return Decoded{kFrame, 12 + x - (sw - 3), sy};
    if (x < 6) return Decoded{kFrame, x, sy};
    return Decoded{kFrame, 6 + (x - 6) * 6 / (sw - 9), sy};
  }
  const int sy = 85 + (y - 85) * 10 / (sh - 85);
  if (x < 6) return Decoded{kFrame, x, sy};
  if (x >= sw - 6) return Decoded{kFrame, 9 + x - (sw - 6), sy};
  return std::nullopt;
}

class FramePixels : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(FramePixels, EveryPixelComesFromItsPieceOfTheAtlas) {
  const auto [sw, sh] = GetParam();
  Harness h;
  h.Resize(sw, sh);
  const auto& image = h.ba1->Image();
  int mismatches = 0;
  for (int y = 0; y < sh; ++y) {
    for (int x = 0; x < sw; ++x) {
      const auto want = FrameSource(x, y, sw, sh);
      const auto got = image.Pixel(x, y);
      if (want ? Decode(got) != *want : got != kBody) {
        if (++mismatches < 10) {
          ADD_FAILURE() << sw << "x" << sh << " pixel " << x << "," << y << " got tag "
                        << Decode(got).tag << " (" << Decode(got).x << "," << Decode(got).y << ")";
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(h.platform.stretchBlts % 8, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FramePixels,
                         ::testing::Values(std::pair{888, 700}, std::pair{1920, 1040},
                                           std::pair{142, 115}, std::pair{1023, 333},
                                           std::pair{600, 2000}));

void ExpectCell(forms::Control& button, int holder, int sx, int sy, int w, int h) {
  auto* image = button.Image();
  ASSERT_NE(image, nullptr);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(Decode(image->Pixel(x, y)), (Decoded{holder, sx + x, sy + y}))
          << button.Name() << "(" << button.Index() << ") at " << x << "," << y;
    }
  }
}

TEST(Buttons, AfterStartUpEachShowsItsCell) {
  Harness h;
  auto& b = *h.ba1;
  ExpectCell(*b.npc[1], kCaption, 0, 0, 27, 19);
  ExpectCell(*b.npc[0], kCaption, 27, 0, 37, 19);
  ExpectCell(*b.npc[2], kSelected, 0, 0, 130, 39);
  for (int k = 3; k <= 13; ++k) ExpectCell(*b.npc[k], kNormal, 0, (k - 2) * 39, 130, 39);
  ExpectCell(*b.sok, kSearch, 0, 0, 72, 28);
  EXPECT_EQ(b.selectedCategory, 2);
  // Caption buttons and the search button are refreshed once painted.
  EXPECT_GE(h.Window().refreshes[b.npc[0]], 1);
  EXPECT_GE(h.Window().refreshes[b.sok], 1);
  // The persistent image only grows: a button shrunk and enlarged again
  // still shows what was drawn into it.
  b.npc[5]->Move(0, 3 * 39, 10, 5);
  EXPECT_EQ(b.npc[5]->Image()->Width(), 130);
  b.npc[5]->Move(0, 3 * 39, 130, 39);
  ExpectCell(*b.npc[5], kNormal, 0, 3 * 39, 130, 39);
}

TEST(Buttons, PlacedInTheTitleAreaAndTheColumn) {
  Harness h;
  auto& b = *h.ba1;
  for (int k = 2; k <= 13; ++k) {
    EXPECT_EQ(b.npc[k]->Bounds(), (forms::Rect{0, (k - 2) * 39, 130, 39})) << k;
  }
  EXPECT_EQ(b.logo->Bounds(), (forms::Rect{10, 2, 180, 81}));
  EXPECT_EQ(b.so->Bounds(), (forms::Rect{300, 35, 303, 28}));
  EXPECT_EQ(b.sok->Bounds(), (forms::Rect{611, 35, 72, 28}));
  EXPECT_EQ(b.sotext->Bounds(), (forms::Rect{308, 42, 287, 18}));
  EXPECT_EQ(b.la[0]->Bounds(), (forms::Rect{709, 45, 48, 12}));
  EXPECT_EQ(b.la[1]->Bounds(), (forms::Rect{769, 45, 48, 12}));
  EXPECT_EQ(b.la[2]->Bounds(), (forms::Rect{20, 680, 168, 12}));
  // Resizing moves the caption buttons and the status label, not the rest.
  h.Resize(1200, 500);
  EXPECT_EQ(b.npc[0]->Left(), 1157);
  EXPECT_EQ(b.la[2]->Top(), 480);
  EXPECT_EQ(b.sok->Left(), 611);
}

TEST(Skins, LoadsResourcesOneHundredApartPerSet) {
  Harness h;
  EXPECT_EQ(h.platform.bitmapRequests, (std::vector<int>{101, 102, 103, 104, 105, 106}));
  EXPECT_EQ(h.ba1->ppt[2]->Width(), 130);
  EXPECT_EQ(h.ba1->ppt[2]->Height(), 468);
  EXPECT_EQ(h.ba1->ppt[0]->Width(), 15);
  h.platform.bitmapRequests.clear();
  h.ba1->p_p(1);
  EXPECT_EQ(h.platform.bitmapRequests, (std::vector<int>{201, 202, 203, 204, 205, 206}));
  // Set 1 does not exist: every holder keeps its picture, buttons repainted.
  ExpectCell(*h.ba1->npc[5], kNormal, 0, 3 * 39, 130, 39);
  EXPECT_EQ(h.ba1->ppt[2]->Height(), 468);
}

TEST(Skins, AMissingSkinLeavesItsButtonsBlankAndTheRestPainted) {
  testing_support::Harness h(/*load=*/false);
  h.platform.bitmaps.erase(102);
  h.platform.bitmaps.erase(104);
  h.ba1->Form_Load();
  auto& b = *h.ba1;
  for (auto* button : {b.npc[0], b.npc[1], b.npc[2]}) {
    for (int y = 0; y < button->Height(); ++y)
      for (int x = 0; x < button->Width(); ++x)
        ASSERT_EQ(button->Image()->Pixel(x, y), h.platform.windowColor);
  }
  ExpectCell(*b.npc[3], kNormal, 0, 39, 130, 39);
  ExpectCell(*b.sok, kSearch, 0, 0, 72, 28);
  // The frame still paints and a click on a blank-skinned button works.
  b.npc_Click(4);
  EXPECT_EQ(b.selectedCategory, 4);
}

TEST(Skins, NoSkinsAtAllStillGivesAWorkingWindow) {
  Harness h(/*load=*/true, /*skins=*/false);
  EXPECT_EQ(h.ba1->Image().Pixel(400, 40), kBody);
  h.Resize(1000, 800);
  h.ba1->npc_Click(7);
  EXPECT_EQ(h.Window().navigations.back(), "http://127.0.0.1:8080/animation/");
}

}  // namespace
