// The native side of a form on Win32: its window (borderless WS_POPUP or a
// fixed dialog frame), its painting, its input and its popup menus.
// Implemented: creation from the form's design, owner, icon, show, hide,
// activation, size and state, the close request, the session's end, the
// surface with its windowless controls, raw pointer input to the form's
// router, the surface's pointer, the capture's losses, focus reports, the
// Tab order and popup menus. Not yet: modal forms, centring on the owner.
// It only mirrors the form's model and reports input back; it must not
// decide anything the program or the router decides.
#pragma once

#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "forms/control.h"
#include "forms/form.h"
#include "forms/platform.h"
#include "forms/device_scale.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/window_dpi.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class ControlPeer;
class DibMemory;
class Win32Platform;

// Everything the backend keeps for one form: no globals anywhere else.
struct FormState {
  HWND window = nullptr;
  bool shownOnce = false;
  // A fixed dialog frame: the dialog keys go through IsDialogMessage.
  bool dialog = false;
  bool alive = true;  // false once the form or its window is going away
  // The monitor's scale: the model is in design pixels, the window in these.
  forms::DeviceScale scale;
  Font font;        // the 12-design-pixel font of labels and text boxes
  Font buttonFont;  // the system's dialog font at the window's scale
  // The outline the program gave, in design pixels, kept to scale anew.
  Region outline;
  // Every peer of this form, registered by the peer itself; the controls
  // own them.
  std::vector<ControlPeer*> peers;
  std::unique_ptr<DibMemory> backBuffer;
  // The surface in design pixels, composed before it is enlarged; only used
  // when the scale is not 1.
  std::unique_ptr<DibMemory> designBuffer;
  // The pointer the router last chose for the surface.
  HCURSOR surfaceCursor = nullptr;
  // The last pointer event passed to the router: which window, where in it,
  // and the buttons held after it.
  struct PointerSeen {
    HWND window = nullptr;
    int x = 0;
    int y = 0;
    int held = 0;
    bool operator==(const PointerSeen&) const = default;
  } lastPointer;
  // One brush per text-box background colour, and one cursor per picture
  // and scale.
  std::vector<std::pair<COLORREF, Brush>> brushes;
  struct Cursor {
    std::shared_ptr<const forms::Picture> picture;
    int dpi;
    IconHandle cursor;
  };
  std::vector<Cursor> cursors;
};

class Win32FormNative final : public forms::FormNative {
 public:
  Win32FormNative(Win32Platform& platform, forms::Form& form);
  ~Win32FormNative() override;

  forms::WindowHandle Handle() override { return state_.window; }
  std::unique_ptr<forms::ControlNative> CreateControl(forms::Control& control) override;
  void FormRefresh() override;
  void FormShow() override;
  void FormHide() override;
  void FormSetOuterSize(int widthPx, int heightPx) override;
  void FormSetState(forms::WindowState state) override;
  void ShowPointer(const forms::Control* over) override;
  void FormSetOwner(forms::WindowHandle owner) override;
  void FormActivate() override;
  void FormSetIcon(forms::IconHandle icon) override;
  int TrackPopupMenu(const std::vector<forms::PopupItem>& items) override;
  void CancelPopupMenu() override;

  // The message loop's hooks: the browser's shortcuts and Tab before a
  // message is dispatched (true: it was used up), focus moves after.
  bool PreTranslate(MSG& message);
  void AfterDispatch(const MSG& message);
  bool IsDialog() const { return state_.dialog; }
  // The live form a window of class KivoForm belongs to; null for any other
  // window and for a form on its way out.
  static Win32FormNative* FromWindow(HWND window);

  // For the peers.
  Win32Platform& Os() const { return platform_; }
  forms::Form& Model() const { return form_; }
  HWND Window() const { return state_.window; }
  HFONT UiFont() const { return state_.font.Get(); }
  HFONT ButtonFont() const { return state_.buttonFont.Get(); }
  const forms::DeviceScale& Scale() const { return state_.scale; }
  // Where a control's window goes in its parent window, in device pixels.
  RECT DeviceRectOf(const forms::Control& control) const;
  // The corner of a control's own window in the form's design pixels; the
  // form's surface for null.
  static forms::PointL DesignOrigin(const forms::Control* control);
  // Repaints a rectangle of the surface given in design pixels.
  void InvalidateDesign(const RECT& design);
  // The program's outline for the window (SetWindowRgn), in design pixels;
  // takes the region. Returns what SetWindowRgn returned.
  int SetOutline(HRGN design, bool redraw);
  void Register(ControlPeer& peer);
  void Unregister(ControlPeer& peer);
  void BeginTeardown() { state_.alive = false; }
  // The area a windowless control covers on the surface, text included.
  RECT WindowlessArea(const forms::Control& control);
  void PaintPictureBox(HWND window, forms::Control& control);
  // Raw input of one of the form's windows: `window` is the control it
  // belongs to, null for the form's own surface.
  void PointerMessage(forms::Control* window, UINT message, WPARAM wParam, LPARAM lParam);
  void FocusArrived(forms::Control& control);
  // Focus cues show on the control that has the keyboard focus once a key
  // was pressed in the form.
  bool ShowsFocusCue(const forms::Control& control, HWND window) const;
  void CaptureLost(HWND window);

  // Runs program code (handlers run inside window procedures and COM
  // callbacks): whatever it throws stops here. The program may unload the
  // form meanwhile, so nothing of this object is touched once run returns.
  template <typename F>
  void Guarded(F&& run) {
    if (Closing()) return;
    try {
      run();
    } catch (const std::exception& e) {
      ReportFailure(e.what());
    } catch (...) {
      ReportFailure("unknown exception");
    }
  }
  void Raise(const forms::Event& event) {
    Guarded([&] { form_.Raise(event); });
  }

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnFormMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateFormWindow();
  // The window a form without a taskbar button is owned by until the
  // program gives it an owner of its own.
  HWND DefaultOwner() const;
  void PlaceOnFirstShow();
  bool Command(WPARAM wParam, LPARAM lParam);
  void WindowPosChanged(const WINDOWPOS& position);
  void Sized(WPARAM kind, int width, int height);
  bool Activated(WPARAM wParam);
  static void ReportFailure(const char* what);
  // The window moved to a monitor of another scale (WM_DPICHANGED).
  void DpiChanged(int dpi, const RECT& suggested);
  // The window's outer size for the form's design size at the current scale.
  SIZE OuterSize(int designWidth, int designHeight) const;
  int ApplyOutline(bool redraw);

  // Painting (form_paint.cpp).
  void PaintForm();
  void DrawWindowless(forms::Control& control, HDC dc, DibMemory& buffer, POINT origin);
  void DrawLabel(forms::Control& label, HDC dc, POINT origin);
  HBRUSH TextBoxBrush(HDC dc, HWND edit);
  void PaintScaled(HDC target, const RECT& area);
  void DrawPictureBox(HDC dc, const RECT& client, forms::Control& control);
  Font MakeUiFont() const;
  Font MakeButtonFont() const;

  // Input (form_input.cpp).
  bool PointerOnSurface() const;
  HCURSOR CursorFor(const forms::Control& control);
  forms::Control* ControlWithFocus() const;
  bool TabKey(const MSG& message);
  bool ButtonKey(const MSG& message);
  // An accessible object's posted request (kWmAccessibleAction).
  void AccessibleAction(WPARAM action, LPARAM control);

  bool Closing() const { return !state_.alive; }

  Win32Platform& platform_;
  forms::Form& form_;
  FormState state_;
};

}  // namespace win32
