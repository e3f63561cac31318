// One instance: the second start hands its command line over and ends; the
// first serves the hand-off and brings its window forward.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_mod.h"
#include "frame/module1.h"
#include "test_support.h"

namespace {

using testing_support::Harness;

const std::string kService = "Kivo手机电影下载器|BA1";

bool Logged(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

struct SecondStart {
  fake::FakePlatform platform;
  std::unique_ptr<frame::BA1> ba1;

  explicit SecondStart(std::string commandLine, bool firstAnswers = true) {
    testing_support::InstallSyntheticSkins(platform);
    platform.link.otherInstance = true;
    platform.link.otherAccepts = firstAnswers;
    platform.commandLine = std::move(commandLine);
    ba1 = Main_Mod::Main(platform);
  }
};

TEST(SecondInstance, HandsItsCommandLineOverAndEndsShowingNothing) {
  for (bool firstAnswers : {true, false}) {
    SecondStart s("--tray http://example.org/x 中文", firstAnswers);
    auto& w = s.platform.WindowOf(*s.ba1);
    const std::vector<std::string> link = {
        "prev-instance", "execute " + kService + " within 2000: --tray http://example.org/x 中文"};
    EXPECT_EQ(s.platform.link.log, link);
    EXPECT_EQ(s.platform.ends, 1);
    // Silent: no window shown, no size, no page, no procedure, no outline.
    EXPECT_TRUE(w.log.empty());
    EXPECT_TRUE(w.navigations.empty());
    EXPECT_NE(w.longs.chain.Head(), &Module1::MinMaxWindowProc);
    EXPECT_EQ(w.regionsSet, 0);
    EXPECT_FALSE(s.ba1->Visible());
    EXPECT_TRUE(s.platform.bitmapRequests.empty());
    // It offers no topic of its own; its client names the first one's.
    EXPECT_EQ(s.ba1->LinkTopic(), "");
    EXPECT_EQ(s.ba1->LinkMode(), 0);
    EXPECT_EQ(s.ba1->dde->LinkTopic(), kService);
    EXPECT_EQ(s.ba1->dde->LinkMode(), 2);
  }
}

TEST(SecondInstance, AnEmptyCommandLineIsStillSent) {
  SecondStart s("");
  EXPECT_EQ(s.platform.link.log.back(), "execute " + kService + " within 2000: ");
}

TEST(SecondInstance, ALongCommandLineIsCutToTheBoundOnACharacterBoundary) {
  std::string huge = "a";
  while (huge.size() < 1024 * 1024) huge += "中";  // 3 bytes each, from offset 1
  SecondStart s(huge);
  const std::string& sent = s.platform.link.log.back();
  const std::string prefix = "execute " + kService + " within 2000: ";
  ASSERT_EQ(sent.rfind(prefix, 0), 0u);
  const std::string command = sent.substr(prefix.size());
  EXPECT_LE(command.size(), forms::kLinkCommandLimit);
  EXPECT_EQ((command.size() - 1) % 3, 0u) << "a character was split";
  EXPECT_GT(command.size(), forms::kLinkCommandLimit - 3);
}

TEST(LinkCommands, BoundsAndTopicsSplitSafely) {
  EXPECT_EQ(forms::BoundedCommand("abc", 8), "abc");
  EXPECT_EQ(forms::BoundedCommand("abcdef", 3), "abc");
  EXPECT_EQ(forms::BoundedCommand("ab中", 4), "ab");  // 中 would be cut
  EXPECT_EQ(forms::BoundedCommand("ab中", 5), "ab中");
  EXPECT_EQ(forms::BoundedCommand("ab中x", 5), "ab中");
  // Bytes that are not UTF-8 are cut near the bound all the same.
  const std::string junk(100, '\x80');
  EXPECT_EQ(forms::BoundedCommand(junk, 50).size(), 47u);
  std::string_view app, topic;
  EXPECT_TRUE(forms::SplitLinkTopic("Kivo手机电影下载器|BA1", app, topic));
  EXPECT_EQ(app, "Kivo手机电影下载器");
  EXPECT_EQ(topic, "BA1");
  for (std::string_view bad : {"", "BA1", "|BA1", "Kivo|"}) {
    EXPECT_FALSE(forms::SplitLinkTopic(bad, app, topic)) << bad;
  }
  EXPECT_TRUE(forms::SplitLinkTopic("a|b|c", app, topic));
  EXPECT_EQ(topic, "b|c");
}

TEST(FirstInstance, ServesItsTopicOnceLoadedAndIgnoresItsCommandLine) {
  fake::FakePlatform platform;
  testing_support::InstallSyntheticSkins(platform);
  platform.commandLine = "http://127.0.0.1:8080/horror/";
  auto ba1 = Main_Mod::Main(platform);
  const std::vector<std::string> link = {"prev-instance", "serve " + kService};
  EXPECT_EQ(platform.link.log, link);
  EXPECT_EQ(platform.ends, 0);
  auto& w = platform.WindowOf(*ba1);
  EXPECT_EQ(w.navigations, (std::vector<std::string>{"http://127.0.0.1:8080//xiazai/"}));
  EXPECT_TRUE(ba1->Visible());
  // Unloading the window ends the service.
  ba1.reset();
  EXPECT_EQ(platform.link.log.back(), "stop " + kService);
  EXPECT_FALSE(platform.link.Deliver(kService, "x"));
  // Without a topic, or a title to serve it under, nothing is served.
  fake::FakePlatform bare;
  frame::BA1 quiet(bare);
  quiet.CreateNative();
  quiet.StartLink();
  bare.SetAppTitle("Kivo");
  quiet.SetLinkTopic("");
  quiet.StartLink();
  EXPECT_TRUE(bare.link.log.empty());
  quiet.SetLinkTopic("BA1");
  quiet.StartLink();
  EXPECT_EQ(bare.link.log, (std::vector<std::string>{"serve Kivo|BA1"}));
}

TEST(LinkExecute, BringsTheWindowBackWhateverItsState) {
  Harness h;
  auto& b = *h.ba1;
  auto& link = h.platform.link;
  auto& log = h.Window().log;
  struct Case {
    const char* name;
    void (*before)(frame::BA1&);
    forms::WindowState after;
    bool restored;  // brought out of the minimized state
  };
  const Case cases[] = {
      {"hidden", [](frame::BA1& f) { f.npc_Click(0); }, forms::WindowState::kNormal, false},
      {"minimized", [](frame::BA1& f) { f.npc_Click(1); }, forms::WindowState::kNormal, true},
      {"maximized", [](frame::BA1& f) { f.SetWindowState(forms::WindowState::kMaximized); },
       forms::WindowState::kMaximized, false},
      {"normal", [](frame::BA1& f) { f.SetWindowState(forms::WindowState::kNormal); },
       forms::WindowState::kNormal, false},
  };
  for (const auto& c : cases) {
    c.before(b);
    log.clear();
    const auto mark = h.platform.Mark();
    EXPECT_TRUE(link.Deliver(kService, "http://127.0.0.1:8080/horror/ --whatever")) << c.name;
    EXPECT_TRUE(b.Visible()) << c.name;
    EXPECT_EQ(b.State(), c.after) << c.name;
    ASSERT_GE(log.size(), 2u) << c.name;
    EXPECT_EQ(log[0], "hide") << c.name;
    EXPECT_EQ(log[1], "show") << c.name;
    std::vector<std::string> steps = {"hide BA1", "show BA1"};
    if (c.restored) steps.push_back("state BA1 0");
    EXPECT_EQ(h.platform.Events({"hide", "show", "state", "navigate"}, mark), steps) << c.name;
  }
  // The command is never followed: only the home page was ever loaded.
  EXPECT_EQ(h.Window().navigations.size(), 1u);
  // The handler accepts by clearing the flag the runtime sets.
  int cancel = -1;
  b.Form_LinkExecute("anything", cancel);
  EXPECT_EQ(cancel, 0);
}

TEST(LinkExecute, ANonClientControlCannotLinkOrExecute) {
  Harness h;
  auto& b = *h.ba1;
  EXPECT_FALSE(b.dde->SetLinkMode(1));  // controls are clients only
  b.dde->SetLinkTopic("no bar here");
  EXPECT_FALSE(b.dde->SetLinkMode(2));
  EXPECT_FALSE(b.dde->LinkExecute("x"));
  EXPECT_FALSE(Logged(h.platform.link.log, "execute no bar here within 2000: x"));
}

}  // namespace
