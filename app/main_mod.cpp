#include "app/main_mod.h"

#include <cmath>
#include <string>

#include "frame/inventory.h"

namespace Main_Mod {

std::unique_ptr<frame::BA1> Main(forms::Platform& platform) {
  // The application's title names it to other instances.
  platform.SetAppTitle(std::string(frame::kCaption));
  auto ba1 = std::make_unique<frame::BA1>(platform);
  ba1->CreateNative();
  ba1->Form_Load();
  if (platform.Ended()) return ba1;  // a second instance: nothing more runs
  ba1->StartLink();
  ba1->Show();
  return ba1;
}

void SetRoundRegion(forms::Form& form) {
  auto& os = form.Os();
  const int w = static_cast<int>(
      std::lround(static_cast<double>(form.Width()) / os.TwipsPerPixelX()));
  const int h = static_cast<int>(
      std::lround(static_cast<double>(form.Height()) / os.TwipsPerPixelY()));
  forms::RegionHandle region = os.CreateRoundRectRgn(0, 0, w + 1, h + 1, 4, 4);
  os.SetWindowRgn(form.hWnd(), region, true);
}

}  // namespace Main_Mod
