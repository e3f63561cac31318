// The two popup menus of the about box, their commands, and the about box's
// own life: loaded hidden with the tray menu, shown, closed, loaded again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/addresses.h"
#include "test_support.h"
#include "tray/tip.h"

namespace {

using forms::WindowState;
using testing_support::Harness;

std::vector<std::string> Captions(const std::vector<forms::PopupItem>& items) {
  std::vector<std::string> out;
  for (const auto& item : items) out.push_back(item.separator ? "-" : item.caption);
  return out;
}

void TrayRightClick(Harness& h) { h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp); }

void TrayChoose(Harness& h, const std::string& caption) {
  h.platform.ChooseNext(caption);
  TrayRightClick(h);
}

// The page is loaded and bound, so a right click in it pops our menu.
void LoadPage(Harness& h, forms::DocumentHandle doc) {
  h.Window().document = doc;
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadBegin);
  h.platform.BrowserEvent(*h.ba1, forms::EventKind::kDownloadComplete);
}

void PageChoose(Harness& h, const std::string& caption) {
  h.platform.ChooseNext(caption);
  EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
}

forms::DocumentHandle Doc(int n) {
  return reinterpret_cast<forms::DocumentHandle>(static_cast<std::uintptr_t>(0x100 * n));
}

TEST(PopupMenus, TreesInOrderWithSeparatorsAndInvisibleRoots) {
  Harness h;
  TrayRightClick(h);
  ASSERT_EQ(h.platform.popups.size(), 1u);
  EXPECT_EQ(Captions(h.platform.popups[0]),
            (std::vector<std::string>{"显示窗口", "官方主页", "-", "关于我们", "-", "退出软件"}));
  EXPECT_EQ(h.platform.popupWindows[0], h.ba1->hWnd()) << "popped by the main window";
  LoadPage(h, Doc(1));
  EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
  ASSERT_EQ(h.platform.popups.size(), 2u);
  EXPECT_EQ(Captions(h.platform.popups[1]),
            (std::vector<std::string>{"后退", "前进", "刷新", "-", "主页"}));
  EXPECT_EQ(h.platform.popupWindows[1], h.ba1->hWnd());
  // Names, roots hidden, no menu bar.
  auto& tip = h.ba1->tip();
  std::vector<std::string> names;
  for (const auto& root : tip.Menus()) {
    EXPECT_FALSE(root->Visible()) << root->Name();
    names.push_back(root->Name());
    for (const auto& item : root->Items()) names.push_back(item->Name());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"myMenu", "ht", "qj", "sx", "sss", "zy", "r_m", "xian",
                                             "guanf", "sttg", "about", "aa122", "qsoft"}));
}

TEST(PopupMenus, EscapeOrAnItemOutOfRangeRunsNothing) {
  Harness h;
  LoadPage(h, Doc(1));
  const auto navigations = h.Window().navigations;
  // Escape, an index past the end, and each menu's separator.
  for (auto [page, tray] : {std::pair{-1, -1}, std::pair{99, 99}, std::pair{3, 2}}) {
    h.platform.onPopup = [page](const std::vector<forms::PopupItem>&) { return page; };
    EXPECT_FALSE(h.platform.PageContextMenu(*h.ba1));
    h.platform.onPopup = [tray](const std::vector<forms::PopupItem>&) { return tray; };
    TrayRightClick(h);
  }
  EXPECT_EQ(h.Window().navigations, navigations);
  EXPECT_EQ(h.Window().reloads, 0);
  EXPECT_TRUE(h.ba1->Visible());
  EXPECT_FALSE(h.ba1->tip().Visible());
  EXPECT_TRUE(h.platform.shellExecutes.empty());
  EXPECT_EQ(h.platform.trayCalls.size(), 1u);
}

TEST(MenuCommands, ShowWindowFromEveryState) {
  {
    Harness h;  // visible and normal: nothing changes
    const auto before = h.Window().log.size();
    TrayChoose(h, "显示窗口");
    EXPECT_TRUE(h.ba1->Visible());
    EXPECT_EQ(h.ba1->State(), WindowState::kNormal);
    for (std::size_t i = before; i < h.Window().log.size(); ++i) {
      EXPECT_EQ(h.Window().log[i], "show");
    }
  }
  {
    Harness h;  // hidden: shown at its former size
    h.ba1->Hide();
    TrayChoose(h, "显示窗口");
    EXPECT_TRUE(h.ba1->Visible());
    EXPECT_EQ(h.ba1->ScaleWidth(), 888);
    EXPECT_EQ(h.Window().log.back(), "show");
  }
  {
    Harness h;  // minimized, even hidden: made visible first, then restored
    h.ba1->SetWindowState(WindowState::kMinimized);
    h.ba1->Hide();
    TrayChoose(h, "显示窗口");
    EXPECT_TRUE(h.ba1->Visible());
    EXPECT_EQ(h.ba1->State(), WindowState::kNormal);
    const auto& log = h.Window().log;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "show");
    EXPECT_EQ(log.back(), "state 0");
  }
}

TEST(MenuCommands, OfficialSiteOpensInTheDesktopsBrowser) {
  Harness h;
  TrayChoose(h, "官方主页");
  ASSERT_EQ(h.platform.shellExecutes.size(), 1u);
  const auto& call = h.platform.shellExecutes[0];
  EXPECT_EQ(call.owner, h.ba1->tip().hWnd());
  EXPECT_EQ(call.verb, "open");
  EXPECT_EQ(call.file, std::string(browse::OfficialSiteUrl));
  EXPECT_EQ(call.parameters, "");
  EXPECT_EQ(call.directory, "");
  EXPECT_EQ(call.showCmd, forms::kSwShowNormal);
}

TEST(MenuCommands, PageMenuDrivesTheBrowser) {
  Harness h;
  auto& w = h.Window();
  LoadPage(h, Doc(1));
  const auto mark = h.platform.Mark();
  // One page in the history: neither way goes anywhere, and nothing says so.
  PageChoose(h, "后退");
  PageChoose(h, "前进");
  EXPECT_EQ(w.navigations.size(), 1u);
  PageChoose(h, "主页");
  EXPECT_EQ(w.navigations.back(), "http://127.0.0.1:8080//xiazai");
  PageChoose(h, "后退");
  EXPECT_EQ(w.navigations.back(), "back");
  PageChoose(h, "前进");
  EXPECT_EQ(w.navigations.back(), "forward");
  PageChoose(h, "前进");  // at the newest page now
  EXPECT_EQ(w.navigations.back(), "forward");
  EXPECT_EQ(w.navigations.size(), 4u);
  PageChoose(h, "刷新");
  EXPECT_EQ(w.reloads, 1);
  EXPECT_EQ(h.platform.Events({"navigate", "back", "forward", "reload", "stop"}, mark),
            (std::vector<std::string>{"navigate http://127.0.0.1:8080//xiazai", "back", "forward",
                                      "reload"}));
}

TEST(AboutBox, LoadedHiddenAtStartWithTheMainWindowsIcon) {
  Harness h;
  auto& tip = h.ba1->tip();
  EXPECT_TRUE(tip.Loaded());
  EXPECT_FALSE(tip.Visible());
  EXPECT_EQ(tip.Icon(), h.ba1->Icon());
  EXPECT_EQ(h.platform.WindowOf(tip).icon, h.ba1->Icon());
  const auto& design = tip.Design();
  EXPECT_EQ(design.caption, "关于我们");
  EXPECT_EQ(design.border, forms::BorderStyle::kFixedDialog);
  EXPECT_FALSE(design.showInTaskbar);
  EXPECT_EQ(design.startUpPosition, forms::StartUpPosition::kCenterScreen);
  EXPECT_EQ(tip.ScaleWidth(), 298);
  EXPECT_EQ(tip.ScaleHeight(), 165);
  // Controls in creation order, in pixels; only the button takes the focus.
  std::vector<std::string> names;
  for (const auto& c : tip.Controls()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Command1", "Label3", "Label2", "Label1", "Image1"}));
  EXPECT_EQ(tip.Command1->Bounds(), (forms::Rect{120, 112, 81, 33}));
  EXPECT_EQ(tip.Command1->Text(), "关闭");
  EXPECT_EQ(tip.Label1->Bounds(), (forms::Rect{112, 32, 168, 12}));
  EXPECT_EQ(tip.Label1->Text(), "Kivo手机电影下载器 2011 Beta1");
  EXPECT_EQ(tip.Label3->Text().rfind("联系邮箱 ", 0), 0u);
  EXPECT_NE(tip.Label3->Text().find("@example.org"), std::string::npos);
  EXPECT_EQ(tip.Image1->Bounds(), (forms::Rect{16, 24, 80, 80}));
  EXPECT_EQ(tip.NextInTabOrder(nullptr, false), tip.Command1);
  EXPECT_EQ(tip.NextInTabOrder(tip.Command1, false), tip.Command1);
}

TEST(AboutBox, ShownOwnedAndFocusedEvenWithTheMainWindowHidden) {
  Harness h;
  h.ba1->Hide();
  TrayChoose(h, "关于我们");
  auto& tip = h.ba1->tip();
  auto& w = h.platform.WindowOf(tip);
  EXPECT_TRUE(tip.Visible());
  EXPECT_FALSE(h.ba1->Visible());
  EXPECT_EQ(w.owner, h.ba1->hWnd());
  EXPECT_EQ(w.log.back(), "activate");
  EXPECT_EQ(tip.Focused(), tip.Command1);
  // Again while open: to the front, still one window.
  TrayChoose(h, "关于我们");
  EXPECT_EQ(h.platform.LoadedForms().size(), 2u);
  EXPECT_EQ(w.log.back(), "activate");
}

TEST(AboutBox, ClosingUnloadsItAndTheMenusStillWork) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "button");
    Harness h;
    auto& tip = h.ba1->tip();
    TrayChoose(h, "关于我们");
    auto* first = &h.platform.WindowOf(tip);
    if (closeBox) {
      tip.NativeCloseRequest(forms::UnloadMode::kFormControlMenu);
    } else {
      forms::Event click;
      click.kind = forms::EventKind::kClick;
      click.source = tip.Command1;
      tip.Raise(click);
    }
    EXPECT_FALSE(tip.Loaded());
    EXPECT_TRUE(first->destroyed);
    EXPECT_EQ(tip.Command1, nullptr);
    EXPECT_TRUE(h.ba1->Loaded());
    EXPECT_EQ(h.platform.loopQuits, 0) << "the program runs on";
    EXPECT_EQ(h.platform.trayCalls.size(), 1u) << "the icon stays";
    // The tray menu loads the box again, hidden, with the icon, and opens it.
    TrayChoose(h, "关于我们");
    EXPECT_TRUE(tip.Loaded());
    EXPECT_TRUE(tip.Visible());
    EXPECT_EQ(tip.LoadCount(), 2u);
    EXPECT_EQ(h.platform.WindowOf(tip).icon, h.ba1->Icon());
    EXPECT_EQ(Captions(h.platform.popups.back()).size(), 6u);
  }
}

TEST(AboutBox, ThePageMenuLoadsItAgainHidden) {
  Harness h;
  auto& tip = h.ba1->tip();
  tip.Unload();
  LoadPage(h, Doc(1));
  PageChoose(h, "刷新");
  EXPECT_TRUE(tip.Loaded());
  EXPECT_FALSE(tip.Visible());
  EXPECT_EQ(h.Window().reloads, 1);
  EXPECT_EQ(h.platform.WindowOf(tip).icon, h.ba1->Icon());
}

}  // namespace
