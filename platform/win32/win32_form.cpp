// Creating the form's window and its control peers, mirroring the form's
// design, owner, icon, size, state and visibility, and the form window's
// procedure. Implemented: the borderless main window and fixed dialogs, the
// close request and the session's end handed to the program, dialog keys.
// Not yet: modal forms, sizable frames, centring on the owner. The portable
// form decides every size, state, text and whether the program ends; this
// file only applies them and must not change the model except through the
// Native* entry points. No window's close or destruction ends the loop.
#include "platform/win32/win32_form.h"

#include <cwchar>
#include <initializer_list>
#include <stdexcept>

#include "platform/win32/accessible.h"
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

struct Frame {
  DWORD style;
  DWORD exStyle;
};

// A fixed dialog: caption and close box only, no resizing; its client area
// is the design's and the frame comes on top. Borderless: the outer size is
// the client size.
Frame FrameOf(const forms::FormDesign& design) {
  Frame frame{WS_POPUP | WS_CLIPCHILDREN, 0};
  if (design.border == forms::BorderStyle::kFixedDialog) {
    frame.style |= WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
    frame.exStyle |= WS_EX_DLGMODALFRAME;
  }
  // An owned window never has a taskbar button, so a form that must not
  // have one is owned from the start (by the platform's hidden window); the
  // others are unowned and asked for one.
  if (design.showInTaskbar) frame.exStyle |= WS_EX_APPWINDOW;
  return frame;
}

}  // namespace

Win32FormNative::Win32FormNative(Win32Platform& platform, forms::Form& form)
    : platform_(platform), form_(form) {
  RegisterClasses(platform_.Instance());
  // The system's scale until the window knows its monitor.
  state_.scale = ScaleOf(nullptr);
  state_.font = MakeUiFont();
  state_.buttonFont = MakeButtonFont();
  CreateFormWindow();
  platform_.Register(*this);
}

SIZE Win32FormNative::OuterSize(int designWidth, int designHeight) const {
  const forms::DeviceScale& scale = state_.scale;
  RECT outer{0, 0, scale.ToDevice(designWidth), scale.ToDevice(designHeight)};
  if (state_.dialog) {
    const Frame frame = FrameOf(form_.Design());
    outer = OuterRect(outer, frame.style, frame.exStyle, scale);
  }
  return {outer.right - outer.left, outer.bottom - outer.top};
}

void Win32FormNative::CreateFormWindow() {
  const forms::FormDesign& design = form_.Design();
  state_.dialog = design.border == forms::BorderStyle::kFixedDialog;
  const Frame frame = FrameOf(design);
  const SIZE outer = OuterSize(form_.ScaleWidth(), form_.ScaleHeight());
  // Created hidden; the first FormShow places it.
  const std::wstring caption = Widen(form_.Caption());
  HWND window = CreateWindowExW(frame.exStyle, kFormClass, caption.c_str(), frame.style, 0, 0,
                                outer.cx, outer.cy, DefaultOwner(), nullptr, platform_.Instance(),
                                this);
  if (!window) throw std::runtime_error("cannot create a form's window");
  // On a monitor whose scale is not the system's the window is made again
  // to size there; it has no controls yet.
  if (const forms::DeviceScale actual = ScaleOf(window); actual != state_.scale) {
    state_.scale = actual;
    state_.font = MakeUiFont();
    state_.buttonFont = MakeButtonFont();
    const SIZE sized = OuterSize(form_.ScaleWidth(), form_.ScaleHeight());
    SetWindowPos(window, nullptr, 0, 0, sized.cx, sized.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  HINSTANCE instance = platform_.Instance();
  // Window managers (and Wine's X11 driver) read the per-window icons.
  SendMessageW(window, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(AppIcon(instance, SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(AppIcon(instance, SM_CXSMICON, SM_CYSMICON)));
}

Win32FormNative::~Win32FormNative() {
  // The program's side of the form is already gone: nothing may reach it.
  state_.alive = false;
  platform_.Unregister(*this);
  if (state_.window && IsWindow(state_.window)) {
    // Windows this one owns would be destroyed with it, behind their forms'
    // backs: they go to the hidden owner first.
    platform_.Disown(state_.window);
    SetWindowLongPtrW(state_.window, GWLP_USERDATA, 0);
    DestroyWindow(state_.window);
  }
}

HWND Win32FormNative::DefaultOwner() const {
  return form_.Design().showInTaskbar ? nullptr : platform_.HiddenOwner();
}

std::unique_ptr<forms::ControlNative> Win32FormNative::CreateControl(forms::Control& control) {
  switch (control.Kind()) {
    case forms::ControlKind::kPictureBox: return std::make_unique<PictureBoxPeer>(*this, control);
    case forms::ControlKind::kTextBox: return std::make_unique<TextBoxPeer>(*this, control);
    case forms::ControlKind::kWebBrowser: return std::make_unique<BrowserPeer>(*this, control);
    case forms::ControlKind::kCommandButton:
      return std::make_unique<CommandButtonPeer>(*this, control);
    case forms::ControlKind::kLabel:
    case forms::ControlKind::kImage: break;
  }
  return std::make_unique<WindowlessPeer>(*this, control);
}

Win32FormNative* Win32FormNative::FromWindow(HWND window) {
  wchar_t name[16] = {};
  if (!window || !GetClassNameW(window, name, 16) || wcscmp(name, kFormClass) != 0) return nullptr;
  auto* native = reinterpret_cast<Win32FormNative*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return native && !native->Closing() ? native : nullptr;
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

void Win32FormNative::PlaceOnFirstShow() {
  if (state_.shownOnce) return;
  state_.shownOnce = true;
  if (form_.Design().startUpPosition == forms::StartUpPosition::kManual) return;
  // Centred on the whole screen, the Taskbar's strip included, as the main
  // window always was.
  RECT r{};
  GetWindowRect(state_.window, &r);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
  SetWindowPos(state_.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormNative::FormShow() {
  if (!state_.window) return;
  PlaceOnFirstShow();
  ShowWindow(state_.window, SW_SHOW);
  SetForegroundWindow(state_.window);
  UpdateWindow(state_.window);
}

void Win32FormNative::FormHide() {
  if (state_.window) ShowWindow(state_.window, SW_HIDE);
}

void Win32FormNative::FormSetOwner(forms::WindowHandle owner) {
  if (!state_.window) return;
  // GWLP_HWNDPARENT of a top-level window is its owner.
  HWND now = owner ? owner : DefaultOwner();
  SetWindowLongPtrW(state_.window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(now));
}

void Win32FormNative::FormActivate() {
  if (!state_.window || !IsWindowVisible(state_.window)) return;
  SetForegroundWindow(state_.window);
  SetActiveWindow(state_.window);
}

void Win32FormNative::FormSetIcon(forms::IconHandle icon) {
  if (!state_.window || !icon) return;
  SendMessageW(state_.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(state_.window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(platform_.SmallIconOf(icon)));
}

void Win32FormNative::FormSetOuterSize(int widthPx, int heightPx) {
  if (!state_.window) return;
  SetWindowPos(state_.window, nullptr, 0, 0, state_.scale.ToDevice(widthPx),
               state_.scale.ToDevice(heightPx), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && !Closing()) {
    Guarded([&] { form_.NativeKeyboardUsed(); });
  }
  if (state_.dialog) {
    // Tab, Enter and Space on the dialog's buttons, as a dialog box has them.
    return state_.window && IsDialogMessageW(state_.window, &message);
  }
  for (ControlPeer* peer : state_.peers) {
    auto* browser = dynamic_cast<BrowserPeer*>(peer);
    if (browser && browser->HandleAccelerator(message)) return true;
  }
  return TabKey(message) || ButtonKey(message);
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
  // A size the mapping never makes (a maximized window's) is laid out just
  // wide enough to reach the last device column.
  form_.NativeSized(state_.scale.LengthToDesign(width), state_.scale.LengthToDesign(height));
}

bool Win32FormNative::Command(WPARAM wParam, LPARAM lParam) {
  HWND from = reinterpret_cast<HWND>(lParam);
  forms::Control* control = from ? form_.ControlOf(from) : nullptr;
  if (!control || Closing()) return false;
  if (HIWORD(wParam) == EN_CHANGE && control->Kind() == forms::ControlKind::kTextBox) {
    // The model always holds what the user typed.
    control->NativeText(WindowText(from));
    return true;
  }
  if (HIWORD(wParam) == BN_CLICKED && control->Kind() == forms::ControlKind::kCommandButton) {
    forms::Event click;
    click.kind = forms::EventKind::kClick;
    click.source = control;
    Raise(click);  // may unload the form: nothing of it is touched after
    return true;
  }
  return false;
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
    case WM_DPICHANGED:
      if (lParam) DpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
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
      if (Command(wParam, lParam)) return 0;
      break;
    case WM_GETOBJECT:
      if (const LRESULT object = AnswerGetObject(*this, nullptr, wParam, lParam)) return object;
      break;
    case kWmAccessibleAction: AccessibleAction(wParam, lParam); return 0;
    case WM_CLOSE:
      // The close box, Alt+F4, the taskbar's close (SC_CLOSE comes here
      // too): the program decides; the form may be gone afterwards.
      Guarded([&] { form_.NativeCloseRequest(forms::UnloadMode::kFormControlMenu); });
      return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        Win32Platform& os = platform_;
        Guarded([&] { os.NativeSessionEnd(forms::UnloadMode::kAppWindows); });
      }
      return 0;
    case WM_DESTROY: state_.alive = false; return 0;
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
  // A window whose form has gone (or is going) closes only through its form.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace win32
