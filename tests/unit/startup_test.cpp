#include <gtest/gtest.h>

#include <algorithm>

#include "frame/module1.h"
#include "test_support.h"
#include "tray/modtray.h"

namespace {

using testing_support::Harness;

TEST(StartUp, RunsItsStepsInOrder) {
  Harness h;
  auto& b = *h.ba1;
  auto& w = h.Window();
  // Style bits added to whatever the window had.
  EXPECT_EQ(w.longs.style, fake::kInitialStyle | forms::kWsMinimizeBox | forms::kWsMaximizeBox);
  // The tray's procedure sits above the size bounds' one.
  EXPECT_EQ(w.longs.chain.Head(), &modTray::TrayWindowProc);
  EXPECT_EQ(modTray::Data().TrayPrevWndProc, &Module1::MinMaxWindowProc);
  // Width first, then height; then the window is shown.
  const std::vector<std::string> expectedLog = {"size 888x617", "size 888x700", "show"};
  EXPECT_EQ(w.log, expectedLog);
  EXPECT_EQ(b.Width(), 13320);
  EXPECT_EQ(b.Height(), 10500);
  EXPECT_EQ(b.ScaleWidth(), 888);
  EXPECT_EQ(b.ScaleHeight(), 700);
  EXPECT_EQ(w.navigations, (std::vector<std::string>{"http://127.0.0.1:8080//xiazai/"}));
  EXPECT_EQ(b.selectedCategory, 2);
  EXPECT_FALSE(b.labelHot);
  EXPECT_TRUE(b.Visible());
  // The outline was applied for the final size.
  ASSERT_TRUE(w.region);
  EXPECT_EQ(w.region->right, 889);
  EXPECT_EQ(w.region->bottom, 701);
  // The whole start-up in order: bounds and style first, the buttons, the
  // frame painted, shown and outlined at each size, the page, the tray, the
  // hand-off served, and only then the window.
  const std::vector<std::string> steps = {"icon BA1",
                                          "link prev-instance",
                                          "wndproc BA1",
                                          "style BA1 0x82030000",  // kInitialStyle with both boxes
                                          "refresh npc 0",
                                          "refresh npc 1",
                                          "refresh sok",
                                          "size BA1 888x617",
                                          "refresh BA1",
                                          "region BA1 0,0,889,618",
                                          "size BA1 888x700",
                                          "refresh BA1",
                                          "region BA1 0,0,889,701",
                                          "navigate http://127.0.0.1:8080//xiazai/",
                                          "icon tip",
                                          "wndproc BA1",
                                          "tray add",
                                          "link serve Kivo手机电影下载器|BA1",
                                          "show BA1"};
  EXPECT_EQ(h.platform.Events({"icon", "link", "wndproc", "style", "refresh", "size", "region",
                               "navigate", "tray", "show", "hide", "state", "end"}),
            steps);
  // Every button is drawn before it is shown on screen.
  for (const char* button : {"npc 0", "npc 1", "sok"}) {
    const auto& e = h.platform.events;
    const auto blt = std::find(e.begin(), e.end(), std::string("blt ") + button);
    EXPECT_LT(blt, std::find(e.begin(), e.end(), std::string("refresh ") + button)) << button;
  }
}

TEST(StartUp, ThePageLoadsAfterTheSkinsAndTheSize) {
  Harness h(/*load=*/false);
  auto& w = h.Window();
  EXPECT_TRUE(w.navigations.empty());
  h.ba1->Form_Load();
  EXPECT_EQ(w.navigations.size(), 1u);
  EXPECT_FALSE(h.ba1->Visible()) << "the load handler itself shows nothing";
}

}  // namespace
