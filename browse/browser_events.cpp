// The browser's and the shown document's events: no dialogs of the engine's
// own, every loaded document bound, and the page's context menu replaced by
// ours.
#include "frame/ba1.h"
#include "tray/tip.h"

namespace frame {

void BA1::Web1_DownloadBegin() { Web1->SetSilent(true); }

void BA1::Web1_DownloadComplete() {
  // A document that is not HTML cannot be bound: nothing is then, and the
  // previous document's connection ends with the binding.
  M_M1 = Web1->Document();
  Web1->ConnectDocument(M_M1);
}

bool BA1::M_M1_oncontextmenu() {
  // Whatever fails on the way, the engine's own menu stays away.
  PopupMenu(tip().myMenu());
  return false;
}

}  // namespace frame
