// Turning the user's mouse and keyboard input into form events, and the
// mouse pointer over the form. Every event enters the program through
// Raise(); nothing here changes the model except the typed text.
#include <exception>

#include "platform/win32/picture_loader.h"
#include "platform/win32/win32_form.h"

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

struct MouseAction {
  forms::EventKind kind;
  int button;  // the button that changed; 0 for a move
};

MouseAction ActionOf(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN: return {forms::EventKind::kMouseDown, forms::kLeftButton};
    case WM_RBUTTONDOWN: return {forms::EventKind::kMouseDown, forms::kRightButton};
    case WM_MBUTTONDOWN: return {forms::EventKind::kMouseDown, forms::kMiddleButton};
    case WM_LBUTTONUP: return {forms::EventKind::kMouseUp, forms::kLeftButton};
    case WM_RBUTTONUP: return {forms::EventKind::kMouseUp, forms::kRightButton};
    case WM_MBUTTONUP: return {forms::EventKind::kMouseUp, forms::kMiddleButton};
    default: return {forms::EventKind::kMouseMove, 0};
  }
}

bool InClient(HWND window, int x, int y) {
  RECT client{};
  GetClientRect(window, &client);
  return x >= 0 && y >= 0 && x < client.right && y < client.bottom;
}

}  // namespace

void Win32FormNative::Raise(const forms::Event& event) {
  if (Closing()) return;
  // The program's handlers run inside window procedures and COM callbacks:
  // whatever they throw stops here.
  try {
    form_.Raise(event);
  } catch (const std::exception& e) {
    OutputDebugStringW((L"kivo: event handler failed: " + Widen(e.what()) + L"\n").c_str());
  } catch (...) {
    OutputDebugStringW(L"kivo: event handler failed\n");
  }
}

void Win32FormNative::SurfaceMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  const MouseAction action = ActionOf(message);
  const bool leftUp = message == WM_LBUTTONUP && state_.surfaceLeftDown;
  // Labels and images have no window: the one under the mouse takes the
  // event, as if it had its own window.
  forms::Control* hit = form_.WindowlessAt(x, y);
  // While the left button is held, the control it went down on keeps the mouse.
  forms::Control* source = state_.surfaceLeftDown ? state_.pressedWindowless : hit;
  if (message == WM_LBUTTONDOWN) {
    SetCapture(state_.window);
    state_.surfaceLeftDown = true;
    state_.pressedWindowless = source = hit;
  }
  forms::Event event;
  event.kind = action.kind;
  event.source = source;
  event.button = action.button ? action.button : ButtonsHeld(wParam);
  event.shift = ShiftHeld(wParam);
  event.x = x - (source ? source->Left() : 0);
  event.y = y - (source ? source->Top() : 0);
  Raise(event);
  if (!leftUp) return;
  forms::Control* pressed = state_.pressedWindowless;
  state_.surfaceLeftDown = false;
  state_.pressedWindowless = nullptr;
  ReleaseCapture();
  // A click needs the press and the release on the same control (or both on
  // the bare surface).
  if (state_.window && InClient(state_.window, x, y) && form_.WindowlessAt(x, y) == pressed) {
    Raise({forms::EventKind::kClick, pressed});
  }
}

void Win32FormNative::PictureMouse(ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  const MouseAction action = ActionOf(message);
  const bool leftUp = message == WM_LBUTTONUP && peer.leftDown;
  HWND window = peer.window;
  if (message == WM_LBUTTONDOWN) {
    SetCapture(window);
    peer.leftDown = true;
  }
  forms::Event event;
  event.kind = action.kind;
  event.source = peer.control;
  event.button = action.button ? action.button : ButtonsHeld(wParam);
  event.shift = ShiftHeld(wParam);
  event.x = x;
  event.y = y;
  Raise(event);
  if (!leftUp) return;
  peer.leftDown = false;
  ReleaseCapture();
  if (IsWindow(window) && InClient(window, x, y)) Raise({forms::EventKind::kClick, peer.control});
}

LRESULT CALLBACK Win32FormNative::EditProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* peer = reinterpret_cast<ControlPeer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  WNDPROC original = peer ? peer->editProc : nullptr;
  try {
    if (peer && peer->owner && original)
      return peer->owner->OnEditMessage(*peer, message, wParam, lParam);
  } catch (...) {
    // Fall through: the EDIT class still gets the message.
  }
  return original ? CallWindowProcW(original, window, message, wParam, lParam)
                  : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32FormNative::OnEditMessage(ControlPeer& peer, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
  HWND window = peer.window;
  const WNDPROC original = peer.editProc;
  switch (message) {
    case WM_CHAR: {
      // The handler sees the text as it stands before this key.
      peer.control->NativeText(WindowText(window));
      int keyAscii = static_cast<int>(wParam);
      forms::Event event;
      event.kind = forms::EventKind::kKeyPress;
      event.source = peer.control;
      event.keyAscii = &keyAscii;
      Raise(event);
      // Swallowed keys neither insert nor beep.
      if (keyAscii == 0) return 0;
      return CallWindowProcW(original, window, message, static_cast<WPARAM>(keyAscii), lParam);
    }
    case WM_LBUTTONDOWN: peer.leftDown = true; break;
    case WM_LBUTTONUP: {
      const LRESULT result = CallWindowProcW(original, window, message, wParam, lParam);
      const bool click =
          peer.leftDown && InClient(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      peer.leftDown = false;
      if (click) Raise({forms::EventKind::kClick, peer.control});
      return result;
    }
    case WM_KILLFOCUS: {
      const LRESULT result = CallWindowProcW(original, window, message, wParam, lParam);
      peer.leftDown = false;
      Raise({forms::EventKind::kLostFocus, peer.control});
      return result;
    }
    case WM_NCDESTROY:
      // Hand the window back to its class before it goes.
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      peer.window = nullptr;
      break;
  }
  return CallWindowProcW(original, window, message, wParam, lParam);
}

bool Win32FormNative::SetCursorForPoint() {
  if (!state_.window) return false;
  POINT point{};
  if (!GetCursorPos(&point) || WindowFromPoint(point) != state_.window) return false;
  ScreenToClient(state_.window, &point);
  HCURSOR cursor = LoadCursorW(nullptr, IDC_ARROW);
  forms::Control* hit = form_.WindowlessAt(point.x, point.y);
  if (hit && hit->Pointer() == forms::MousePointer::kCustom) {
    // A custom pointer without an icon shows the arrow.
    if (HCURSOR custom = CursorFor(*hit)) cursor = custom;
  }
  SetCursor(cursor);
  return true;
}

HCURSOR Win32FormNative::CursorFor(const forms::Control& control) {
  std::shared_ptr<const forms::Picture> icon = control.SharedMouseIcon();
  if (!icon || !icon->Valid()) return nullptr;
  for (const auto& [picture, cursor] : state_.cursors) {
    if (picture == icon) return cursor.Get();
  }
  state_.cursors.emplace_back(icon, CreateCursorFromPicture(*icon));
  return state_.cursors.back().second.Get();
}

}  // namespace win32
