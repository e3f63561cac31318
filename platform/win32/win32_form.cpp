// Creating the form's windows and mirroring model changes onto them. The
// portable form decides every size, state and text; this file only applies
// them and must not change the model except through the Native* entry points.
#include "platform/win32/win32_form.h"

#include <initializer_list>
#include <stdexcept>

#include "platform/win32/resource_ids.h"
#include "platform/win32/web_host.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

constexpr wchar_t kFormClass[] = L"KivoForm";
constexpr wchar_t kPictureClass[] = L"KivoPictureBox";

HICON AppIcon(HINSTANCE instance, int sizeMetricX, int sizeMetricY) {
  // LR_SHARED: the system owns the icon for the life of the process.
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                       GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY),
                                       LR_SHARED));
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW form{};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = &Win32FormNative::FormProc;
  form.hInstance = instance;
  form.hIcon = AppIcon(instance, SM_CXICON, SM_CYICON);
  form.hIconSm = AppIcon(instance, SM_CXSMICON, SM_CYSMICON);
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.lpszClassName = kFormClass;
  WNDCLASSEXW picture = form;
  picture.lpfnWndProc = &Win32FormNative::PictureProc;
  picture.hIcon = picture.hIconSm = nullptr;
  picture.lpszClassName = kPictureClass;
  // A second form in the same process finds the classes already there.
  for (const WNDCLASSEXW* wc : {&form, &picture}) {
    if (!RegisterClassExW(wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      throw std::runtime_error("cannot register the window classes");
    }
  }
  WebHost::RegisterWindowClass(instance);
}

}  // namespace

Win32FormNative::Win32FormNative(Win32Platform& platform, forms::Form& form)
    : platform_(platform), form_(form) {
  HINSTANCE instance = platform_.Instance();
  RegisterClasses(instance);
  MakeUiFont();
  // Borderless: the outer size is the client size. Created hidden and at the
  // origin; the first FormShow centres it.
  const std::wstring caption = Widen(form_.Caption());
  HWND window =
      CreateWindowExW(WS_EX_APPWINDOW, kFormClass, caption.c_str(), WS_POPUP | WS_CLIPCHILDREN, 0,
                      0, form_.ScaleWidth(), form_.ScaleHeight(), nullptr, nullptr, instance, this);
  if (!window) throw std::runtime_error("cannot create the main window");
  // Window managers (and Wine's X11 driver) read the per-window icons.
  SendMessageW(window, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(AppIcon(instance, SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(AppIcon(instance, SM_CXSMICON, SM_CYSMICON)));
}

Win32FormNative::~Win32FormNative() {
  // The program's side of the form is already gone: nothing may reach it.
  state_.alive = false;
  for (auto& peer : state_.peers) peer->web.reset();
  if (state_.window && IsWindow(state_.window)) {
    SetWindowLongPtrW(state_.window, GWLP_USERDATA, 0);
    DestroyWindow(state_.window);
  }
}

ControlPeer* Win32FormNative::PeerOf(const forms::Control& control) const {
  auto* peer = static_cast<ControlPeer*>(control.peer);
  return peer && peer->owner == this ? peer : nullptr;
}

HWND Win32FormNative::ContainerWindow(const forms::Control& control) const {
  if (const forms::Control* container = control.Container()) {
    if (ControlPeer* peer = PeerOf(*container); peer && peer->window) return peer->window;
  }
  return state_.window;
}

void Win32FormNative::CreateControl(forms::Control& control) {
  auto owned = std::make_unique<ControlPeer>();
  ControlPeer& peer = *owned;
  peer.owner = this;
  peer.control = &control;
  state_.peers.push_back(std::move(owned));
  control.peer = &peer;
  switch (control.Kind()) {
    case forms::ControlKind::kPictureBox: CreatePictureBox(peer); break;
    case forms::ControlKind::kTextBox: CreateTextBox(peer); break;
    case forms::ControlKind::kWebBrowser: CreateBrowser(peer); break;
    case forms::ControlKind::kLabel:
    case forms::ControlKind::kImage: InvalidateWindowless(peer); break;
  }
}

void Win32FormNative::CreatePictureBox(ControlPeer& peer) {
  const forms::Control& c = *peer.control;
  const DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0);
  // A failed child leaves the control without a window; the rest still runs.
  peer.window =
      CreateWindowExW(0, kPictureClass, L"", style, c.Left(), c.Top(), c.Width(), c.Height(),
                      ContainerWindow(c), nullptr, platform_.Instance(), &peer);
}

void Win32FormNative::CreateTextBox(ControlPeer& peer) {
  const forms::Control& c = *peer.control;
  const DWORD style =
      WS_CHILD | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | (c.Visible() ? WS_VISIBLE : 0);
  peer.window =
      CreateWindowExW(0, L"EDIT", Widen(c.Text()).c_str(), style, c.Left(), c.Top(), c.Width(),
                      c.Height(), ContainerWindow(c), nullptr, platform_.Instance(), nullptr);
  if (!peer.window) return;
  SendMessageW(peer.window, WM_SETFONT, reinterpret_cast<WPARAM>(state_.font.Get()), FALSE);
  // The program refuses over-long keywords itself; the box takes what it is given.
  SendMessageW(peer.window, EM_SETLIMITTEXT, 0, 0);
  SetWindowLongPtrW(peer.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&peer));
  peer.editProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(peer.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc)));
}

void Win32FormNative::CreateBrowser(ControlPeer& peer) {
  forms::Control& c = *peer.control;
  const RECT bounds{c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
  peer.web = WebHost::Create(platform_.Instance(), ContainerWindow(c), bounds, c.Visible(),
                             [this, &c](forms::EventKind kind) {
                               Raise({kind, &c});
                             });
  if (peer.web) peer.window = peer.web->Window();
}

void Win32FormNative::ControlMoved(forms::Control& control) {
  ControlPeer* peer = PeerOf(control);
  if (!peer) return;
  if (!peer->window) {
    InvalidateWindowless(*peer);
    return;
  }
  MoveWindow(peer->window, control.Left(), control.Top(), control.Width(), control.Height(), TRUE);
  // A picture loaded at the same size moves nothing but still shows anew.
  InvalidateRect(peer->window, nullptr, FALSE);
}

void Win32FormNative::ControlVisibility(forms::Control& control) {
  ControlPeer* peer = PeerOf(control);
  if (!peer) return;
  if (peer->window) {
    ShowWindow(peer->window, control.Visible() ? SW_SHOWNA : SW_HIDE);
  } else {
    InvalidateWindowless(*peer);
  }
}

void Win32FormNative::ControlRefresh(forms::Control& control) {
  ControlPeer* peer = PeerOf(control);
  if (!peer) return;
  if (peer->window) {
    InvalidateRect(peer->window, nullptr, FALSE);
    return;
  }
  InvalidateWindowless(*peer);
  // A new pointer or icon shows at once if the mouse rests on the control.
  SetCursorForPoint();
}

void Win32FormNative::ControlTextChanged(forms::Control& control) {
  ControlPeer* peer = PeerOf(control);
  if (!peer) return;
  if (control.Kind() == forms::ControlKind::kTextBox && peer->window) {
    SetWindowTextW(peer->window, Widen(control.Text()).c_str());
  } else if (!peer->window) {
    InvalidateWindowless(*peer);
  }
}

void Win32FormNative::FormRefresh() {
  // Children are clipped (WS_CLIPCHILDREN), so only the surface repaints.
  if (state_.window) InvalidateRect(state_.window, nullptr, FALSE);
}

void Win32FormNative::FormShow() {
  if (!state_.window) return;
  if (!state_.shownOnce) {
    // Centred on the whole screen, as the design's start-up position asks.
    state_.shownOnce = true;
    RECT r{};
    GetWindowRect(state_.window, &r);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(state_.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(state_.window, SW_SHOW);
  SetForegroundWindow(state_.window);
  UpdateWindow(state_.window);
}

void Win32FormNative::FormHide() {
  if (state_.window) ShowWindow(state_.window, SW_HIDE);
}

void Win32FormNative::FormSetOuterSize(int widthPx, int heightPx) {
  if (!state_.window) return;
  SetWindowPos(state_.window, nullptr, 0, 0, widthPx, heightPx,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormNative::FormSetState(forms::WindowState state) {
  if (!state_.window) return;
  switch (state) {
    case forms::WindowState::kMinimized: ShowWindow(state_.window, SW_MINIMIZE); break;
    case forms::WindowState::kMaximized: ShowWindow(state_.window, SW_MAXIMIZE); break;
    case forms::WindowState::kNormal: ShowWindow(state_.window, SW_RESTORE); break;
  }
}

void Win32FormNative::Navigate(forms::Control& browser, const std::string& url) {
  ControlPeer* peer = PeerOf(browser);
  if (peer && peer->web) peer->web->Navigate(Widen(url));
}

bool Win32FormNative::PreTranslate(MSG& message) {
  for (auto& peer : state_.peers) {
    if (peer->web && peer->web->HandleAccelerator(message)) return true;
  }
  return false;
}

void Win32FormNative::WindowPosChanged(const WINDOWPOS& position) {
  if (position.flags & SWP_SHOWWINDOW) form_.NativeVisible(true);
  if (position.flags & SWP_HIDEWINDOW) form_.NativeVisible(false);
}

void Win32FormNative::Sized(WPARAM kind, int width, int height) {
  if (kind == SIZE_MINIMIZED) {
    // The client size of an icon means nothing to the layout.
    form_.NativeState(forms::WindowState::kMinimized);
    return;
  }
  form_.NativeState(kind == SIZE_MAXIMIZED ? forms::WindowState::kMaximized
                                           : forms::WindowState::kNormal);
  form_.NativeSized(width, height);
}

LRESULT Win32FormNative::OnFormMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = state_.window;
  switch (message) {
    case WM_PAINT: PaintForm(); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
    case WM_WINDOWPOSCHANGED:
      WindowPosChanged(*reinterpret_cast<const WINDOWPOS*>(lParam));
      break;  // DefWindowProc turns it into WM_SIZE and WM_MOVE
    case WM_SIZE: Sized(wParam, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: SurfaceMouse(message, wParam, lParam); return 0;
    case WM_CAPTURECHANGED: state_.surfaceLeftDown = false; return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == window && LOWORD(lParam) == HTCLIENT &&
          SetCursorForPoint()) {
        return TRUE;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (HBRUSH brush =
              TextBoxBrush(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE) {
        // The model always holds what the user typed.
        for (auto& peer : state_.peers) {
          if (peer->window == reinterpret_cast<HWND>(lParam) && peer->editProc) {
            peer->control->NativeText(WindowText(peer->window));
          }
        }
        return 0;
      }
      break;
    case WM_DESTROY:
      state_.alive = false;
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      state_.window = nullptr;
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32FormNative::FormProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  try {
    if (auto* self = AttachedObject<Win32FormNative>(window, message, lParam)) {
      if (message == WM_NCCREATE) self->state_.window = window;
      return self->OnFormMessage(message, wParam, lParam);
    }
  } catch (...) {
    // Nothing may unwind into the system; the message gets its default.
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32FormNative::PictureProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  try {
    auto* peer = AttachedObject<ControlPeer>(window, message, lParam);
    if (peer && message == WM_NCCREATE) peer->window = window;
    if (peer && peer->owner) return peer->owner->OnPictureMessage(*peer, message, wParam, lParam);
  } catch (...) {
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32FormNative::OnPictureMessage(ControlPeer& peer, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  HWND window = peer.window;
  switch (message) {
    case WM_PAINT: PaintPictureBox(peer); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: PictureMouse(peer, message, wParam, lParam); return 0;
    case WM_CAPTURECHANGED: peer.leftDown = false; return 0;
    case WM_NCDESTROY:
      peer.window = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace win32
