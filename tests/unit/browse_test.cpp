#include <gtest/gtest.h>

#include "browse/addresses.h"
#include "test_support.h"

namespace {

using testing_support::Decode;
using testing_support::Decoded;
using testing_support::Harness;

const std::string kBase = "http://127.0.0.1:8080";

TEST(Addresses, EveryDestinationIsTheBaseFollowedByItsPath) {
  using D = browse::Destination;
  const std::pair<D, std::string> table[] = {
      {D::kHomeAtLoad, "//xiazai/"},         {D::kCategory2, "/xiazai/"},
      {D::kCategory3, "/xiazai/2.html"},     {D::kCategory4, "/xiazai/3.html"},
      {D::kCategory5, "/xiazais/index.html"}, {D::kCategory6, "/tv/"},
      {D::kCategory7, "/animation/"},        {D::kCategory8, "/mtv/"},
      {D::kCategory9, "/arts/"},             {D::kCategory10, "/drama/"},
      {D::kCategory11, "/action/"},          {D::kCategory12, "/romance/"},
      {D::kCategory13, "/horror/"},          {D::kGuestbook, "/e/tool/gbook/?bid=1"},
      {D::kHomeCommand, "//xiazai"},
  };
  EXPECT_EQ(browse::SiteBaseUrl, "http://127.0.0.1:8080/");
  for (const auto& [destination, tail] : table) EXPECT_EQ(browse::AddressOf(destination), kBase + tail);
  EXPECT_FALSE(browse::CategoryDestination(1));
  EXPECT_FALSE(browse::CategoryDestination(14));
  EXPECT_EQ(browse::CategoryDestination(2), D::kCategory2);
  EXPECT_EQ(browse::CategoryDestination(13), D::kCategory13);
}

TEST(CategoryClick, MovesTheSelectionAndNavigatesToItsSection) {
  const std::pair<int, std::string> cases[] = {
      {3, "/xiazai/2.html"}, {4, "/xiazai/3.html"}, {5, "/xiazais/index.html"}, {6, "/tv/"},
      {7, "/animation/"},    {8, "/mtv/"},          {9, "/arts/"},              {10, "/drama/"},
      {11, "/action/"},      {12, "/romance/"},     {13, "/horror/"}};
  Harness h;
  auto& b = *h.ba1;
  int previous = 2;
  for (const auto& [index, tail] : cases) {
    const auto mark = h.platform.Mark();
    b.npc_Click(index);
    EXPECT_EQ(b.selectedCategory, index);
    EXPECT_EQ(h.Window().navigations.back(), kBase + tail);
    // Both buttons redrawn and shown before the page is asked for.
    const std::vector<std::string> steps = {
        "blt npc " + std::to_string(index), "refresh npc " + std::to_string(index),
        "blt npc " + std::to_string(previous), "refresh npc " + std::to_string(previous),
        "navigate " + kBase + tail};
    EXPECT_EQ(h.platform.Events({"blt", "refresh", "navigate"}, mark), steps);
    EXPECT_EQ(Decode(b.npc[index]->Image()->Pixel(7, 9)), (Decoded{3, 7, (index - 2) * 39 + 9}));
    EXPECT_EQ(Decode(b.npc[previous]->Image()->Pixel(7, 9)),
              (Decoded{2, 7, (previous - 2) * 39 + 9}));
    previous = index;
  }
  b.npc_Click(2);
  EXPECT_EQ(h.Window().navigations.back(), kBase + "/xiazai/");
}

TEST(CategoryClick, TheSelectedCategoryDoesNothing) {
  Harness h;
  auto& b = *h.ba1;
  const auto navigations = h.Window().navigations.size();
  const int refreshes = h.Window().refreshes[b.npc[2]];
  b.npc_Click(2);
  EXPECT_EQ(h.Window().navigations.size(), navigations);
  EXPECT_EQ(h.Window().refreshes[b.npc[2]], refreshes);
  b.npc_Click(9);
  b.npc_Click(5);
  EXPECT_EQ(Decode(b.npc[5]->Image()->Pixel(0, 0)), (Decoded{3, 0, 3 * 39}));
  EXPECT_EQ(Decode(b.npc[9]->Image()->Pixel(0, 0)), (Decoded{2, 0, 7 * 39}));
  EXPECT_EQ(h.Window().navigations.back(), kBase + "/xiazais/index.html");
}

TEST(CaptionButtons, CloseHidesMinimizeMinimizesNeitherNavigates) {
  Harness h;
  auto& b = *h.ba1;
  const auto navigations = h.Window().navigations;
  // A hover image on the button is replaced by its normal image.
  b.npc[0]->Image()->Fill(0xABCDEF);
  auto mark = h.platform.Mark();
  b.npc_Click(0);
  EXPECT_FALSE(b.Visible());
  EXPECT_EQ(h.platform.Events({}, mark),
            (std::vector<std::string>{"blt npc 0", "refresh npc 0", "hide BA1"}));
  EXPECT_EQ(Decode(b.npc[0]->Image()->Pixel(36, 18)), (Decoded{1, 63, 18}));
  b.npc[1]->Image()->Fill(0xABCDEF);
  mark = h.platform.Mark();
  b.npc_Click(1);
  EXPECT_EQ(b.State(), forms::WindowState::kMinimized);
  EXPECT_EQ(h.platform.Events({}, mark),
            (std::vector<std::string>{"blt npc 1", "refresh npc 1", "state BA1 1"}));
  EXPECT_EQ(Decode(b.npc[1]->Image()->Pixel(26, 0)), (Decoded{1, 26, 0}));
  EXPECT_EQ(h.Window().navigations, navigations);
  EXPECT_EQ(b.selectedCategory, 2);
  b.npc_Click(-1);
  b.npc_Click(14);
  EXPECT_EQ(h.Window().navigations, navigations);
}

TEST(LinkLabels, BothOpenTheGuestbookAndAllResetTheHoverColour) {
  Harness h;
  auto& b = *h.ba1;
  const auto hot = forms::ColorSetting::Fixed(forms::Rgb(18, 18, 54));
  const auto white = forms::ColorSetting::Fixed(forms::Rgb(255, 255, 255));
  for (int index : {0, 1, 2}) {
    const auto before = h.Window().navigations.size();
    b.la[0]->SetForeColor(hot);
    b.la[1]->SetForeColor(hot);
    b.labelHot = true;
    b.la_Click(index);
    EXPECT_EQ(b.la[0]->ForeColor(), white);
    EXPECT_EQ(b.la[1]->ForeColor(), white);
    EXPECT_FALSE(b.labelHot);
    if (index == 2) {
      EXPECT_EQ(h.Window().navigations.size(), before);
    } else {
      EXPECT_EQ(h.Window().navigations.back(), kBase + "/e/tool/gbook/?bid=1");
    }
  }
  EXPECT_EQ(b.la[2]->ForeColor(), forms::ColorSetting::Fixed(0));
}

TEST(PercentEncode, KeepsUnreservedAndEscapesEverythingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"abcXYZ019-._~", "abcXYZ019-._~"},
      {"a&b #1", "a%26b%20%231"},
      {"100%+=?/", "100%25%2B%3D%3F%2F"},
      {"3d肉蒲团", "3d%E8%82%89%E8%92%B2%E5%9B%A2"},
      {std::string("\t\n\x01\x7f", 4), "%09%0A%01%7F"},
      {std::string("a\0b", 3), "a%00b"},
      {"😀", "%F0%9F%98%80"},
      {"\xff\xfe", "%FF%FE"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(browse::PercentEncode(in), out);
}

struct SearchCase {
  std::string typed;
  std::optional<std::string> query;  // what follows "keyboard=", none: no navigation
  std::string boxAfter;
};

TEST(Search, FollowsTheBoxRulesAndCarriesTheKeywordIntact) {
  const SearchCase cases[] = {
      {"3d肉蒲团", "3d%E8%82%89%E8%92%B2%E5%9B%A2", "3d肉蒲团"},
      {"", std::nullopt, "3d肉蒲团"},
      {"    ", std::nullopt, "3d肉蒲团"},
      {"\t", "%09", "\t"},  // only U+0020 counts as empty
      {"请输入片名", std::nullopt, "3d肉蒲团"},
      {"x请输入", std::nullopt, "3d肉蒲团"},
      {"  abc ", "%20%20abc%20", "  abc "},
      {"a&b #1", "a%26b%20%231", "a&b #1"},
      {"k=v+w%", "k%3Dv%2Bw%25", "k=v+w%"},
      {"😀\x07", "%F0%9F%98%80%07", "😀\x07"},
  };
  for (const auto& c : cases) {
    Harness h;
    auto& b = *h.ba1;
    const auto before = h.Window().navigations.size();
    b.sotext->NativeText(c.typed);
    b.sok_Click();
    EXPECT_EQ(b.sotext->Text(), c.boxAfter) << c.typed;
    if (c.query) {
      ASSERT_EQ(h.Window().navigations.size(), before + 1) << c.typed;
      EXPECT_EQ(h.Window().navigations.back(),
                kBase + "/e/search/?searchget=1&keyboard=" + *c.query + "&show=title");
    } else {
      EXPECT_EQ(h.Window().navigations.size(), before) << c.typed;
    }
  }
}

TEST(Search, AnEmptyBoxFillsFirstThenTheSecondClickSearches) {
  Harness h;
  auto& b = *h.ba1;
  b.sotext->NativeText(" ");
  const auto before = h.Window().navigations.size();
  b.sok_Click();
  EXPECT_EQ(h.Window().navigations.size(), before);
  b.sok_Click();
  EXPECT_EQ(h.Window().navigations.size(), before + 1);
}

TEST(Search, EnterIsSwallowedAndSearchesOtherKeysPass) {
  Harness h;
  auto& b = *h.ba1;
  b.sotext->NativeText("abc");
  int key = 'x';
  b.sotext_KeyPress(key);
  EXPECT_EQ(key, 'x');
  const auto before = h.Window().navigations.size();
  int enter = 13;
  forms::Event event{forms::EventKind::kKeyPress, b.sotext};
  event.keyAscii = &enter;
  b.Raise(event);
  EXPECT_EQ(enter, 0);
  ASSERT_EQ(h.Window().navigations.size(), before + 1);
  EXPECT_EQ(h.Window().navigations.back(), kBase + "/e/search/?searchget=1&keyboard=abc&show=title");
  EXPECT_EQ(Decode(b.sok->Image()->Pixel(0, 0)), (Decoded{5, 0, 0}));
}

TEST(Search, PromptIsClearedOnClickAndEmptyRefilledOnLeaving) {
  Harness h;
  auto& b = *h.ba1;
  b.sotext_Click();
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
  b.sotext->NativeText("请输入关键字");
  b.Raise({forms::EventKind::kClick, b.sotext});
  EXPECT_EQ(b.sotext->Text(), "");
  b.Raise({forms::EventKind::kLostFocus, b.sotext});
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
  b.sotext->NativeText("  ");
  b.Raise({forms::EventKind::kClick, nullptr});  // the window's own surface
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
  b.sotext->NativeText(" x ");
  b.sotext_LostFocus();
  EXPECT_EQ(b.sotext->Text(), " x ");
}

TEST(Search, HugeKeywordsSearchOrAreRefusedWithoutLosingTheText) {
  Harness h;
  auto& b = *h.ba1;
  const std::string big(64 * 1024, 'k');
  b.sotext->NativeText(big);
  b.sok_Click();
  EXPECT_EQ(h.Window().navigations.back().size(),
            kBase.size() + std::string("/e/search/?searchget=1&keyboard=&show=title").size() + big.size());
  const auto before = h.Window().navigations.size();
  std::string enormous;
  for (int i = 0; i < 120000; ++i) enormous += "肉";  // 360 KB, 1 MB once escaped
  b.sotext->NativeText(enormous);
  b.sok_Click();
  EXPECT_EQ(h.Window().navigations.size(), before);
  EXPECT_EQ(b.sotext->Text(), enormous);
}

}  // namespace
