#include "app/main_mod.h"

#include <cmath>

namespace Main_Mod {

std::unique_ptr<frame::BA1> Main(forms::Platform& platform) {
  auto ba1 = std::make_unique<frame::BA1>(platform);
  ba1->CreateNative();
  ba1->Form_Load();
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
