// The form's input on Win32: raw pointer messages of its windows into the
// form's router, the pointer shown over its surface, the capture the system
// takes away, focus moves inside the window and the Tab order. Implemented:
// mouse buttons and moves, the surface's arrow and custom pointers, focus of
// the windowed controls (the browser's inner windows found after input),
// Enter and Space on a focused picture box as its click, the first key
// that turns focus cues on, and the actions accessible objects post.
// Not yet: the wheel, keyboard events other than the text box's KeyPress
// (no key preview: the form sees KeyDown only for Enter and Space on a
// picture box).
// Nothing here decides what a click is or who holds the capture.
#include <algorithm>

#include "forms/pointer.h"
#include "platform/win32/accessible.h"
#include "platform/win32/control_peers.h"
#include "platform/win32/picture_loader.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

int ButtonsHeld(WPARAM keys) {
  return ((keys & MK_LBUTTON) ? forms::kLeftButton : 0) |
         ((keys & MK_RBUTTON) ? forms::kRightButton : 0) |
         ((keys & MK_MBUTTON) ? forms::kMiddleButton : 0);
}

int ShiftHeld(WPARAM keys) {
  return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
         (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

struct PointerAction {
  forms::PointerInput::Kind kind;
  int button;  // the button that changed; 0 for a move
};

PointerAction ActionOf(UINT message) {
  using Kind = forms::PointerInput::Kind;
  switch (message) {
    case WM_LBUTTONDOWN: return {Kind::kPress, forms::kLeftButton};
    case WM_RBUTTONDOWN: return {Kind::kPress, forms::kRightButton};
    case WM_MBUTTONDOWN: return {Kind::kPress, forms::kMiddleButton};
    case WM_LBUTTONUP: return {Kind::kRelease, forms::kLeftButton};
    case WM_RBUTTONUP: return {Kind::kRelease, forms::kRightButton};
    case WM_MBUTTONUP: return {Kind::kRelease, forms::kMiddleButton};
    default: return {Kind::kMove, 0};
  }
}

}  // namespace

void Win32FormNative::PointerMessage(forms::Control* window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  const PointerAction action = ActionOf(message);
  forms::PointerInput input;
  input.kind = action.kind;
  input.window = window;
  // Back in design pixels, by the mapping that placed the window: hover
  // bounds, drags and hit tests see what they would at 100 %.
  const forms::PointL at = state_.scale.ToDesignWithin(
      {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, DesignOrigin(window));
  input.x = at.x;
  input.y = at.y;
  input.button = action.button;
  input.held = ButtonsHeld(wParam);
  // The system's mask already reads so; made sure of, as the router counts
  // on the button being held after its press and free after its release.
  if (action.kind == forms::PointerInput::Kind::kPress) input.held |= action.button;
  if (action.kind == forms::PointerInput::Kind::kRelease) input.held &= ~action.button;
  input.shift = ShiftHeld(wParam);
  input.time = static_cast<std::uint32_t>(GetMessageTime());
  // A move that repeats the last event's window, spot and buttons tells
  // nothing new (above 100 %, a move inside the same design pixel too), and two such moves would mislead the handlers: Wine queues
  // one before every button press with the buttons held before it (a second
  // button pressed without moving would drag the window with the first
  // alone), and ending a capture sends one (a released button would take its
  // hover look before the pointer has moved).
  const FormState::PointerSeen seen{window ? window->hWnd() : state_.window, input.x, input.y,
                                    input.held};
  const bool repeated =
      action.kind == forms::PointerInput::Kind::kMove && seen == state_.lastPointer;
  state_.lastPointer = seen;
  if (repeated) return;
  Guarded([&] { form_.Pointer().Input(input); });
}

void Win32FormNative::CaptureLost(HWND window) {
  // Our own releases and hand-overs come back here too; the platform's
  // record tells them from a loss.
  Guarded([&] { platform_.NativeCaptureLost(window); });
}

// --- the pointer over the surface ---------------------------------------------

bool Win32FormNative::PointerOnSurface() const {
  if (!state_.window) return false;
  if (GetCapture() == state_.window) return true;
  POINT point{};
  return GetCursorPos(&point) && WindowFromPoint(point) == state_.window;
}

void Win32FormNative::ShowPointer(const forms::Control* over) {
  HCURSOR cursor = nullptr;
  // A custom pointer without an icon shows the arrow.
  if (over && over->Pointer() == forms::MousePointer::kCustom) cursor = CursorFor(*over);
  state_.surfaceCursor = cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
  // WM_SETCURSOR keeps it up from the next move on; this shows it now.
  if (PointerOnSurface()) SetCursor(state_.surfaceCursor);
}

HCURSOR Win32FormNative::CursorFor(const forms::Control& control) {
  std::shared_ptr<const forms::Picture> icon = control.SharedMouseIcon();
  if (!icon || !icon->Valid()) return nullptr;
  const int dpi = state_.scale.Dpi();
  for (const FormState::Cursor& kept : state_.cursors) {
    if (kept.picture == icon && kept.dpi == dpi) return kept.cursor.Get();
  }
  // A pointer is a mask: it grows by whole pixels, to the nearest whole
  // factor of the scale (twice at 150 %, as the system's own pointers).
  const int factor = std::max(1, (dpi + forms::DeviceScale::kDesignDpi / 2) /
                                     forms::DeviceScale::kDesignDpi);
  state_.cursors.push_back({icon, dpi, CreateCursorFromPicture(EnlargedBy(*icon, factor))});
  return state_.cursors.back().cursor.Get();
}

// --- focus ---------------------------------------------------------------------

void Win32FormNative::FocusArrived(forms::Control& control) {
  Guarded([&] { form_.NativeFocus(&control); });
}

forms::Control* Win32FormNative::ControlWithFocus() const {
  // The focus may sit in a window the control made itself (the browser's).
  for (HWND w = GetFocus(); w && w != state_.window; w = GetParent(w)) {
    for (ControlPeer* peer : state_.peers) {
      if (peer->Window() == w) return &peer->Model();
    }
  }
  return nullptr;
}

void Win32FormNative::AfterDispatch(const MSG& message) {
  // Windows of the browser's own give us no WM_SETFOCUS; a press or a key
  // is what moves the focus into them, so look after each.
  switch (message.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN: break;
    default: return;
  }
  if (Closing()) return;
  forms::Control* now = ControlWithFocus();
  if (now && now != form_.Focused()) FocusArrived(*now);
}

bool Win32FormNative::Activated(WPARAM wParam) {
  // Coming back to the window, the focus returns to the control that had
  // it, as the runtime does; left alone the bare window would take it.
  if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) != 0 || Closing()) return false;
  const forms::Control* focused = form_.Focused();
  HWND target = focused ? focused->hWnd() : nullptr;
  if (!target || !IsWindowVisible(target)) return false;
  SetFocus(target);
  return true;
}

bool Win32FormNative::TabKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || Closing()) return false;
  if (!state_.window || (message.hwnd != state_.window && !IsChild(state_.window, message.hwnd))) {
    return false;
  }
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  const bool backwards = GetKeyState(VK_SHIFT) < 0;
  Guarded([&] {
    const forms::Control* from = ControlWithFocus();
    if (!from) from = form_.Focused();
    forms::Control* next = form_.NextInTabOrder(from, backwards);
    if (next && next->Native()) next->Native()->Focus();
  });
  return true;
}

bool Win32FormNative::ButtonKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || (message.wParam != VK_RETURN && message.wParam != VK_SPACE)) {
    return false;
  }
  // Only a picture box: the text box keeps Enter for its KeyPress, the
  // browser keeps both for its page.
  forms::Control* focused = Closing() ? nullptr : form_.ControlOf(message.hwnd);
  if (!focused || focused->Kind() != forms::ControlKind::kPictureBox) return false;
  if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) {
    return false;
  }
  bool used = false;
  const int key = message.wParam == VK_RETURN ? forms::kVkReturn : forms::kVkSpace;
  Guarded([&] { used = form_.NativeKeyDown(key, 0); });
  return used;
}

bool Win32FormNative::ShowsFocusCue(const forms::Control& control, HWND window) const {
  return !Closing() && form_.FocusCues() && form_.Focused() == &control && GetFocus() == window;
}

void Win32FormNative::AccessibleAction(WPARAM action, LPARAM lParam) {
  auto* wanted = reinterpret_cast<forms::Control*>(lParam);
  // The control may have gone with its form since the request was posted.
  if (Closing() || !form_.Owns(wanted)) return;
  Guarded([&] {
    if (action == kActFocus) {
      wanted->SetFocus();
    } else {
      wanted->DoDefaultAction();
    }
  });
}

}  // namespace win32
