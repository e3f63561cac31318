// Creating the form's window and its control peers, mirroring the form's
// size, state and visibility, and the form window's procedure. Implemented:
// one borderless top-level form with its children. Not yet: other border
// styles, owned windows, the close request. The portable form decides every
// size, state and text; this file only applies them and must not change the
// model except through the Native* entry points.
#include "platform/win32/win32_form.h"

#include <initializer_list>
#include <stdexcept>

#include "platform/win32/control_peers.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/web_host.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

constexpr wchar_t kFormClass[] = L"KivoForm";

HICON AppIcon(HINSTANCE instance, int sizeMetricX, int sizeMetricY) {
  // LR_SHARED: the system owns the icon for the life of the process.
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                       GetSystemMetrics(sizeMetricX), GetSystemMetrics(sizeMetricY),
                                       LR_SHARED));
}

// No CS_DBLCLKS: every press arrives as a plain press and the form's
// router decides what a double click is.
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
  picture.lpfnWndProc = &PictureBoxPeer::Proc;
  picture.hIcon = picture.hIconSm = nullptr;
  picture.lpszClassName = PictureBoxPeer::kClassName;
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
  if (state_.window && IsWindow(state_.window)) {
    SetWindowLongPtrW(state_.window, GWLP_USERDATA, 0);
    DestroyWindow(state_.window);
  }
}

std::unique_ptr<forms::ControlNative> Win32FormNative::CreateControl(forms::Control& control) {
  switch (control.Kind()) {
    case forms::ControlKind::kPictureBox: return std::make_unique<PictureBoxPeer>(*this, control);
    case forms::ControlKind::kTextBox: return std::make_unique<TextBoxPeer>(*this, control);
    case forms::ControlKind::kWebBrowser: return std::make_unique<BrowserPeer>(*this, control);
    case forms::ControlKind::kLabel:
    case forms::ControlKind::kImage: break;
  }
  return std::make_unique<WindowlessPeer>(*this, control);
}

void Win32FormNative::Register(ControlPeer& peer) { state_.peers.push_back(&peer); }

void Win32FormNative::Unregister(ControlPeer& peer) { std::erase(state_.peers, &peer); }

void Win32FormNative::ReportFailure(const char* what) {
  OutputDebugStringW((L"kivo: event handler failed: " + Widen(what) + L"\n").c_str());
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

bool Win32FormNative::PreTranslate(MSG& message) {
  for (ControlPeer* peer : state_.peers) {
    auto* browser = dynamic_cast<BrowserPeer*>(peer);
    if (browser && browser->HandleAccelerator(message)) return true;
  }
  return TabKey(message);
}

void Win32FormNative::WindowPosChanged(const WINDOWPOS& position) {
  if (Closing()) return;
  if (position.flags & SWP_SHOWWINDOW) form_.NativeVisible(true);
  if (position.flags & SWP_HIDEWINDOW) form_.NativeVisible(false);
}

void Win32FormNative::Sized(WPARAM kind, int width, int height) {
  if (Closing()) return;
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
  if (IsPointerMessage(message)) {
    PointerMessage(nullptr, message, wParam, lParam);
    return 0;
  }
  switch (message) {
    case WM_PAINT: PaintForm(); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
    case WM_WINDOWPOSCHANGED:
      WindowPosChanged(*reinterpret_cast<const WINDOWPOS*>(lParam));
      break;  // DefWindowProc turns it into WM_SIZE and WM_MOVE
    case WM_SIZE: Sized(wParam, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_CAPTURECHANGED: CaptureLost(window); return 0;
    case WM_SETCURSOR:
      // Windowless controls have no window to carry their pointer: the
      // surface shows the one the router chose for the spot.
      if (reinterpret_cast<HWND>(wParam) == window && LOWORD(lParam) == HTCLIENT) {
        SetCursor(state_.surfaceCursor ? state_.surfaceCursor : LoadCursorW(nullptr, IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (Activated(wParam)) return 0;
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
        HWND edit = reinterpret_cast<HWND>(lParam);
        forms::Control* box = form_.ControlOf(edit);
        if (box && box->Kind() == forms::ControlKind::kTextBox && !Closing()) {
          box->NativeText(WindowText(edit));
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

}  // namespace win32
