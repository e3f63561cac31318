// Loading the skin pictures and painting the frame and the buttons from them.
#include "frame/skin.h"

#include "app/main_mod.h"
#include "frame/ba1.h"

namespace frame {

void BA1::p_p(int skinSet) {
  for (int i = 0; i <= 5; ++i) {
    const int id = skinSet * 100 + i + 101;
    // A picture that does not load is skipped; its holder keeps what it had.
    if (auto picture = Os().LoadBitmapResource(id); picture && picture->Valid()) {
      ppt[i]->LoadPicture(*picture);
    }
  }
  PaintButtons();
}

void BA1::PlaceControls() {
  const int sw = ScaleWidth();
  const int sh = ScaleHeight();
  npc[0]->Move(sw - 43, 0, 37, 19);
  npc[1]->Move(npc[0]->Left() - 27, 0, 27, 19);
  npc[2]->Move(0, 0, 130, kCategoryRow);
  for (int k = 3; k <= 13; ++k) npc[k]->Move(0, npc[k - 1]->Top() + kCategoryRow, 130, kCategoryRow);
  logo->Move(10, 2);
  so->Move(300, 35);
  sok->Move(so->Width() + 308, 35, 72, 28);
  sotext->Move(so->Left() + 8, so->Top() + 7, so->Width() - 16, 18);
  la[0]->Move(sok->Left() + 98, 45);
  la[1]->Move(la[0]->Left() + 60, 45);
  la[2]->Move(20, sh - 20);
}

void BA1::PaintButtons() {
  PlaceControls();
  auto copy = [this](forms::Control& button, const Cell& cell) {
    Os().BitBlt(button.hDC(), 0, 0, cell.w, cell.h, ppt[cell.holder]->hDC(), cell.x, cell.y,
                forms::kSrcCopy);
  };
  copy(*npc[1], kMinimizeNormal);
  copy(*npc[0], kCloseNormal);
  for (int k = 2; k <= 13; ++k) {
    copy(*npc[k], CategoryCell(k == 2 ? kCategorySelectedHolder : kCategoryNormalHolder, k));
  }
  npc[0]->Refresh();
  npc[1]->Refresh();
  copy(*sok, kSearchNormal);
  sok->Refresh();
}

void BA1::PaintFrame() {
  Cls();
  for (const auto& piece : kFramePieces) {
    // The size is read afresh for every piece, as the copies would see it.
    const int sw = ScaleWidth();
    const int sh = ScaleHeight();
    Os().StretchBlt(hDC(), piece.x.At(sw, sh), piece.y.At(sw, sh), piece.w.At(sw, sh),
                    piece.h.At(sw, sh), ppt[0]->hDC(), piece.sx, piece.sy, piece.sw, piece.sh,
                    forms::kSrcCopy);
  }
  Refresh();
  Main_Mod::SetRoundRegion(*this);
}

}  // namespace frame
