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
#include "platform/win32/win32_util.h"
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
  Font font;          // the 12-pixel font of labels and text boxes
  // Every peer of this form, registered by the peer itself; the controls
  // own them.
  std::vector<ControlPeer*> peers;
  std::unique_ptr<DibMemory> backBuffer;
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
  // One brush per text-box background colour, and one cursor per picture.
  std::vector<std::pair<COLORREF, Brush>> brushes;
  std::vector<std::pair<std::shared_ptr<const forms::Picture>, IconHandle>> cursors;
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

  // For the peers.
  Win32Platform& Os() const { return platform_; }
  forms::Form& Model() const { return form_; }
  HWND Window() const { return state_.window; }
  HFONT UiFont() const { return state_.font.Get(); }
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

  // Painting (form_paint.cpp).
  void PaintForm();
  void DrawWindowless(forms::Control& control, HDC dc, DibMemory& buffer, POINT origin);
  HBRUSH TextBoxBrush(HDC dc, HWND edit);
  void MakeUiFont();

  // Input (form_input.cpp).
  bool PointerOnSurface() const;
  HCURSOR CursorFor(const forms::Control& control);
  forms::Control* ControlWithFocus() const;
  bool TabKey(const MSG& message);

  bool Closing() const { return !state_.alive; }

  Win32Platform& platform_;
  forms::Form& form_;
  FormState state_;
};

}  // namespace win32
