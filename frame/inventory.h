// The main window's design: its own settings and every child control in
// creation order, as the window designer stored them (lengths in twips).
// BA1 walks this table to build itself; nothing else creates controls.
#pragma once

#include <array>
#include <string_view>

#include "forms/control.h"
#include "forms/types.h"

namespace frame {

inline constexpr std::string_view kCaption = "Kivo手机电影下载器";
inline constexpr forms::Color kBodyColor = forms::Rgb(118, 207, 233);
inline constexpr int kDesignClientWidthTwips = 13170;
inline constexpr int kDesignClientHeightTwips = 9255;
inline constexpr std::string_view kLinkTopic = "BA1";
inline constexpr int kIconResource = 1;
inline constexpr int kLinkMode = 1;
inline constexpr std::string_view kStatusText = "Kivo手机电影下载器 2011 Beta1";
inline constexpr std::string_view kDefaultKeyword = "3d肉蒲团";

inline constexpr forms::ColorSetting kWindowColor =
    forms::ColorSetting::System(forms::SysColor::kWindow);
inline constexpr forms::ColorSetting kWindowTextColor =
    forms::ColorSetting::System(forms::SysColor::kWindowText);
inline constexpr forms::ColorSetting Fixed(int r, int g, int b) {
  return forms::ColorSetting::Fixed(forms::Rgb(r, g, b));
}

struct ControlDesign {
  std::string_view name;
  int index;  // -1 outside a control array
  forms::ControlKind kind;
  std::string_view container;  // "" for the window itself
  int left, top, width, height;  // twips
  bool visible;
  forms::ColorSetting backColor;
  forms::ColorSetting foreColor;
  std::string_view text;
  forms::MousePointer pointer;
  bool autoRedraw;
  bool autoSize;
  forms::ScaleMode scaleMode;
  int tabIndex;  // -1: never takes the focus
  std::string_view picture;    // design picture of an image control
  std::string_view mouseIcon;  // design cursor
};

// The control's run-time settings from its design row (twips to pixels,
// design pictures loaded).
forms::Control::Design ToDesign(forms::Platform& os, const ControlDesign& entry);

using K = forms::ControlKind;
using P = forms::MousePointer;
inline constexpr auto kPx = forms::ScaleMode::kPixels;
inline constexpr auto kTw = forms::ScaleMode::kTwips;
inline constexpr auto kWhite = Fixed(255, 255, 255);

// Tab order: dde, npc(1), npc(0), ppt(4), ppt(3), ppt(2), ppt(0), ppt(1), zz,
// Pic1, Pic2, Web1, la(0), la(1), la(2), npc(2)..npc(13), sotext, sok, ppt(5).
inline constexpr std::array<ControlDesign, 32> kControls{{
    {"ppt", 5, K::kPictureBox, "", 2040, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 29, "", ""},
    {"sok", -1, K::kPictureBox, "", 8520, 1080, 735, 375, true, kWhite, kWindowTextColor, "", P::kDefault, true, false, kPx, 28, "", ""},
    {"sotext", -1, K::kTextBox, "", 3840, 1200, 4335, 270, true, kWindowColor, kWindowTextColor, kDefaultKeyword, P::kDefault, false, false, kPx, 27, "", ""},
    {"zz", -1, K::kPictureBox, "", 240, 1920, 4575, 1935, true, kWhite, kWindowTextColor, "", P::kDefault, false, false, kPx, 8, "", ""},
    {"Pic2", -1, K::kPictureBox, "zz", 3240, 240, 1215, 1095, true, Fixed(192, 255, 192), kWindowTextColor, "", P::kDefault, false, false, kPx, 10, "", ""},
    {"Web1", -1, K::kWebBrowser, "Pic2", 240, 120, 855, 735, true, kWindowColor, kWindowTextColor, "", P::kDefault, false, false, kPx, 11, "", ""},
    {"Pic1", -1, K::kPictureBox, "zz", 360, 240, 2535, 1455, true, Fixed(0, 153, 218), kWindowTextColor, "", P::kDefault, false, false, kPx, 9, "", ""},
    {"npc", 13, K::kPictureBox, "Pic1", 2040, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 26, "", ""},
    {"npc", 12, K::kPictureBox, "Pic1", 1680, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 25, "", ""},
    {"npc", 11, K::kPictureBox, "Pic1", 1320, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 24, "", ""},
    {"npc", 10, K::kPictureBox, "Pic1", 960, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 23, "", ""},
    {"npc", 9, K::kPictureBox, "Pic1", 600, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 22, "", ""},
    {"npc", 8, K::kPictureBox, "Pic1", 240, 840, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 21, "", ""},
    {"npc", 7, K::kPictureBox, "Pic1", 2040, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 20, "", ""},
    {"npc", 6, K::kPictureBox, "Pic1", 1680, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 19, "", ""},
    {"npc", 5, K::kPictureBox, "Pic1", 1320, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 18, "", ""},
    {"npc", 4, K::kPictureBox, "Pic1", 960, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 17, "", ""},
    {"npc", 3, K::kPictureBox, "Pic1", 600, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 16, "", ""},
    {"npc", 2, K::kPictureBox, "Pic1", 240, 240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 15, "", ""},
    {"ppt", 1, K::kPictureBox, "", 600, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 7, "", ""},
    {"ppt", 0, K::kPictureBox, "", 240, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 6, "", ""},
    {"ppt", 2, K::kPictureBox, "", 960, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 5, "", ""},
    {"ppt", 3, K::kPictureBox, "", 1320, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 4, "", ""},
    {"ppt", 4, K::kPictureBox, "", 1680, 5760, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, true, true, kPx, 3, "", ""},
    {"npc", 0, K::kPictureBox, "", 240, 6240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 2, "", ""},
    {"npc", 1, K::kPictureBox, "", 600, 6240, 255, 255, true, kWindowColor, kWindowTextColor, "", P::kDefault, true, false, kPx, 1, "", ""},
    {"dde", -1, K::kPictureBox, "", 360, 6960, 255, 255, false, kWindowColor, kWindowTextColor, "", P::kDefault, false, false, kTw, 0, "", ""},
    {"logo", -1, K::kImage, "", 360, 120, 2700, 1215, true, kWindowColor, kWindowTextColor, "", P::kDefault, false, false, kPx, -1, "logo", ""},
    {"la", 2, K::kLabel, "", 5400, 2400, 2520, 180, true, kWindowColor, Fixed(0, 0, 0), kStatusText, P::kDefault, false, true, kPx, 14, "", ""},
    {"la", 1, K::kLabel, "", 6240, 1920, 720, 180, true, kWindowColor, kWhite, "问题反馈", P::kCustom, false, true, kPx, 13, "", ""},
    {"la", 0, K::kLabel, "", 5400, 1920, 720, 180, true, kWindowColor, kWhite, "求片专区", P::kCustom, false, true, kPx, 12, "", "hand"},
    {"so", -1, K::kImage, "", 3720, 1080, 4545, 420, true, kWindowColor, kWindowTextColor, "", P::kDefault, false, false, kPx, -1, "so", ""},
}};

// What assistive technology reads of the frame: a role and a name per
// control, the names being the words the skin paints. The rest (the skin
// holders, the link's control, the frame's layout boxes, the search
// field's picture frame) is not exposed.
struct AccessibleDesign {
  std::string_view name;
  int index;
  forms::AccRole role;
  std::string_view accName;
};
using R = forms::AccRole;
inline constexpr std::array<AccessibleDesign, 22> kAccessible{{
    {"logo", -1, R::kImage, kCaption},
    {"npc", 1, R::kPushButton, "最小化"},
    {"npc", 0, R::kPushButton, "关闭"},
    {"Pic1", -1, R::kGroup, "影片分类"},
    {"Web1", -1, R::kPageArea, "影片网页"},
    {"la", 0, R::kLink, "求片专区"},
    {"la", 1, R::kLink, "问题反馈"},
    {"la", 2, R::kStaticText, kStatusText},
    {"npc", 2, R::kRadioButton, "热门影片"},
    {"npc", 3, R::kRadioButton, "今日更新"},
    {"npc", 4, R::kRadioButton, "下载排行"},
    {"npc", 5, R::kRadioButton, "手机电影"},
    {"npc", 6, R::kRadioButton, "手机剧集"},
    {"npc", 7, R::kRadioButton, "手机动漫"},
    {"npc", 8, R::kRadioButton, "手机MTV"},
    {"npc", 9, R::kRadioButton, "手机综艺"},
    {"npc", 10, R::kRadioButton, "高清电影"},
    {"npc", 11, R::kRadioButton, "手机动作片"},
    {"npc", 12, R::kRadioButton, "手机爱情片"},
    {"npc", 13, R::kRadioButton, "手机恐怖片"},
    {"sotext", -1, R::kEntry, "搜索影片"},
    {"sok", -1, R::kPushButton, "搜索"},
}};

}  // namespace frame
