#include <gtest/gtest.h>

#include "app/main_mod.h"
#include "frame/module1.h"
#include "test_support.h"

namespace {

using testing_support::Harness;

forms::MinMaxInfo AskBounds(Harness& h) {
  forms::MinMaxInfo info{};
  info.ptReserved = {11, 12};
  info.ptMaxSize = {-1, -1};
  h.platform.Send(h.ba1->hWnd(), forms::kWmGetMinMaxInfo, 0,
                  reinterpret_cast<forms::LParam>(&info));
  return info;
}

TEST(MinMax, AnswersWithTheWorkAreaAtItsCorner) {
  struct Case {
    forms::RectL workArea;
  };
  // Taskbar at the bottom, at the top, at the left.
  const Case cases[] = {{{0, 0, 1920, 1040}}, {{0, 40, 1920, 1080}}, {{64, 0, 1920, 1080}}};
  for (const auto& c : cases) {
    Harness h(/*load=*/false);
    h.platform.workArea = c.workArea;
    h.ba1->Form_Load();
    const auto info = AskBounds(h);
    EXPECT_EQ(info.ptMaxSize, (forms::PointL{c.workArea.right - c.workArea.left,
                                             c.workArea.bottom - c.workArea.top}));
    EXPECT_EQ(info.ptMaxTrackSize, info.ptMaxSize);
    EXPECT_EQ(info.ptMaxPosition, (forms::PointL{c.workArea.left, c.workArea.top}));
    EXPECT_EQ(info.ptMinTrackSize, (forms::PointL{0, 0}));
    EXPECT_EQ(info.ptReserved, (forms::PointL{11, 12}));
  }
}

TEST(MinMax, FallsBackToTheScreenWhenTheWorkAreaCannotBeRead) {
  Harness h(/*load=*/false);
  h.platform.workAreaFails = true;
  h.platform.screenWidthPx = 1366;
  h.platform.screenHeightPx = 768;
  h.ba1->Form_Load();
  const auto info = AskBounds(h);
  EXPECT_EQ(info.ptMaxSize, (forms::PointL{1366, 768}));
  EXPECT_EQ(info.ptMaxPosition, (forms::PointL{0, 0}));
}

forms::PointL SizeOf(const forms::RectL& r) { return {r.right - r.left, r.bottom - r.top}; }

TEST(MinMax, AnswersWithTheWorkAreaOfTheMonitorTheWindowIsOnAtEachMessage) {
  struct Case {
    const char* what;
    forms::RectL monitor, workArea;
    // Windows reads ptMaxSize as meant for the 1920 x 1080 primary monitor
    // and grows one that covers it by what the window's monitor has more.
    forms::PointL maxSize;
  };
  const Case cases[] = {
      {"primary", {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, {1920, 1040}},
      {"smaller, right", {1920, 0, 3200, 1024}, {1920, 0, 3200, 984}, {1280, 984}},
      {"taskbars left and top", {-1280, -200, 0, 824}, {-1216, -160, 0, 824}, {1216, 984}},
      {"larger, no taskbar", {1920, 0, 4480, 1440}, {1920, 0, 4480, 1440}, {1920, 1080}},
      // Not expressible as a primary size: the track size holds it.
      {"larger, taskbar", {1920, 0, 4480, 1440}, {1920, 0, 4480, 1400}, {2560, 1400}},
  };
  Harness h(/*load=*/false);
  h.platform.workArea = {0, 0, 1920, 1040};
  for (const auto& c : cases) h.platform.monitors.push_back({c.monitor, c.workArea});
  h.ba1->Form_Load();
  // The window moves from monitor to monitor after the load.
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    h.Window().monitor = i;
    const auto info = AskBounds(h);
    EXPECT_EQ(info.ptMaxSize, c.maxSize) << c.what;
    EXPECT_EQ(info.ptMaxPosition, (forms::PointL{c.workArea.left - c.monitor.left,
                                                 c.workArea.top - c.monitor.top}))
        << c.what;
    EXPECT_EQ(info.ptMaxTrackSize, SizeOf(c.workArea)) << c.what;
    EXPECT_EQ(info.ptMinTrackSize, (forms::PointL{0, 0})) << c.what;
  }
  // Where the platform cannot tell the monitor, the work area read at load.
  h.Window().monitor = std::size(cases);
  const auto info = AskBounds(h);
  EXPECT_EQ(info.ptMaxSize, (forms::PointL{1920, 1040}));
  EXPECT_EQ(info.ptMaxTrackSize, info.ptMaxSize);
  EXPECT_EQ(info.ptMaxPosition, (forms::PointL{0, 0}));
}

int gPreviousCalls = 0;
forms::LResult RecordingProc(forms::WindowHandle, std::uint32_t msg, forms::WParam wp,
                             forms::LParam lp) {
  ++gPreviousCalls;
  return static_cast<forms::LResult>(msg + wp + lp);
}

TEST(MinMax, PassesEveryOtherMessageToTheProcedureItReplaced) {
  Harness h(/*load=*/false);
  h.platform.SetWindowLongPtr(h.ba1->hWnd(), forms::kGwlWndProc,
                              reinterpret_cast<std::intptr_t>(&RecordingProc));
  Module1::HookMinMax(h.platform, h.ba1->hWnd(), 0, 0, 800, 600);
  EXPECT_EQ(Module1::Bounds().MinMaxPrevWndProc, &RecordingProc);
  gPreviousCalls = 0;
  EXPECT_EQ(h.platform.Send(h.ba1->hWnd(), 0x0201, 3, 4), 0x0201 + 3 + 4);
  EXPECT_EQ(gPreviousCalls, 1);
  forms::MinMaxInfo info{};
  h.platform.Send(h.ba1->hWnd(), forms::kWmGetMinMaxInfo, 0, reinterpret_cast<forms::LParam>(&info));
  EXPECT_EQ(gPreviousCalls, 1) << "the bounds message stops at MinMaxWindowProc";
  EXPECT_EQ(info.ptMaxSize, (forms::PointL{800, 600}));
  // The style slot beside the procedure is replaced, not merged, and
  // answers what it held.
  const forms::WindowHandle w = h.ba1->hWnd();
  EXPECT_EQ(h.platform.SetWindowLongPtr(w, forms::kGwlStyle, forms::kWsMinimizeBox),
            fake::kInitialStyle);
  EXPECT_EQ(h.platform.GetWindowLongPtr(w, forms::kGwlStyle), forms::kWsMinimizeBox);
}

struct Layout {
  int w, h;
};

class ResizeLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(ResizeLayout, PanesFollowTheInnerSize) {
  const auto [w, h] = GetParam();
  Harness harness;
  harness.Resize(w, h);
  auto& b = *harness.ba1;
  EXPECT_EQ(b.zz->Bounds(), (forms::Rect{6, 85, w - 12, h - 115}));
  EXPECT_EQ(b.Pic1->Bounds(), (forms::Rect{0, 0, 130, h - 115}));
  EXPECT_EQ(b.Pic2->Bounds(), (forms::Rect{130, 0, w - 142, h - 115}));
  EXPECT_EQ(b.Web1->Bounds(), (forms::Rect{-2, -2, w - 142 + 4, h - 115 + 4}));
  EXPECT_EQ(b.npc[0]->Bounds(), (forms::Rect{w - 43, 0, 37, 19}));
  EXPECT_EQ(b.npc[1]->Bounds(), (forms::Rect{w - 70, 0, 27, 19}));
  EXPECT_EQ(b.la[2]->Top(), h - 20);
  ASSERT_TRUE(harness.Window().region.has_value());
  const auto& r = *harness.Window().region;
  EXPECT_EQ((forms::Rect{r.left, r.top, r.right, r.bottom}), (forms::Rect{0, 0, w + 1, h + 1}));
  EXPECT_EQ(r.ellipseWidth, 4);
  EXPECT_EQ(r.ellipseHeight, 4);
  EXPECT_TRUE(harness.Window().lastRedraw);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResizeLayout,
                         ::testing::Values(Layout{888, 700}, Layout{1920, 1040}, Layout{142, 115},
                                           Layout{1000, 300}, Layout{3840, 2100}));

TEST(Resize, BelowTheMinimumPanesClampToZeroAndNothingCrashes) {
  const Layout sizes[] = {{141, 114}, {100, 50}, {12, 85}, {5, 5}, {1, 1}, {0, 0}};
  for (const auto& s : sizes) {
    Harness h;
    h.Resize(s.w, s.h);
    auto& b = *h.ba1;
    EXPECT_GE(b.zz->Width(), 0);
    EXPECT_GE(b.zz->Height(), 0);
    EXPECT_GE(b.Pic2->Width(), 0);
    EXPECT_EQ(b.Pic2->Width(), std::max(0, std::max(0, s.w - 12) - 130));
    EXPECT_EQ(b.Pic1->Height(), std::max(0, s.h - 115));
    EXPECT_EQ(b.Web1->Width(), b.Pic2->Width() + 4);
    // The frame image still covers the window and holds only skin pixels
    // or the background.
    auto& image = b.Image();
    for (int y = 0; y < std::min(s.h, image.Height()); ++y) {
      for (int x = 0; x < std::min(s.w, image.Width()); ++x) {
        const auto px = image.Pixel(x, y);
        if (px == forms::Rgb(118, 207, 233)) continue;
        EXPECT_EQ(testing_support::Decode(px).tag, 0) << s.w << "x" << s.h << " at " << x << "," << y;
      }
    }
  }
}

TEST(Resize, MinimizingLeavesTheLayoutAndRestoringKeepsIt) {
  Harness h;
  auto& b = *h.ba1;
  const auto before = b.zz->Bounds();
  const int regions = h.Window().regionsSet;
  b.NativeState(forms::WindowState::kMinimized);
  h.Resize(160, 28);  // what a minimized window may report
  EXPECT_EQ(b.zz->Bounds(), before);
  EXPECT_EQ(h.Window().regionsSet, regions);
  h.Resize(888, 700);
  b.NativeState(forms::WindowState::kNormal);
  EXPECT_EQ(b.zz->Bounds(), before);
}

TEST(Resize, MovingTheWindowRunsNoLayout) {
  Harness h;
  const int regions = h.Window().regionsSet;
  h.Resize(888, 700);  // same size, as a move reports
  EXPECT_EQ(h.Window().regionsSet, regions);
}

}  // namespace
