// What assistive technology and the keyboard get of the frame: which
// controls are exposed with which role and name, the categories' checked
// state, default actions that are the clicks, Enter and Space on a focused
// button, and focus cues that wait for the keyboard.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "browse/addresses.h"
#include "test_support.h"
#include "tray/tip.h"

namespace {

using forms::AccRole;
using testing_support::Harness;

std::string Key(const forms::Control& c) {
  return c.Index() < 0 ? c.Name() : c.Name() + "(" + std::to_string(c.Index()) + ")";
}

std::map<std::string, std::string> ExposedNames(const forms::Form& form) {
  std::map<std::string, std::string> exposed;
  for (const auto& c : form.Controls()) {
    if (c->Exposed()) exposed[Key(*c)] = c->AccName();
  }
  return exposed;
}

TEST(Accessibility, ShownControlsAreNamedByTheirPaintedWordsAndNothingElseIsExposed) {
  Harness h;
  const auto exposed = ExposedNames(*h.ba1);
  EXPECT_EQ(exposed.size(), 22u);
  EXPECT_EQ(exposed.at("npc(0)"), "关闭");
  EXPECT_EQ(exposed.at("npc(1)"), "最小化");
  EXPECT_EQ(exposed.at("npc(2)"), "热门影片");
  EXPECT_EQ(exposed.at("npc(13)"), "手机恐怖片");
  EXPECT_EQ(exposed.at("sotext"), "搜索影片");
  EXPECT_EQ(exposed.at("la(2)"), "Kivo手机电影下载器 2011 Beta1");
  for (const char* hidden : {"ppt(0)", "ppt(5)", "dde", "zz", "Pic2", "so"}) {
    EXPECT_EQ(exposed.count(hidden), 0u) << hidden;
  }
  int radios = 0;
  for (const auto& c : h.ba1->Controls()) {
    if (c->Role() != AccRole::kRadioButton) continue;
    ++radios;
    EXPECT_EQ(c->Container(), h.ba1->Pic1) << "one group";
    EXPECT_EQ(c->Checked(), c->Index() == 2) << Key(*c);
  }
  EXPECT_EQ(radios, 12);
  // A category hidden with its group leaves the tree.
  h.ba1->Pic1->SetVisible(false);
  EXPECT_FALSE(h.ba1->npc[5]->Exposed());
  EXPECT_FALSE(h.ba1->npc[5]->DoDefaultAction());
  const auto about = ExposedNames(h.ba1->tip());
  EXPECT_EQ(about.at("Command1"), "关闭");
  EXPECT_EQ(about.at("Label1"), "Kivo手机电影下载器 2011 Beta1");
  EXPECT_EQ(about.size(), 5u);
  EXPECT_EQ(h.ba1->tip().Label3->Role(), AccRole::kStaticText) << "text to read, not a link";
}

TEST(Accessibility, DefaultActionsAreTheClicksAndTheCheckedCategoryFollows) {
  Harness h;
  auto& navigations = h.Window().navigations;
  navigations.clear();
  const auto mark = h.platform.Mark();
  EXPECT_TRUE(h.ba1->npc[7]->DoDefaultAction());
  EXPECT_EQ(h.ba1->selectedCategory, 7);
  EXPECT_TRUE(h.ba1->npc[7]->Checked());
  EXPECT_FALSE(h.ba1->npc[2]->Checked());
  EXPECT_EQ(h.platform.Events({"accessible"}, mark),
            (std::vector<std::string>{"accessible npc 2", "accessible npc 7"}));
  EXPECT_TRUE(h.ba1->la[0]->DoDefaultAction());
  EXPECT_TRUE(h.ba1->sok->DoDefaultAction());
  ASSERT_EQ(navigations.size(), 3u);
  EXPECT_EQ(navigations[0], browse::AddressOf(*browse::CategoryDestination(7)));
  EXPECT_EQ(navigations[1], browse::AddressOf(browse::Destination::kGuestbook));
  EXPECT_NE(navigations[2].find("keyboard="), std::string::npos) << navigations[2];
  // Texts, entries and the page area have nothing to do.
  for (forms::Control* none : {h.ba1->la[2], h.ba1->sotext, h.ba1->Web1, h.ba1->logo}) {
    EXPECT_FALSE(none->DoDefaultAction()) << Key(*none);
  }
  EXPECT_TRUE(h.ba1->npc[0]->DoDefaultAction());
  EXPECT_FALSE(h.ba1->Visible()) << "关闭 hides, as its click does";
}

TEST(Accessibility, EnterAndSpaceClickTheFocusedButtonAndFocusCuesWaitForTheKeyboard) {
  Harness h;
  h.ba1->npc[4]->SetFocus();
  EXPECT_FALSE(h.ba1->FocusCues());
  auto& navigations = h.Window().navigations;
  navigations.clear();
  const auto refreshes = h.Window().refreshes[h.ba1->npc[4]];
  EXPECT_FALSE(h.platform.KeyDown(*h.ba1, 'A'));  // a key that does nothing here
  EXPECT_TRUE(h.ba1->FocusCues());
  EXPECT_GT(h.Window().refreshes[h.ba1->npc[4]], refreshes) << "the cue is drawn at once";
  EXPECT_TRUE(h.platform.KeyDown(*h.ba1, forms::kVkSpace));
  EXPECT_EQ(h.ba1->selectedCategory, 4);
  EXPECT_FALSE(h.platform.KeyDown(*h.ba1, forms::kVkSpace, forms::kShiftMask));
  h.ba1->sok->SetFocus();
  EXPECT_TRUE(h.platform.KeyDown(*h.ba1, forms::kVkReturn));
  EXPECT_EQ(navigations.size(), 2u) << "the category, then the search";
  // In the search field Enter stays the field's own.
  h.ba1->sotext->SetFocus();
  EXPECT_FALSE(h.platform.KeyDown(*h.ba1, forms::kVkSpace));
}

}  // namespace
