// The browser's events: no dialogs of the engine's own, every completed
// download binds the shown document, and only a bound document's context
// menu is replaced by ours.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tray/tip.h"

namespace {

using testing_support::Harness;

forms::DocumentHandle Doc(int n) {
  return reinterpret_cast<forms::DocumentHandle>(static_cast<std::uintptr_t>(0x100 * n));
}

TEST(BrowserEvents, EveryDownloadStartSetsSilent) {
  Harness h;
  EXPECT_TRUE(h.Window().silentSets.empty());
  for (int i = 0; i < 3; ++i) h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadBegin);
  EXPECT_EQ(h.Window().silentSets, (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(h.ba1->Web1->Silent());
}

TEST(BrowserEvents, BindingFollowsTheDocumentAcrossNavigations) {
  Harness h;
  auto& w = h.Window();
  EXPECT_EQ(h.ba1->M_M1, nullptr);
  // Shown but not yet complete: the engine's own menu.
  w.document = Doc(1);
  EXPECT_TRUE(h.platform.PageContextMenu(*h.ba1));
  EXPECT_TRUE(h.platform.popups.empty());

  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
  EXPECT_EQ(h.ba1->M_M1, Doc(1));
  EXPECT_EQ(w.connected, Doc(1));
  EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
  EXPECT_EQ(h.platform.popups.size(), 1u);

  // A link followed: the new page is bound once its download completes.
  w.document = Doc(2);
  EXPECT_TRUE(h.platform.PageContextMenu(*h.ba1));
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
  EXPECT_EQ(h.ba1->M_M1, Doc(2));
  EXPECT_EQ(w.connected, Doc(2));
  EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
  EXPECT_EQ(h.platform.popups.size(), 2u);

  // A document that is not HTML cannot be bound: nothing is, the old one's
  // connection ends, and the program runs on.
  w.document = nullptr;
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
  EXPECT_EQ(h.ba1->M_M1, nullptr);
  EXPECT_EQ(w.connected, nullptr);
  EXPECT_TRUE(h.platform.PageContextMenu(*h.ba1));
  EXPECT_EQ(h.platform.popups.size(), 2u);
}

TEST(BrowserEvents, AStaleDocumentsRequestIsNotOurs) {
  Harness h;
  h.Window().document = Doc(1);
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
  // An event naming another document than the bound one keeps its result.
  bool result = true;
  forms::Event event;
  event.kind = forms::EventKind::kContextMenu;
  event.source = h.ba1->Web1;
  event.document = Doc(7);
  event.result = &result;
  h.ba1->Raise(event);
  EXPECT_TRUE(result);
  EXPECT_TRUE(h.platform.popups.empty());
  // Without a result to give, nothing is popped either.
  event.document = Doc(1);
  event.result = nullptr;
  h.ba1->Raise(event);
  EXPECT_TRUE(h.platform.popups.empty());
}

TEST(BrowserEvents, ContextMenuIsSuppressedEvenWhenNoMenuCanBeShown) {
  Harness h;
  h.Window().document = Doc(1);
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
  // The about box's window could not be kept: the menu is still found.
  h.ba1->tip().Unload();
  h.platform.onPopup = [](const std::vector<forms::PopupItem>&) { return -1; };
  EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
  EXPECT_TRUE(h.ba1->tip().Loaded());
  // The main window gone (the program ending): no menu, still suppressed.
  h.ba1->Unload();
  EXPECT_FALSE(h.ba1->M_M1_oncontextmenu());
  EXPECT_EQ(h.platform.popups.size(), 1u);
}

}  // namespace
