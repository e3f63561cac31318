// The browser's and the shown document's events: no dialogs of the engine's
// own, every loaded document bound, the page's context menu replaced by
// ours, and our own page where a navigation failed.
#include "browse/error_page.h"
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

void BA1::Web1_NavigateError(std::string_view URL, forms::NavigateFailure Failure, int StatusCode) {
  // A load replaced or stopped leaves whatever shows; a status below 400
  // is the site's page, not an error.
  if (Failure == forms::NavigateFailure::kCancelled) return;
  if (Failure == forms::NavigateFailure::kHttpStatus && StatusCode < 400) return;
  Web1->ShowErrorPage(browse::ErrorPageHtml(URL, Failure, StatusCode), std::string(URL));
}

}  // namespace frame
