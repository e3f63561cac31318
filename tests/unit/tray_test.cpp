// The notification-area icon: its record, the window procedure that answers
// its clicks, the procedure chain, and the exit sequence.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "frame/module1.h"
#include "test_support.h"
#include "tray/modtray.h"
#include "tray/tip.h"

namespace {

using forms::WindowState;
using testing_support::Harness;

// What reaches the bottom of the chain, below the size bounds' procedure.
std::vector<std::tuple<std::uint32_t, forms::WParam, forms::LParam>> bottomLog;
forms::WndProc bottomNext = nullptr;

forms::LResult RecordingProc(forms::WindowHandle w, std::uint32_t m, forms::WParam wp,
                             forms::LParam lp) {
  bottomLog.emplace_back(m, wp, lp);
  return bottomNext ? bottomNext(w, m, wp, lp) : 0;
}

// The start-up with a recorder at the bottom of the chain.
struct TrayHarness : Harness {
  TrayHarness() : Harness(/*load=*/false) {
    bottomLog.clear();
    bottomNext = reinterpret_cast<forms::WndProc>(platform.SetWindowLongPtr(
        ba1->hWnd(), forms::kGwlWndProc, reinterpret_cast<std::intptr_t>(&RecordingProc)));
    ba1->Form_Load();
    ba1->Show();
  }
  forms::LResult Tray(forms::LParam mouse) {
    return platform.Send(ba1->hWnd(), modTray::TrayCallbackMessage, 0, mouse);
  }
};

std::u16string TipText(const forms::NotifyIconData& d) {
  std::u16string s;
  for (char16_t c : d.szTip) {
    if (c == u'\0') break;
    s.push_back(c);
  }
  return s;
}

TEST(TrayIcon, RecordCarriesTheWindowIconCaptionAndCallback) {
  Harness h;
  ASSERT_EQ(h.platform.trayCalls.size(), 1u);
  const auto& [message, d] = h.platform.trayCalls[0];
  EXPECT_EQ(message, forms::kNimAdd);
  EXPECT_EQ(d.cbSize, sizeof(forms::NotifyIconData));
  EXPECT_EQ(d.hWnd, h.ba1->hWnd());
  EXPECT_EQ(d.uID, 0u);
  EXPECT_EQ(d.uFlags, 0x17u);
  EXPECT_EQ(d.uCallbackMessage, 2025u);
  EXPECT_NE(d.hIcon, nullptr);
  EXPECT_EQ(d.hIcon, h.ba1->Icon());
  EXPECT_EQ(TipText(d), u"Kivo手机电影下载器");
  // NUL after the text, blanks to the end of the field; no balloon.
  const int n = 11;
  EXPECT_EQ(d.szTip[n], u'\0');
  for (int i = n + 1; i < forms::kNotifyTipChars; ++i) ASSERT_EQ(d.szTip[i], u' ') << i;
  EXPECT_EQ(d.dwState, 0u);
  EXPECT_EQ(d.dwStateMask, 0u);
  EXPECT_EQ(d.szInfo[0], u'\0');
  EXPECT_EQ(d.szInfoTitle[0], u'\0');
  EXPECT_EQ(d.uTimeout, 0u);
  EXPECT_EQ(d.dwInfoFlags, 0u);
}

TEST(TrayIcon, TipFieldIsAlwaysTerminatedAndNeverSplitsACharacter) {
  forms::NotifyIconData d;
  modTray::FillTip(d.szTip, std::string(300, 'x'));
  EXPECT_EQ(d.szTip[127], u'\0');
  EXPECT_EQ(d.szTip[126], u'x');
  // 126 letters and an emoji: the pair would end past the room, so it goes.
  modTray::FillTip(d.szTip, std::string(126, 'a') + "\xF0\x9F\x98\x80");
  EXPECT_EQ(d.szTip[126], u'\0');
  // One letter fewer: the pair ends on the last unit of room and stays whole.
  modTray::FillTip(d.szTip, std::string(125, 'a') + "\xF0\x9F\x98\x80" + "tail");
  EXPECT_EQ(d.szTip[125], 0xD83D);
  EXPECT_EQ(d.szTip[126], 0xDE00);
  EXPECT_EQ(d.szTip[127], u'\0');
  modTray::FillTip(d.szTip, "a\xF0\x9F\x98\x80");
  EXPECT_EQ(d.szTip[1], 0xD83D);
  EXPECT_EQ(d.szTip[2], 0xDE00);
  // Broken bytes become replacement characters, never a crash.
  modTray::FillTip(d.szTip, std::string("\xFF\xC3", 2) + "z\xE4\xB8");
  EXPECT_EQ(TipText(d), u"\uFFFD\uFFFDz\uFFFD\uFFFD");
  modTray::FillTip(d.szTip, "");
  EXPECT_EQ(d.szTip[0], u'\0');
  EXPECT_EQ(d.szTip[1], u' ');
}

TEST(TrayIcon, HookedAboveTheSizeBoundsAndUnhookedOnRemoval) {
  TrayHarness h;
  auto& w = h.Window();
  EXPECT_EQ(w.longs.chain.Head(), &modTray::TrayWindowProc);
  EXPECT_EQ(modTray::Data().TrayPrevWndProc, &Module1::MinMaxWindowProc);
  modTray::RemoveTrayIcon();
  EXPECT_EQ(w.longs.chain.Head(), &Module1::MinMaxWindowProc);
  ASSERT_EQ(h.platform.trayCalls.size(), 2u);
  const auto& added = h.platform.trayCalls[0].second;
  const auto& [message, removed] = h.platform.trayCalls[1];
  EXPECT_EQ(message, forms::kNimDelete);
  EXPECT_EQ(removed.uFlags, 0u);
  EXPECT_EQ(removed.hWnd, added.hWnd);
  EXPECT_EQ(removed.uID, 0u);
  EXPECT_EQ(TipText(removed), TipText(added));
  // A second removal has nothing left to remove and leaves the chain alone.
  modTray::RemoveTrayIcon();
  EXPECT_EQ(h.platform.trayCalls.size(), 2u);
  EXPECT_EQ(w.longs.chain.Head(), &Module1::MinMaxWindowProc);
}

TEST(TrayIcon, CallbackByMessageMouseAndWindowState) {
  struct Case {
    const char* name;
    WindowState state;
    bool visible;
    forms::LParam mouse;
    bool passedOn;
    bool visibleAfter;
    WindowState stateAfter;
    int popups;
  };
  const Case cases[] = {
      {"minimized visible: restored only", WindowState::kMinimized, true, forms::kWmLButtonUp,
       false, true, WindowState::kNormal, 0},
      {"minimized hidden: restored, stays hidden", WindowState::kMinimized, false,
       forms::kWmLButtonUp, false, false, WindowState::kNormal, 0},
      {"visible: hidden", WindowState::kNormal, true, forms::kWmLButtonUp, true, false,
       WindowState::kNormal, 0},
      {"maximized visible: hidden, stays maximized", WindowState::kMaximized, true,
       forms::kWmLButtonUp, true, false, WindowState::kMaximized, 0},
      {"hidden: shown", WindowState::kNormal, false, forms::kWmLButtonUp, true, true,
       WindowState::kNormal, 0},
      {"right button: the menu", WindowState::kNormal, true, forms::kWmRButtonUp, false, true,
       WindowState::kNormal, 1},
      {"right button while hidden: the menu", WindowState::kNormal, false, forms::kWmRButtonUp,
       false, false, WindowState::kNormal, 1},
      {"left down", WindowState::kNormal, true, forms::kWmLButtonDown, true, true,
       WindowState::kNormal, 0},
      {"right down", WindowState::kNormal, true, forms::kWmRButtonDown, true, true,
       WindowState::kNormal, 0},
      {"double click", WindowState::kNormal, true, forms::kWmLButtonDblClk, true, true,
       WindowState::kNormal, 0},
      {"move", WindowState::kMinimized, false, forms::kWmMouseMove, true, false,
       WindowState::kMinimized, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrayHarness h;
    h.ba1->SetWindowState(c.state);
    h.ba1->SetVisible(c.visible);
    bottomLog.clear();
    EXPECT_EQ(h.Tray(c.mouse), 0);
    EXPECT_EQ(h.ba1->Visible(), c.visibleAfter);
    EXPECT_EQ(h.ba1->State(), c.stateAfter);
    EXPECT_EQ(static_cast<int>(h.platform.popups.size()), c.popups);
    if (c.passedOn) {
      ASSERT_EQ(bottomLog.size(), 1u);
      EXPECT_EQ(bottomLog[0],
                std::make_tuple(modTray::TrayCallbackMessage, forms::WParam{0}, c.mouse));
    } else {
      EXPECT_TRUE(bottomLog.empty());
    }
  }
}

TEST(TrayIcon, OtherMessagesGoDownTheChainUnchanged) {
  TrayHarness h;
  bottomLog.clear();
  h.platform.Send(h.ba1->hWnd(), 0x1234, 7, 9);
  h.platform.Send(h.ba1->hWnd(), modTray::TrayCallbackMessage + 1, 0, forms::kWmLButtonUp);
  ASSERT_EQ(bottomLog.size(), 2u);
  EXPECT_EQ(bottomLog[0], std::make_tuple(0x1234u, forms::WParam{7}, forms::LParam{9}));
  EXPECT_TRUE(h.ba1->Visible());
  // The size bounds still answer through the tray's procedure.
  forms::MinMaxInfo info{};
  h.platform.Send(h.ba1->hWnd(), forms::kWmGetMinMaxInfo, 0,
                  reinterpret_cast<forms::LParam>(&info));
  EXPECT_EQ(info.ptMaxSize, (forms::PointL{1920, 1040}));
}

TEST(TrayIcon, DoubleClickIsTwoButtonUps) {
  TrayHarness h;
  const auto shows = [&] {
    std::vector<std::string> out;
    for (const auto& entry : h.Window().log) {
      if (entry == "show" || entry == "hide") out.push_back(entry);
    }
    return out;
  };
  const auto before = shows().size();
  h.Tray(forms::kWmLButtonDown);
  h.Tray(forms::kWmLButtonUp);
  h.Tray(forms::kWmLButtonDblClk);
  h.Tray(forms::kWmLButtonUp);
  const auto log = shows();
  ASSERT_EQ(log.size(), before + 2);
  EXPECT_EQ(log[before], "hide");
  EXPECT_EQ(log[before + 1], "show");
  EXPECT_TRUE(h.ba1->Visible());
}

TEST(TrayIcon, NoTrayHostLeavesTheProgramRunningAndReachable) {
  Harness h(/*load=*/false);
  h.platform.SetAppTitle("Kivo手机电影下载器");
  h.platform.trayFails = true;
  h.ba1->Form_Load();
  h.ba1->StartLink();
  h.ba1->Show();
  h.ba1->Hide();
  // A second start still brings the window back.
  EXPECT_TRUE(h.platform.link.Deliver("Kivo手机电影下载器|BA1", ""));
  EXPECT_TRUE(h.ba1->Visible());
  EXPECT_EQ(h.platform.loopQuits, 0);
}

TEST(TrayIcon, AMenuThePanelDrawsRunsTheSameCommandsWhenChosen) {
  Harness h;
  h.platform.hostDrawsMenus = true;
  // The panel opening the menu reaches the program as the right click.
  EXPECT_EQ(h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp), 0);
  ASSERT_EQ(h.platform.popups.size(), 1u);
  std::vector<std::string> captions;
  for (const auto& item : h.platform.popups[0]) captions.push_back(item.separator ? "-" : item.caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"显示窗口", "官方主页", "-", "关于我们", "-",
                                                "退出软件"}));
  ASSERT_TRUE(h.platform.servedChoice);
  const forms::MenuChoice choose = h.platform.servedChoice;
  choose(3);
  EXPECT_TRUE(h.ba1->tip().Visible()) << "关于我们";
  // Chosen after the about box closed: its window is loaded again, hidden.
  h.ba1->tip().Unload();
  h.ba1->Hide();
  for (int nothing : {2, 6, -1}) choose(nothing);
  EXPECT_FALSE(h.ba1->Visible()) << "separators and strays run nothing";
  choose(0);
  EXPECT_TRUE(h.ba1->Visible()) << "显示窗口";
  EXPECT_FALSE(h.ba1->tip().Visible());
  choose(5);
  EXPECT_EQ(h.platform.loopQuits, 1) << "退出软件";
}

TEST(ExitSequence, WithoutANotificationAreaClosingEndsTheProgram) {
  for (bool button : {true, false}) {
    SCOPED_TRACE(button ? "close button" : "desktop's close request");
    Harness h;
    h.platform.trayPresent = false;
    h.platform.runningDownloads = 1;
    const auto close = [&] {
      if (button) {
        h.ba1->npc_Click(0);
      } else {
        h.ba1->NativeCloseRequest(forms::UnloadMode::kFormControlMenu);
      }
    };
    close();
    EXPECT_EQ(h.platform.messageBoxes.size(), 1u) << "asked first";
    EXPECT_TRUE(h.ba1->Visible()) << "answered Cancel: nothing hidden, nothing ended";
    h.platform.trayPresent = true;
    close();
    EXPECT_FALSE(h.ba1->Visible()) << "a tray came: the window hides into it";
    EXPECT_EQ(h.platform.loopQuits, 0);
    h.ba1->Show();
    h.platform.trayPresent = false;
    h.platform.messageBoxAnswer = forms::kIdOk;
    close();
    EXPECT_EQ(h.platform.trayCalls.back().first, forms::kNimDelete);
    EXPECT_TRUE(h.platform.LoadedForms().empty());
    EXPECT_EQ(h.platform.loopQuits, 1);
  }
}

TEST(ExitSequence, IconGoesBeforeEitherWindowThenTheLoopEnds) {
  Harness h;
  auto& main = h.Window();
  auto& tipWindow = h.platform.WindowOf(h.ba1->tip());
  h.platform.ChooseNext("退出软件");
  const auto mark = h.platform.Mark();
  EXPECT_EQ(h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp), 0);
  // The icon, then the procedure it hooked, then the loop: nothing asked.
  EXPECT_EQ(h.platform.Events({"tray", "wndproc", "msgbox", "quit-loop", "show", "hide"}, mark),
            (std::vector<std::string>{"tray delete", "wndproc BA1", "quit-loop"}));
  ASSERT_EQ(h.platform.trayCalls.size(), 2u);
  EXPECT_EQ(h.platform.trayCalls[1].first, forms::kNimDelete);
  EXPECT_EQ(h.platform.trayLoadedForms[1], 2u) << "both windows still stood at the removal";
  EXPECT_TRUE(main.destroyed);
  EXPECT_TRUE(tipWindow.destroyed);
  EXPECT_FALSE(h.ba1->Loaded());
  EXPECT_FALSE(h.ba1->tip().Loaded());
  EXPECT_EQ(h.platform.loopQuits, 1);
  EXPECT_EQ(main.longs.chain.Head(), &Module1::MinMaxWindowProc);
}

TEST(ExitSequence, EndsFromEveryWindowState) {
  for (int variant = 0; variant < 4; ++variant) {
    SCOPED_TRACE(variant);
    Harness h;
    if (variant == 1) h.ba1->Hide();
    if (variant == 2) h.ba1->SetWindowState(WindowState::kMinimized);
    if (variant == 3) {
      h.platform.ChooseNext("关于我们");
      h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp);
      ASSERT_TRUE(h.ba1->tip().Visible());
    }
    h.platform.ChooseNext("退出软件");
    h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp);
    EXPECT_TRUE(h.platform.LoadedForms().empty());
    EXPECT_EQ(h.platform.loopQuits, 1);
    EXPECT_EQ(h.platform.trayCalls.back().first, forms::kNimDelete);
  }
}

TEST(ExitSequence, SessionEndAndSignalsRunItButACloseRequestHides) {
  {
    Harness h;
    h.ba1->NativeCloseRequest(forms::UnloadMode::kFormControlMenu);
    EXPECT_TRUE(h.ba1->Loaded());
    EXPECT_FALSE(h.ba1->Visible());
    EXPECT_EQ(h.platform.trayCalls.size(), 1u) << "the icon stays";
    EXPECT_EQ(h.platform.loopQuits, 0);
  }
  for (auto mode : {forms::UnloadMode::kAppWindows, forms::UnloadMode::kAppTaskManager}) {
    Harness h;
    h.platform.NativeSessionEnd(mode);
    EXPECT_TRUE(h.platform.LoadedForms().empty());
    EXPECT_EQ(h.platform.trayCalls.back().first, forms::kNimDelete);
    EXPECT_EQ(h.platform.trayLoadedForms.back(), 2u);
    EXPECT_EQ(h.platform.loopQuits, 1);
  }
}

TEST(ExitSequence, SessionEndWhileTheTrayMenuIsOpen) {
  Harness h;
  // The signal arrives inside the menu loop: the menu is closed, nothing
  // chosen runs, and the main window goes once the menu call has returned.
  h.platform.onPopup = [&](const std::vector<forms::PopupItem>&) {
    h.platform.NativeSessionEnd(forms::UnloadMode::kAppTaskManager);
    EXPECT_EQ(h.platform.popupCancels, 1);
    EXPECT_TRUE(h.ba1->Loaded()) << "not while its menu loop runs";
    return 0;  // "显示窗口", which must not run now
  };
  h.ba1->Hide();
  EXPECT_EQ(h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp), 0);
  EXPECT_FALSE(h.ba1->Loaded());
  EXPECT_FALSE(h.ba1->Visible());
  EXPECT_TRUE(h.platform.LoadedForms().empty());
  EXPECT_EQ(h.platform.loopQuits, 1);
}

}  // namespace

TEST(ExitSequence, RunningDownloadsAskFirstAndCancelKeepsEverything) {
  Harness h;
  h.platform.runningDownloads = 2;
  h.platform.messageBoxAnswer = forms::kIdCancel;
  h.platform.ChooseNext("退出软件");
  h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp);
  ASSERT_EQ(h.platform.messageBoxes.size(), 1u);
  const auto& box = h.platform.messageBoxes[0];
  EXPECT_NE(box.text.find("2 个下载"), std::string::npos) << box.text;
  EXPECT_EQ(box.caption, h.platform.AppTitle());
  EXPECT_EQ(box.owner, h.ba1->hWnd());
  EXPECT_EQ(box.type & forms::kMbOkCancel, forms::kMbOkCancel);
  EXPECT_EQ(box.type & forms::kMbDefButton2, forms::kMbDefButton2) << "Cancel is the default";
  EXPECT_TRUE(h.ba1->Loaded());
  EXPECT_EQ(h.platform.trayCalls.size(), 1u) << "the icon stays";
  EXPECT_EQ(h.platform.downloadCancels, 0);
  EXPECT_EQ(h.platform.loopQuits, 0);

  h.platform.messageBoxAnswer = forms::kIdOk;
  h.platform.ChooseNext("退出软件");
  const auto mark = h.platform.Mark();
  h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp);
  EXPECT_EQ(h.platform.Events({"msgbox", "cancel-downloads", "tray", "quit-loop"}, mark),
            (std::vector<std::string>{"msgbox", "cancel-downloads", "tray delete", "quit-loop"}));
  EXPECT_EQ(h.platform.messageBoxes.size(), 2u);
  EXPECT_EQ(h.platform.downloadCancels, 1);
  EXPECT_TRUE(h.platform.LoadedForms().empty());
  EXPECT_EQ(h.platform.loopQuits, 1);
}

TEST(ExitSequence, NoQuestionWithoutRunningDownloadsNorWhenTheSessionEnds) {
  {
    Harness h;
    h.platform.ChooseNext("退出软件");
    h.platform.Send(h.ba1->hWnd(), 2025, 0, forms::kWmRButtonUp);
    EXPECT_TRUE(h.platform.messageBoxes.empty());
    EXPECT_EQ(h.platform.loopQuits, 1);
  }
  {
    // Nobody is there to answer when the session ends.
    Harness h;
    h.platform.runningDownloads = 1;
    h.platform.NativeSessionEnd(forms::UnloadMode::kAppTaskManager);
    EXPECT_TRUE(h.platform.messageBoxes.empty());
    EXPECT_EQ(h.platform.loopQuits, 1);
  }
}
