#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "frame/inventory.h"
#include "test_support.h"

namespace {

using forms::ControlKind;

std::string Id(const forms::Control& c) {
  return c.Index() < 0 ? c.Name() : c.Name() + "(" + std::to_string(c.Index()) + ")";
}

TEST(Inventory, ControlsAreCreatedInDesignOrderInTheirContainers) {
  testing_support::Harness h(/*load=*/false);
  std::vector<std::string> order;
  std::map<std::string, std::string> containers;
  for (const auto& c : h.ba1->Controls()) {
    order.push_back(Id(*c));
    containers[Id(*c)] = c->Container() ? Id(*c->Container()) : "BA1";
  }
  const std::vector<std::string> expected = {
      "ppt(5)", "sok", "sotext", "zz", "Pic2", "Web1", "Pic1", "npc(13)", "npc(12)", "npc(11)",
      "npc(10)", "npc(9)", "npc(8)", "npc(7)", "npc(6)", "npc(5)", "npc(4)", "npc(3)", "npc(2)",
      "ppt(1)", "ppt(0)", "ppt(2)", "ppt(3)", "ppt(4)", "npc(0)", "npc(1)", "dde", "logo", "la(2)",
      "la(1)", "la(0)", "so"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(containers["Pic2"], "zz");
  EXPECT_EQ(containers["Pic1"], "zz");
  EXPECT_EQ(containers["Web1"], "Pic2");
  for (int k = 2; k <= 13; ++k) EXPECT_EQ(containers["npc(" + std::to_string(k) + ")"], "Pic1");
  for (const char* top : {"npc(0)", "npc(1)", "sok", "sotext", "zz", "dde", "logo", "so", "la(0)",
                          "ppt(0)", "ppt(5)"}) {
    EXPECT_EQ(containers[top], "BA1") << top;
  }
}

TEST(Inventory, DesignGeometryIsTheTwipsTableInPixels) {
  testing_support::Harness h(/*load=*/false, /*skins=*/false);
  auto& b = *h.ba1;
  struct Case {
    forms::Control* control;
    forms::Rect rect;
  };
  const Case cases[] = {
      {b.ppt[5], {136, 384, 17, 17}}, {b.sok, {568, 72, 49, 25}},   {b.sotext, {256, 80, 289, 18}},
      {b.zz, {16, 128, 305, 129}},    {b.Pic2, {216, 16, 81, 73}},  {b.Web1, {16, 8, 57, 49}},
      {b.Pic1, {24, 16, 169, 97}},    {b.npc[7], {136, 16, 17, 17}}, {b.npc[2], {16, 16, 17, 17}},
      {b.npc[13], {136, 56, 17, 17}}, {b.npc[8], {16, 56, 17, 17}}, {b.ppt[1], {40, 384, 17, 17}},
      {b.ppt[0], {16, 384, 17, 17}},  {b.ppt[4], {112, 384, 17, 17}}, {b.npc[0], {16, 416, 17, 17}},
      {b.npc[1], {40, 416, 17, 17}},  {b.dde, {24, 464, 17, 17}},   {b.logo, {24, 8, 180, 81}},
      {b.la[2], {360, 160, 168, 12}}, {b.la[1], {416, 128, 48, 12}}, {b.la[0], {360, 128, 48, 12}},
      {b.so, {248, 72, 303, 28}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.control->Bounds(), c.rect) << Id(*c.control);
  EXPECT_EQ(b.ScaleWidth(), 878);
  EXPECT_EQ(b.ScaleHeight(), 617);
}

TEST(Inventory, SettingsFollowTheDesign) {
  testing_support::Harness h(/*load=*/false, /*skins=*/false);
  auto& b = *h.ba1;
  EXPECT_EQ(b.Caption(), "Kivo手机电影下载器");
  EXPECT_EQ(b.BackColor(), forms::ColorSetting::Fixed(forms::Rgb(118, 207, 233)));
  EXPECT_EQ(b.LinkTopic(), "BA1");
  EXPECT_EQ(b.LinkMode(), 1);
  EXPECT_EQ(b.sotext->Text(), "3d肉蒲团");
  EXPECT_EQ(b.la[0]->Text(), "求片专区");
  EXPECT_EQ(b.la[1]->Text(), "问题反馈");
  EXPECT_EQ(b.la[2]->Text(), "Kivo手机电影下载器 2011 Beta1");
  const auto white = forms::ColorSetting::Fixed(forms::Rgb(255, 255, 255));
  EXPECT_EQ(b.la[0]->ForeColor(), white);
  EXPECT_EQ(b.la[1]->ForeColor(), white);
  EXPECT_EQ(b.la[2]->ForeColor(), forms::ColorSetting::Fixed(0));
  EXPECT_EQ(b.la[0]->Pointer(), forms::MousePointer::kCustom);
  EXPECT_EQ(b.la[1]->Pointer(), forms::MousePointer::kCustom);
  EXPECT_EQ(b.la[2]->Pointer(), forms::MousePointer::kDefault);
  EXPECT_EQ(b.sok->BackColor(), white);
  EXPECT_EQ(b.zz->BackColor(), white);
  EXPECT_EQ(b.Pic2->BackColor(), forms::ColorSetting::Fixed(forms::Rgb(192, 255, 192)));
  EXPECT_EQ(b.Pic1->BackColor(), forms::ColorSetting::Fixed(forms::Rgb(0, 153, 218)));

  for (const auto& c : b.Controls()) {
    const std::string& n = c->Name();
    const bool persistent = n == "npc" || n == "ppt" || n == "sok";
    EXPECT_EQ(c->AutoRedraw(), persistent) << Id(*c);
    EXPECT_EQ(c->Image() != nullptr, persistent) << Id(*c);
    EXPECT_EQ(c->Scale(), n == "dde" ? forms::ScaleMode::kTwips : forms::ScaleMode::kPixels);
    EXPECT_EQ(c->Visible(), n != "ppt" && n != "dde") << Id(*c);
    if (n == "npc" || n == "ppt") {
      EXPECT_EQ(c->BackColor(), forms::ColorSetting::System(forms::SysColor::kWindow));
    }
  }
  // Before the skins are loaded a button is a plain rectangle of its colour.
  EXPECT_EQ(b.npc[3]->Image()->Pixel(0, 0), h.platform.windowColor);
  EXPECT_EQ(b.sok->Image()->Pixel(5, 5), forms::Rgb(255, 255, 255));
}

TEST(Inventory, TabOrderSkipsNothingAndLabelsAndImagesNeverTakeFocus) {
  testing_support::Harness h(/*load=*/false, /*skins=*/false);
  std::map<int, std::string> byTab;
  for (const auto& c : h.ba1->Controls()) {
    if (c->TabIndex() >= 0) {
      EXPECT_TRUE(byTab.emplace(c->TabIndex(), Id(*c)).second) << "duplicate " << c->TabIndex();
    }
  }
  std::vector<std::string> order;
  for (auto& [tab, id] : byTab) order.push_back(id);
  const std::vector<std::string> expected = {
      "dde", "npc(1)", "npc(0)", "ppt(4)", "ppt(3)", "ppt(2)", "ppt(0)", "ppt(1)", "zz", "Pic1",
      "Pic2", "Web1", "la(0)", "la(1)", "la(2)", "npc(2)", "npc(3)", "npc(4)", "npc(5)", "npc(6)",
      "npc(7)", "npc(8)", "npc(9)", "npc(10)", "npc(11)", "npc(12)", "npc(13)", "sotext", "sok",
      "ppt(5)"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(h.ba1->logo->TabIndex(), -1);
  EXPECT_EQ(h.ba1->so->TabIndex(), -1);
}

TEST(Inventory, DesignPicturesSizeTheirImagesAndFallBackToTheDesign) {
  fake::FakePlatform platform;
  platform.designPictures["so"] = testing_support::EncodedPicture(0, 310, 30);
  frame::BA1 withArt(platform);
  EXPECT_EQ(withArt.so->Width(), 310);
  EXPECT_EQ(withArt.so->Height(), 30);
  EXPECT_EQ(withArt.logo->Width(), 180);  // missing: the design size stands
  EXPECT_EQ(withArt.la[1]->MouseIcon(), nullptr);
}

}  // namespace
