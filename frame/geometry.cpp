// Laying out the panes whenever the main window changes size.
#include "frame/ba1.h"

namespace frame {

void BA1::Form_Resize() {
  if (State() == forms::WindowState::kMinimized) return;
  const int sw = ScaleWidth();
  const int sh = ScaleHeight();
  // Below 142 x 115 the panes would get negative sizes; Move clamps them to
  // zero, and the frame copies clip to the window's image.
  zz->Move(6, 85, sw - 12, sh - 115);
  Pic1->Move(0, 0, 130, zz->ScaleHeight());
  Pic2->Move(130, 0, zz->ScaleWidth() - 130, zz->ScaleHeight());
  Web1->Move(-2, -2, Pic2->ScaleWidth() + 4, Pic2->ScaleHeight() + 4);
  PaintFrame();
  PlaceControls();
}

}  // namespace frame
