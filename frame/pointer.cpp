// Pointer feedback on the picture buttons and link labels, and dragging the
// borderless window by its own surface.
#include "frame/ba1.h"
#include "frame/skin.h"

namespace frame {
namespace {

constexpr forms::ColorSetting kLabelNormal = forms::ColorSetting::Fixed(forms::Rgb(255, 255, 255));
// &H361212: red 18, green 18, blue 54.
constexpr forms::ColorSetting kLabelHot = forms::ColorSetting::Fixed(forms::Rgb(18, 18, 54));

// Both upper bounds count as inside: X = Width is one pixel past the button.
bool PointerInside(const forms::Control& button, int x, int y) {
  return x >= 0 && x <= button.Width() && y >= 0 && y <= button.Height();
}

}  // namespace

void BA1::LabelReset() {
  if (!labelHot) return;
  la[0]->SetForeColor(kLabelNormal);
  la[1]->SetForeColor(kLabelNormal);
  labelHot = false;
}

void BA1::HoverButton(forms::Control& button, bool inside, const Cell& hover, const Cell& normal) {
  // Drawn on every move, also when the look does not change.
  const Cell& c = inside ? hover : normal;
  ShowCell(button, *ppt[c.holder], c.x, c.y, c.w, c.h);
  if (inside) {
    Os().SetCapture(button.hWnd());
  } else {
    Os().ReleaseCapture();
  }
}

void BA1::npc_MouseMove(int Index, int, int, int X, int Y) {
  if (Index < 0 || Index > 13) return;
  LabelReset();
  // The selected category neither changes its look nor takes the capture.
  if (Index == selectedCategory) return;
  const bool inside = PointerInside(*npc[Index], X, Y);
  if (Index == 0) {
    HoverButton(*npc[0], inside, kCloseHover, kCloseNormal);
  } else if (Index == 1) {
    HoverButton(*npc[1], inside, kMinimizeHover, kMinimizeNormal);
  } else {
    HoverButton(*npc[Index], inside, CategoryCell(kCategoryHoverHolder, Index),
                CategoryCell(kCategoryNormalHolder, Index));
  }
}

void BA1::sok_MouseMove(int, int, int X, int Y) {
  LabelReset();
  HoverButton(*sok, PointerInside(*sok, X, Y), kSearchHover, kSearchNormal);
}

void BA1::sok_MouseDown(int Button, int, int, int) {
  if (Button != forms::kLeftButton) return;
  const Cell& c = kSearchPressed;
  ShowCell(*sok, *ppt[c.holder], c.x, c.y, c.w, c.h);
}

void BA1::sok_MouseUp(int Button, int, int, int) {
  if (Button != forms::kLeftButton) return;
  const Cell& c = kSearchNormal;
  ShowCell(*sok, *ppt[c.holder], c.x, c.y, c.w, c.h);
}

void BA1::la_MouseMove(int Index, int, int, int, int) {
  if (Index < 0 || Index > 1) return;  // the status label never changes
  la[Index]->SetForeColor(kLabelHot);
  // la(1) has no pointer picture of its own in the design.
  if (Index == 1) la[1]->SetMouseIcon(la[0]->SharedMouseIcon());
  labelHot = true;
}

void BA1::Form_MouseMove(int Button, int, int X, int Y) {
  LabelReset();
  // Strict bounds, and none at the bottom: the bottom band drags as well.
  if (Button != forms::kLeftButton || State() == forms::WindowState::kMaximized) return;
  if (X <= 3 || Y <= 3 || X >= ScaleWidth() - 3) return;
  Os().ReleaseCapture();
  Os().SendMessage(hWnd(), forms::kWmNcLButtonDown, static_cast<forms::WParam>(forms::kHtCaption),
                   0);
}

}  // namespace frame
