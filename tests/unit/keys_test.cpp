// The browser's keyboard as the form previews it: which key and modifier
// combinations are ours, what each does to the browser, Backspace in the
// search field, Ctrl+F's focus and selection, and that every other key
// passes through untouched.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace {

using forms::kAltMask;
using forms::kCtrlMask;
using forms::kShiftMask;
using testing_support::Harness;

// Three pages in the history, the middle one shown: back and forward both
// have somewhere to go.
struct KeysHarness : Harness {
  KeysHarness() {
    ba1->Web1->Navigate("http://site/a");
    ba1->Web1->Navigate("http://site/b");
    ba1->Web1->Navigate("http://site/c");
    ba1->Web1->GoBack();
    Window().navigations.clear();
  }
  bool Key(int code, int shift = 0) { return platform.KeyDown(*ba1, code, shift); }
  std::vector<std::string>& Navigations() { return Window().navigations; }
  bool Logged(const std::string& entry) {
    const auto& log = platform.pointerLog;
    return std::find(log.begin(), log.end(), entry) != log.end();
  }
};

TEST(Keys, AltArrowsGoBackAndForward) {
  KeysHarness h;
  EXPECT_TRUE(h.Key(forms::kVkLeft, kAltMask));
  EXPECT_EQ(h.Navigations(), (std::vector<std::string>{"back"}));
  EXPECT_TRUE(h.Key(forms::kVkRight, kAltMask));
  EXPECT_TRUE(h.Key(forms::kVkRight, kAltMask));
  EXPECT_EQ(h.Navigations(), (std::vector<std::string>{"back", "forward", "forward"}));
  // The arrows alone, or with other modifiers, move the caret or scroll.
  for (int shift : {0, kShiftMask, kCtrlMask, kAltMask | kShiftMask, kAltMask | kCtrlMask}) {
    EXPECT_FALSE(h.Key(forms::kVkLeft, shift)) << shift;
    EXPECT_FALSE(h.Key(forms::kVkRight, shift)) << shift;
  }
  EXPECT_EQ(h.Navigations().size(), 3u);
}

TEST(Keys, AtTheEndsOfTheHistoryTheKeyIsTakenAndNothingHappens) {
  Harness h;
  h.Window().history = {"http://site/only"};
  h.Window().historyAt = 0;
  h.Window().navigations.clear();
  EXPECT_TRUE(h.platform.KeyDown(*h.ba1, forms::kVkLeft, kAltMask));
  EXPECT_TRUE(h.platform.KeyDown(*h.ba1, forms::kVkRight, kAltMask));
  EXPECT_TRUE(h.platform.KeyDown(*h.ba1, forms::kVkBack));
  EXPECT_TRUE(h.Window().navigations.empty());
  EXPECT_EQ(h.Window().historyAt, 0);
}

TEST(Keys, BackspaceGoesBackOutsideTextBoxesOnly) {
  KeysHarness h;
  // No focus, the page, a picture box: back.
  h.ba1->NativeFocus(nullptr);
  EXPECT_TRUE(h.Key(forms::kVkBack));
  h.ba1->NativeFocus(h.ba1->Web1);
  h.ba1->Web1->GoForward();
  EXPECT_TRUE(h.Key(forms::kVkBack));
  h.ba1->NativeFocus(h.ba1->npc[3]);
  h.ba1->Web1->GoForward();
  EXPECT_TRUE(h.Key(forms::kVkBack));
  EXPECT_EQ(h.Navigations(),
            (std::vector<std::string>{"back", "forward", "back", "forward", "back"}));
  // In the search field it deletes a character: not ours.
  h.ba1->Web1->GoForward();
  h.Navigations().clear();
  h.ba1->NativeFocus(h.ba1->sotext);
  EXPECT_FALSE(h.Key(forms::kVkBack));
  // With a modifier it is not the browser's key anywhere.
  h.ba1->NativeFocus(h.ba1->Web1);
  EXPECT_FALSE(h.Key(forms::kVkBack, kShiftMask));
  EXPECT_FALSE(h.Key(forms::kVkBack, kCtrlMask));
  EXPECT_FALSE(h.Key(forms::kVkBack, kAltMask));
  EXPECT_TRUE(h.Navigations().empty());
}

TEST(Keys, F5AndCtrlRReloadEscapeStops) {
  KeysHarness h;
  auto& w = h.Window();
  EXPECT_TRUE(h.Key(forms::kVkF5));
  EXPECT_TRUE(h.Key(forms::kVkF5, kCtrlMask));
  EXPECT_TRUE(h.Key('R', kCtrlMask));
  EXPECT_TRUE(h.Key('R', kCtrlMask | kShiftMask));
  EXPECT_EQ(w.reloads, 4);
  // Typing an R, or F5 with Alt, is not a reload.
  EXPECT_FALSE(h.Key('R'));
  EXPECT_FALSE(h.Key('R', kShiftMask));
  EXPECT_FALSE(h.Key('R', kAltMask));
  EXPECT_FALSE(h.Key(forms::kVkF5, kAltMask));
  EXPECT_FALSE(h.Key(forms::kVkF5, kShiftMask));
  EXPECT_EQ(w.reloads, 4);

  EXPECT_TRUE(h.Key(forms::kVkEscape));
  // Escape in the search field stops the page too.
  h.ba1->NativeFocus(h.ba1->sotext);
  EXPECT_TRUE(h.Key(forms::kVkEscape));
  EXPECT_FALSE(h.Key(forms::kVkEscape, kShiftMask));
  EXPECT_EQ(w.stops, 2);
  EXPECT_TRUE(h.Navigations().empty());
}

TEST(Keys, CtrlFFocusesTheSearchFieldWithAllOfItsTextSelected) {
  KeysHarness h;
  h.ba1->NativeFocus(h.ba1->Web1);
  h.platform.pointerLog.clear();
  ASSERT_EQ(h.ba1->sotext->Text(), "3d肉蒲团");
  EXPECT_TRUE(h.Key('F', kCtrlMask));
  EXPECT_EQ(h.ba1->Focused(), h.ba1->sotext);
  // Five characters, not the eleven bytes they take.
  EXPECT_EQ(h.ba1->sotext->SelStart(), 0);
  EXPECT_EQ(h.ba1->sotext->SelLength(), 5);
  EXPECT_EQ(h.platform.pointerLog,
            (std::vector<std::string>{"focus sotext", "select sotext 0+0", "select sotext 0+5"}));
  // The page lost the focus to the field: nothing was navigated.
  EXPECT_TRUE(h.Navigations().empty());
  // Enter in the field still searches.
  int key = 13;
  h.ba1->sotext_KeyPress(key);
  EXPECT_EQ(key, 0);
  ASSERT_FALSE(h.Navigations().empty());
  EXPECT_NE(h.Navigations().back().find("keyboard=3d%E8%82%89"), std::string::npos);

  EXPECT_FALSE(h.Key('F'));
  EXPECT_FALSE(h.Key('F', kCtrlMask | kShiftMask));
  EXPECT_FALSE(h.Key('F', kAltMask));
}

TEST(Keys, KeysThatAreNotOursPassThroughUntouched) {
  KeysHarness h;
  auto& w = h.Window();
  std::vector<int> codes = {forms::kVkTab, forms::kVkReturn,
                            forms::kVkUp,  forms::kVkDown,
                            ' ',           '0',
                            '9',           'A',
                            'C',           'V',
                            'X',           'Z'};
  for (int f = 0; f < 12; ++f) {
    if (forms::kVkF1 + f != forms::kVkF5) codes.push_back(forms::kVkF1 + f);
  }
  const std::size_t focusMoves = h.platform.pointerLog.size();
  for (int code : codes) {
    for (int shift = 0; shift < 8; ++shift) {
      EXPECT_FALSE(h.Key(code, shift)) << code << " shift " << shift;
    }
  }
  EXPECT_TRUE(h.Navigations().empty());
  EXPECT_EQ(w.reloads, 0);
  EXPECT_EQ(w.stops, 0);
  // Nothing took the focus or selected anything either.
  EXPECT_EQ(h.platform.pointerLog.size(), focusMoves);
}

TEST(Keys, OnlyAFormWithKeyPreviewSeesKeys) {
  KeysHarness h;
  EXPECT_TRUE(h.ba1->KeyPreview());
  EXPECT_FALSE(h.Key(0));
  h.ba1->SetKeyPreview(false);
  EXPECT_FALSE(h.Key(forms::kVkF5));
  EXPECT_EQ(h.Window().reloads, 0);
}

TEST(Keys, TextBoxSelectionStaysInsideTheText) {
  Harness h;
  forms::Control& box = *h.ba1->sotext;
  box.SetText("abc");
  box.SetSelStart(99);
  EXPECT_EQ(box.SelStart(), 3);
  box.SetSelStart(1);
  box.SetSelLength(99);
  EXPECT_EQ(box.SelLength(), 2);
  box.SetSelLength(-4);
  EXPECT_EQ(box.SelLength(), 0);
  box.SetSelStart(-1);
  EXPECT_EQ(box.SelStart(), 0);
  // Setting the start empties the selection; shorter text shrinks it.
  box.SetSelLength(3);
  box.SetSelStart(1);
  EXPECT_EQ(box.SelLength(), 0);
  box.SetSelLength(2);
  box.SetText("ab");
  EXPECT_EQ(box.SelStart(), 1);
  EXPECT_EQ(box.SelLength(), 1);
  box.SetText("");
  EXPECT_EQ(box.SelStart(), 0);
  EXPECT_EQ(box.SelLength(), 0);
  // A picture box has no selection.
  h.ba1->npc[3]->SetSelLength(5);
  EXPECT_EQ(h.ba1->npc[3]->SelLength(), 0);
  EXPECT_EQ(forms::CharCount("3d肉蒲团"), 5);
  EXPECT_EQ(forms::CharCount("😀"), 1);
}

}  // namespace

namespace {

TEST(Keys, CtrlJBringsTheDownloadListBackWhereThereIsOne) {
  KeysHarness h;
  EXPECT_TRUE(h.Key('J', kCtrlMask));
  EXPECT_EQ(h.platform.downloadShows, 1);
  for (int shift : {0, kShiftMask, kAltMask, kCtrlMask | kShiftMask}) {
    EXPECT_FALSE(h.Key('J', shift)) << shift;
  }
  EXPECT_EQ(h.platform.downloadShows, 1);
  // A platform without a list of its own leaves the key to the page.
  h.platform.hasDownloadList = false;
  EXPECT_FALSE(h.Key('J', kCtrlMask));
  EXPECT_TRUE(h.Navigations().empty());
}

}  // namespace
