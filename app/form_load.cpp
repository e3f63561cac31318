// The main window's load handler, in its two roles: a second instance hands
// its command line to the running one and ends; the first runs the
// start-up. And the receiving end of that hand-off.
#include <string>

#include "browse/addresses.h"
#include "frame/ba1.h"
#include "frame/inventory.h"
#include "frame/module1.h"
#include "tray/modtray.h"
#include "tray/tip.h"

namespace frame {
namespace {

constexpr int kStartWidthTwips = 13320;
constexpr int kStartHeightTwips = 10500;

}  // namespace

void BA1::Form_Load() {
  if (Os().Link().PrevInstance()) {
    SecondInstance();
  } else {
    FirstInstance();
  }
}

void BA1::SecondInstance() {
  // From here this instance offers no topic of its own.
  SetLinkTopic("");
  SetLinkMode(0);
  // Every step that fails is skipped: the instance ends whatever happens.
  dde->SetLinkTopic(std::string(kCaption) + "|" + std::string(kLinkTopic));
  dde->SetLinkMode(2);
  dde->LinkExecute(Os().CommandLine());
  Os().End();
}

void BA1::FirstInstance() {
  auto& os = Os();
  forms::RectL workArea{};
  os.SystemParametersInfo(forms::kSpiGetWorkArea, 1, &workArea, 0);
  Module1::HookMinMax(os, hWnd(), 0, 0, workArea.right - workArea.left,
                      workArea.bottom - workArea.top, workArea.left, workArea.top);

  const std::intptr_t style = os.GetWindowLongPtr(hWnd(), forms::kGwlStyle);
  os.SetWindowLongPtr(hWnd(), forms::kGwlStyle,
                      style | forms::kWsMinimizeBox | forms::kWsMaximizeBox);

  p_p(0);

  SetWidth(kStartWidthTwips);
  SetHeight(kStartHeightTwips);

  Navigate(browse::AddressOf(browse::Destination::kHomeAtLoad));

  // Taking the tray menu loads the about box, hidden, which owns it.
  modTray::AddTrayIcon(*this, tip().r_m(), Caption());

  labelHot = false;
  selectedCategory = 2;
  npc[selectedCategory]->SetChecked(true);
}

void BA1::Form_LinkExecute(std::string_view, int& Cancel) {
  // Accepted; the command itself is never interpreted.
  Cancel = 0;
  // Hidden to the tray or behind other windows: shown again, in front.
  Hide();
  Show();
  if (State() == forms::WindowState::kMinimized) SetWindowState(forms::WindowState::kNormal);
}

}  // namespace frame
