// The window tip: the about box, and the owner of the program's two popup
// menus (the tray menu r_m and the page menu myMenu) with their commands.
// It is loaded hidden whenever a menu is needed and unloaded when the about
// box closes.
#pragma once

#include <array>
#include <string_view>

#include "forms/form.h"
#include "forms/menu.h"
#include "frame/inventory.h"

namespace frame {
class BA1;
}

namespace tray {

inline constexpr std::string_view kTipCaption = "关于我们";
inline constexpr int kTipClientWidthTwips = 4470;
inline constexpr int kTipClientHeightTwips = 2475;
inline constexpr std::string_view kContactText = "联系邮箱 kf@example.org";
inline constexpr std::string_view kOwnershipText = "example.org 版权所有";

// The controls, in creation order (lengths in twips).
inline constexpr std::array<frame::ControlDesign, 5> kTipControls{{
    {"Command1", -1, frame::K::kCommandButton, "", 1800, 1680, 1215, 495, true,
     forms::ColorSetting::System(forms::SysColor::kButtonFace), frame::kWindowTextColor, "关闭",
     frame::P::kDefault, false, false, frame::kPx, 3, "", ""},
    {"Label3", -1, frame::K::kLabel, "", 1680, 1200, 2160, 180, true,
     forms::ColorSetting::System(forms::SysColor::kButtonFace), frame::kWindowTextColor,
     kContactText, frame::P::kDefault, false, false, frame::kPx, 2, "", ""},
    {"Label2", -1, frame::K::kLabel, "", 1680, 840, 1800, 180, true,
     forms::ColorSetting::System(forms::SysColor::kButtonFace), frame::kWindowTextColor,
     kOwnershipText, frame::P::kDefault, false, false, frame::kPx, 1, "", ""},
    {"Label1", -1, frame::K::kLabel, "", 1680, 480, 2520, 180, true,
     forms::ColorSetting::System(forms::SysColor::kButtonFace), frame::kWindowTextColor,
     frame::kStatusText, frame::P::kDefault, false, false, frame::kPx, 0, "", ""},
    {"Image1", -1, frame::K::kImage, "", 240, 360, 1200, 1200, true,
     forms::ColorSetting::System(forms::SysColor::kButtonFace), frame::kWindowTextColor, "",
     frame::P::kDefault, false, false, frame::kPx, -1, "about", ""},
}};

// The menu tree, in order. The roots are invisible: tip has no menu bar and
// only pops them up.
inline constexpr std::array<forms::MenuDesign, 13> kTipMenus{{
    {"myMenu", "myMenu", 0, false},
    {"ht", "后退", 1},
    {"qj", "前进", 1},
    {"sx", "刷新", 1},
    {"sss", "-", 1},
    {"zy", "主页", 1},
    {"r_m", "r_m", 0, false},
    {"xian", "显示窗口", 1},
    {"guanf", "官方主页", 1},
    {"sttg", "-", 1},
    {"about", "关于我们", 1},
    {"aa122", "-", 1},
    {"qsoft", "退出软件", 1},
}};

class tip : public forms::Form {
 public:
  tip(forms::Platform& platform, frame::BA1& main);

  // Builds the controls and menus and creates the window, hidden, then runs
  // the load handler; nothing when already loaded.
  void Load() override;

  // The menus, loading the window hidden if it is not loaded.
  forms::Menu& r_m();
  forms::Menu& myMenu();

  forms::Control* Command1 = nullptr;
  forms::Control* Label1 = nullptr;
  forms::Control* Label2 = nullptr;
  forms::Control* Label3 = nullptr;
  forms::Control* Image1 = nullptr;

  // Handlers.
  void Form_Load();
  void Command1_Click();
  void xian_Click();
  void guanf_Click();
  void about_Click();
  void qsoft_Click();
  // The exit sequence, asking first while downloads run: the tray menu's
  // exit, and the close button's where there is no tray to hide into.
  void ExitAsking();
  void ht_Click();
  void qj_Click();
  void sx_Click();
  void zy_Click();

 protected:
  void OnEvent(const forms::Event& event) override;
  void OnUnloaded() override;

 private:
  forms::Menu& LoadedMenu(std::string_view name);

  frame::BA1* main_;
};

}  // namespace tray
