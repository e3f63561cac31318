// The controls' peers: creating each child window, mirroring the model onto
// it, and the child windows' procedures, which hand pointer, focus and
// capture messages to the form. Implemented: picture boxes, the EDIT text
// box, the BUTTON command button, labels and images (the browser's peer is
// browser_peer.cpp). Not yet: controls created after the form. No procedure
// here decides a click or keeps a press: that is the form's router; the
// command button's own click is the system's and goes to the form.
#include "platform/win32/control_peers.h"

#include "platform/win32/accessible.h"

#include "platform/win32/web_host.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

DWORD Shown(const forms::Control& control) { return control.Visible() ? WS_VISIBLE : 0; }

}  // namespace

ControlPeer::ControlPeer(Win32FormNative& owner, forms::Control& control)
    : owner_(owner), control_(control) {
  owner_.Register(*this);
}

ControlPeer::~ControlPeer() {
  // Controls are never removed from a live form, so the first peer to go
  // means the whole form goes: from here on no message may reach its model.
  owner_.BeginTeardown();
  owner_.Unregister(*this);
}

HWND ControlPeer::ParentWindow() const {
  if (const forms::Control* container = control_.Container()) {
    if (HWND window = container->hWnd()) return window;
  }
  return owner_.Window();
}

void ControlPeer::DestroyWindowOf(HWND window) {
  if (!window || !IsWindow(window)) return;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

void ControlPeer::MoveToModel() {
  if (!window_) return;
  const RECT r = owner_.DeviceRectOf(control_);
  MoveWindow(window_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  // A picture loaded at the same size moves nothing but still shows anew.
  InvalidateRect(window_, nullptr, FALSE);
}

void ControlPeer::ShowAsModel() {
  if (window_) ShowWindow(window_, control_.Visible() ? SW_SHOWNA : SW_HIDE);
}

void ControlPeer::Repaint() {
  if (window_) InvalidateRect(window_, nullptr, FALSE);
}

void ControlPeer::FocusWindow() {
  if (!window_ || !IsWindowVisible(window_)) return;
  SetFocus(window_);
  // WM_SETFOCUS reported it already, unless the window had it before.
  if (GetFocus() == window_) owner_.FocusArrived(control_);
}

void ControlPeer::TellReaders() { NotifyAccessibilityChanged(owner_, control_); }

// --- labels and images --------------------------------------------------------

WindowlessPeer::WindowlessPeer(Win32FormNative& owner, forms::Control& control)
    : Peer(owner, control) {
  Invalidate();
}

void WindowlessPeer::Invalidate() {
  if (!owner_.Window()) return;
  if (shown_.width > 0 && shown_.height > 0) {
    owner_.InvalidateDesign(
        RECT{shown_.left, shown_.top, shown_.left + shown_.width, shown_.top + shown_.height});
  }
  shown_ = {};
  if (!control_.Visible() || control_.Container()) return;
  const RECT now = owner_.WindowlessArea(control_);
  shown_ = {now.left, now.top, now.right - now.left, now.bottom - now.top};
  owner_.InvalidateDesign(now);
}

// --- picture boxes -----------------------------------------------------------

PictureBoxPeer::PictureBoxPeer(Win32FormNative& owner, forms::Control& control)
    : Peer(owner, control) {
  const DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | Shown(control);
  const RECT r = owner.DeviceRectOf(control);
  // A failed child leaves the control without a window; the rest still runs.
  CreateWindowExW(0, kClassName, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                  ParentWindow(), nullptr, owner.Os().Instance(), this);
}

PictureBoxPeer::~PictureBoxPeer() { DestroyWindowOf(window_); }

LRESULT CALLBACK PictureBoxPeer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    auto* peer = AttachedObject<PictureBoxPeer>(window, message, lParam);
    if (peer && message == WM_NCCREATE) peer->window_ = window;
    if (peer) return peer->OnMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind into the system; the message gets its default.
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT PictureBoxPeer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  if (IsPointerMessage(message)) {
    owner_.PointerMessage(&control_, message, wParam, lParam);
    return 0;
  }
  switch (message) {
    case WM_PAINT: owner_.PaintPictureBox(window, control_); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_CAPTURECHANGED: owner_.CaptureLost(window); return 0;
    case WM_SETFOCUS:
      // The focus cue comes and goes with the focus.
      InvalidateRect(window, nullptr, FALSE);
      owner_.FocusArrived(control_);
      return 0;
    case WM_KILLFOCUS: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_GETOBJECT:
      if (const LRESULT object = AnswerGetObject(owner_, &control_, wParam, lParam)) return object;
      break;
    case WM_NCDESTROY:
      window_ = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// --- the text box -------------------------------------------------------------

TextBoxPeer::TextBoxPeer(Win32FormNative& owner, forms::Control& control) : Peer(owner, control) {
  const DWORD style = WS_CHILD | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | Shown(control);
  const RECT r = owner.DeviceRectOf(control);
  window_ = CreateWindowExW(0, L"EDIT", Widen(control.Text()).c_str(), style, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, ParentWindow(), nullptr,
                            owner.Os().Instance(), nullptr);
  if (!window_) return;
  SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(owner.UiFont()), FALSE);
  // The program refuses over-long keywords itself; the box takes what it is given.
  SendMessageW(window_, EM_SETLIMITTEXT, 0, 0);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  editProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
}

TextBoxPeer::~TextBoxPeer() {
  if (window_ && IsWindow(window_) && editProc_) {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc_));
  }
  DestroyWindowOf(window_);
}

void TextBoxPeer::Rescale() {
  if (window_) SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.UiFont()), TRUE);
  MoveToModel();
}

void TextBoxPeer::TextChanged() {
  if (window_) SetWindowTextW(window_, Widen(control_.Text()).c_str());
}

void TextBoxPeer::SelectionChanged() {
  if (!window_) return;
  // The model counts characters, the EDIT control UTF-16 units.
  const std::wstring text = Widen(control_.Text());
  auto unitsOf = [&](int chars) {
    std::size_t at = 0;
    for (int i = 0; i < chars && at < text.size(); ++i) {
      at += (text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size()) ? 2 : 1;
    }
    return static_cast<WPARAM>(at);
  };
  const int start = control_.SelStart();
  SendMessageW(window_, EM_SETSEL, unitsOf(start),
               static_cast<LPARAM>(unitsOf(start + control_.SelLength())));
}

LRESULT TextBoxPeer::Original(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(editProc_, window_, message, wParam, lParam);
}

LRESULT CALLBACK TextBoxPeer::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* peer = reinterpret_cast<TextBoxPeer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!peer || !peer->editProc_) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return peer->OnMessage(message, wParam, lParam);
  } catch (...) {
    // Fall through: the EDIT class still gets the message.
  }
  return CallWindowProcW(peer->editProc_, window, message, wParam, lParam);
}

LRESULT TextBoxPeer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (message) {
    case WM_CHAR: {
      // The handler sees the text as it stands before this key.
      control_.NativeText(WindowText(window));
      int keyAscii = static_cast<int>(wParam);
      forms::Event event;
      event.kind = forms::EventKind::kKeyPress;
      event.source = &control_;
      event.keyAscii = &keyAscii;
      owner_.Raise(event);
      // Swallowed keys neither insert nor beep.
      if (keyAscii == 0 || !IsWindow(window)) return 0;
      return Original(message, static_cast<WPARAM>(keyAscii), lParam);
    }
    case WM_LBUTTONDBLCLK:
      // The EDIT class asks for double clicks (to select a word); for the
      // router it is just the second press.
      owner_.PointerMessage(&control_, WM_LBUTTONDOWN, wParam, lParam);
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      // Before the EDIT class: on a release the router lets go of the
      // capture before the class ends its selection or opens its menu.
      owner_.PointerMessage(&control_, message, wParam, lParam);
      if (!IsWindow(window)) return 0;
      break;
    case WM_SETFOCUS: {
      const LRESULT result = Original(message, wParam, lParam);
      owner_.FocusArrived(control_);
      return result;
    }
    case WM_CAPTURECHANGED: {
      const LRESULT result = Original(message, wParam, lParam);
      owner_.CaptureLost(window);
      return result;
    }
    case WM_GETOBJECT:
      // Named by what the skin paints beside it, not by its text.
      if (const LRESULT object = AnswerGetObject(owner_, &control_, wParam, lParam)) return object;
      break;
    case WM_NCDESTROY: {
      // Hand the window back to its class before it goes.
      const WNDPROC original = editProc_;
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      return CallWindowProcW(original, window, message, wParam, lParam);
    }
  }
  return Original(message, wParam, lParam);
}

// --- the command button --------------------------------------------------------

CommandButtonPeer::CommandButtonPeer(Win32FormNative& owner, forms::Control& control)
    : Peer(owner, control) {
  // IDOK: a dialog's Enter falls back to the control with that id.
  const DWORD style = WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | Shown(control);
  const RECT r = owner.DeviceRectOf(control);
  window_ = CreateWindowExW(0, L"BUTTON", Widen(control.Text()).c_str(), style, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, ParentWindow(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)),
                            owner.Os().Instance(), nullptr);
  if (window_) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(owner.ButtonFont()), FALSE);
  }
}

void CommandButtonPeer::Rescale() {
  if (window_) {
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.ButtonFont()), TRUE);
  }
  MoveToModel();
}

CommandButtonPeer::~CommandButtonPeer() { DestroyWindowOf(window_); }

void CommandButtonPeer::TextChanged() {
  if (window_) SetWindowTextW(window_, Widen(control_.Text()).c_str());
}

}  // namespace win32
