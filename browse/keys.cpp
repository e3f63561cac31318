// The browser's keyboard: history, reload, stop and the way into the search
// field. The form sees these keys before the focused control does, except
// in the page, which sees them first and hands on those it did not use.
#include "frame/ba1.h"

namespace frame {
namespace {

using forms::kAltMask;
using forms::kCtrlMask;
using forms::kShiftMask;

constexpr int kKeyF = 'F';
constexpr int kKeyJ = 'J';
constexpr int kKeyR = 'R';

}  // namespace

void BA1::Form_KeyDown(int& KeyCode, int Shift) {
  const int mods = Shift & (kShiftMask | kCtrlMask | kAltMask);
  // Typing in a text box keeps its Backspace; the page's own fields never
  // hand theirs on.
  const forms::Control* focused = Focused();
  const bool inTextBox = focused && focused->Kind() == forms::ControlKind::kTextBox;
  // Back and forward at the end of the history do nothing, as the page
  // menu's do, yet the key is still the browser's.
  if (KeyCode == forms::kVkLeft && mods == kAltMask) {
    Web1->GoBack();
  } else if (KeyCode == forms::kVkRight && mods == kAltMask) {
    Web1->GoForward();
  } else if (KeyCode == forms::kVkBack && mods == 0 && !inTextBox) {
    Web1->GoBack();
  } else if (KeyCode == forms::kVkF5 && (mods == 0 || mods == kCtrlMask)) {
    Web1->Refresh();
  } else if (KeyCode == kKeyR && (mods == kCtrlMask || mods == (kCtrlMask | kShiftMask))) {
    Web1->Refresh();
  } else if (KeyCode == forms::kVkEscape && mods == 0) {
    Web1->Stop();
  } else if (KeyCode == kKeyF && mods == kCtrlMask) {
    // Whatever is typed next replaces the keyword; Enter then searches.
    sotext->SetFocus();
    sotext->SetSelStart(0);
    sotext->SetSelLength(forms::CharCount(sotext->Text()));
  } else if (KeyCode == kKeyJ && mods == kCtrlMask) {
    // The downloads, as browsers bring them back; a closed list returns.
    if (!Os().ShowDownloads()) return;
  } else {
    return;
  }
  KeyCode = 0;
}

}  // namespace frame
