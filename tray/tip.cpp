#include "tray/tip.h"

#include <cstdlib>
#include <string>

#include "browse/addresses.h"
#include "frame/ba1.h"

namespace tray {
namespace {

using MenuHandler = void (tip::*)();

// Which command runs for which menu item; separators and roots have none.
struct MenuRoute {
  std::string_view name;
  MenuHandler handler;
};

constexpr MenuRoute kMenuRoutes[] = {
    {"xian", &tip::xian_Click},   {"guanf", &tip::guanf_Click}, {"about", &tip::about_Click},
    {"qsoft", &tip::qsoft_Click}, {"ht", &tip::ht_Click},       {"qj", &tip::qj_Click},
    {"sx", &tip::sx_Click},       {"zy", &tip::zy_Click},
};

}  // namespace

tip::tip(forms::Platform& platform, frame::BA1& main) : Form(platform, "tip"), main_(&main) {}

void tip::Load() {
  if (Loaded()) return;
  auto& os = Os();
  forms::FormDesign design;
  design.caption = std::string(kTipCaption);
  design.backColor = forms::ColorSetting::System(forms::SysColor::kButtonFace);
  design.clientWidthPx = kTipClientWidthTwips / os.TwipsPerPixelX();
  design.clientHeightPx = kTipClientHeightTwips / os.TwipsPerPixelY();
  design.border = forms::BorderStyle::kFixedDialog;
  design.showInTaskbar = false;
  design.startUpPosition = forms::StartUpPosition::kCenterScreen;
  SetDesign(std::move(design));
  for (const auto& entry : kTipControls) {
    auto& control = AddControl(entry.kind, std::string(entry.name), entry.index, nullptr,
                               frame::ToDesign(os, entry));
    const std::string_view name = entry.name;
    if (name == "Command1")
      Command1 = &control;
    else if (name == "Label1")
      Label1 = &control;
    else if (name == "Label2")
      Label2 = &control;
    else if (name == "Label3")
      Label3 = &control;
    else if (name == "Image1")
      Image1 = &control;
  }
  // Read as the box shows them: its texts, its button, the program's picture.
  for (forms::Control* label : {Label1, Label2, Label3}) {
    label->SetAccessible(forms::AccRole::kStaticText, label->Text());
  }
  Command1->SetAccessible(forms::AccRole::kPushButton, Command1->Text());
  Image1->SetAccessible(forms::AccRole::kImage, std::string(frame::kCaption));
  AddMenus(kTipMenus);
  CreateNative();
  Form_Load();
}

void tip::OnUnloaded() { Command1 = Label1 = Label2 = Label3 = Image1 = nullptr; }

forms::Menu& tip::LoadedMenu(std::string_view name) {
  Load();
  forms::Menu* menu = FindMenu(name);
  // The tree is constant data: a missing root is a programming error.
  if (!menu) std::abort();
  return *menu;
}

forms::Menu& tip::r_m() { return LoadedMenu("r_m"); }
forms::Menu& tip::myMenu() { return LoadedMenu("myMenu"); }

void tip::Form_Load() { SetIcon(main_->Icon()); }

void tip::Command1_Click() { Unload(); }

void tip::xian_Click() {
  main_->SetVisible(true);
  if (main_->State() == forms::WindowState::kMinimized) {
    main_->SetWindowState(forms::WindowState::kNormal);
  }
}

void tip::guanf_Click() {
  Os().ShellExecute(hWnd(), "open", browse::OfficialSiteUrl, "", "", forms::kSwShowNormal);
}

void tip::about_Click() {
  Show(0, main_);
  SetFocus();
}

void tip::qsoft_Click() { ExitAsking(); }

void tip::ExitAsking() {
  // Ending the program ends its downloads: the one question the program
  // asks, and only then.
  forms::Platform& os = Os();
  if (const int running = os.RunningDownloads(); running > 0) {
    const std::string text = "还有 " + std::to_string(running) +
                             " 个下载没有完成。退出软件会取消这些下载，确定要退出吗？";
    const int answer =
        os.MsgBox(main_->hWnd(), text, os.AppTitle(),
                      forms::kMbOkCancel | forms::kMbIconQuestion | forms::kMbDefButton2);
    if (answer != forms::kIdOk) return;
    os.CancelDownloads();
  }
  main_->ttt_v();
}

void tip::ht_Click() { main_->Web1->GoBack(); }

void tip::qj_Click() { main_->Web1->GoForward(); }

void tip::sx_Click() { main_->Web1->Refresh(); }

void tip::zy_Click() {
  main_->Web1->Navigate(browse::AddressOf(browse::Destination::kHomeCommand));
}

void tip::OnEvent(const forms::Event& event) {
  if (event.menu) {
    for (const MenuRoute& route : kMenuRoutes) {
      if (route.name == event.menu->Name()) {
        (this->*route.handler)();
        return;
      }
    }
    return;
  }
  if (event.kind == forms::EventKind::kClick && event.source && event.source == Command1) {
    Command1_Click();
  }
}

}  // namespace tray
