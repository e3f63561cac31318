// Clicks on the caption and category buttons and on the link labels.
#include "browse/addresses.h"
#include "frame/ba1.h"
#include "frame/skin.h"

namespace frame {

void BA1::npc_Click(int Index) {
  if (Index < 0 || Index > 13 || Index == selectedCategory) return;
  if (Index == 0) {
    ShowCell(*npc[0], *ppt[1], kCloseNormal.x, kCloseNormal.y, kCloseNormal.w, kCloseNormal.h);
    CloseToTray();
    return;
  }
  if (Index == 1) {
    ShowCell(*npc[1], *ppt[1], kMinimizeNormal.x, kMinimizeNormal.y, kMinimizeNormal.w,
             kMinimizeNormal.h);
    SetWindowState(forms::WindowState::kMinimized);
    return;
  }
  const Cell selected = CategoryCell(kCategorySelectedHolder, Index);
  ShowCell(*npc[Index], *ppt[selected.holder], selected.x, selected.y, selected.w, selected.h);
  const Cell normal = CategoryCell(kCategoryNormalHolder, selectedCategory);
  ShowCell(*npc[selectedCategory], *ppt[normal.holder], normal.x, normal.y, normal.w, normal.h);
  npc[selectedCategory]->SetChecked(false);
  npc[Index]->SetChecked(true);
  selectedCategory = Index;
  Navigate(browse::AddressOf(*browse::CategoryDestination(Index)));
}

void BA1::la_Click(int Index) {
  if (Index != 2) Navigate(browse::AddressOf(browse::Destination::kGuestbook));
  const auto white = forms::ColorSetting::Fixed(forms::Rgb(255, 255, 255));
  la[0]->SetForeColor(white);
  la[1]->SetForeColor(white);
  labelHot = false;
}

}  // namespace frame
