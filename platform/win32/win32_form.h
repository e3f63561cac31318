// The native side of a form on Win32: its WS_POPUP window, one child window
// per picture box, text box and browser, and the painting of the controls
// that have no window (labels and images). It only mirrors the form's model
// and reports input back; it must not decide anything the program decides.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "forms/control.h"
#include "forms/form.h"
#include "forms/platform.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class DibMemory;
class Win32Platform;
class WebHost;
class Win32FormNative;

// What the backend keeps per control; control.peer points at it.
struct ControlPeer {
  Win32FormNative* owner = nullptr;
  forms::Control* control = nullptr;
  HWND window = nullptr;         // null for labels and images
  WNDPROC editProc = nullptr;    // the EDIT class's own procedure
  std::unique_ptr<WebHost> web;  // browsers only
  forms::Rect shown;             // windowless: where it was last painted
  bool leftDown = false;         // a left press began on this control
};

// Everything the backend keeps for one form: no globals anywhere else.
struct FormState {
  HWND window = nullptr;
  bool shownOnce = false;
  bool alive = true;  // false once WM_DESTROY has been seen
  Font font;          // the 12-pixel CJK font of labels and text boxes
  std::vector<std::unique_ptr<ControlPeer>> peers;
  std::unique_ptr<DibMemory> backBuffer;
  // Surface clicks: the label or image (null: the bare surface) a left press
  // began on.
  bool surfaceLeftDown = false;
  forms::Control* pressedWindowless = nullptr;
  // One brush per text-box background colour, and one cursor per picture.
  std::vector<std::pair<COLORREF, Brush>> brushes;
  std::vector<std::pair<std::shared_ptr<const forms::Picture>, IconHandle>> cursors;
};

class Win32FormNative final : public forms::FormNative {
 public:
  Win32FormNative(Win32Platform& platform, forms::Form& form);
  ~Win32FormNative() override;

  forms::WindowHandle Handle() override { return state_.window; }
  void CreateControl(forms::Control& control) override;
  void ControlMoved(forms::Control& control) override;
  void ControlVisibility(forms::Control& control) override;
  void ControlRefresh(forms::Control& control) override;
  void ControlTextChanged(forms::Control& control) override;
  void FormRefresh() override;
  void FormShow() override;
  void FormHide() override;
  void FormSetOuterSize(int widthPx, int heightPx) override;
  void FormSetState(forms::WindowState state) override;
  void Navigate(forms::Control& browser, const std::string& url) override;

  // Lets the browser see its keyboard shortcuts; true when it took the message.
  bool PreTranslate(MSG& message);

  // Window procedures; the static ones catch everything the members throw.
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnFormMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnPictureMessage(ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnEditMessage(ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam);

  // Creation (win32_form.cpp).
  HWND ContainerWindow(const forms::Control& control) const;
  void CreatePictureBox(ControlPeer& peer);
  void CreateTextBox(ControlPeer& peer);
  void CreateBrowser(ControlPeer& peer);
  void WindowPosChanged(const WINDOWPOS& position);
  void Sized(WPARAM kind, int width, int height);

  // Painting (form_paint.cpp).
  void PaintForm();
  void PaintPictureBox(ControlPeer& peer);
  void DrawWindowless(forms::Control& control, HDC dc, DibMemory& buffer, POINT origin);
  void InvalidateWindowless(ControlPeer& peer);
  HBRUSH TextBoxBrush(HDC dc, HWND edit);
  void MakeUiFont();

  // Input (form_input.cpp).
  void SurfaceMouse(UINT message, WPARAM wParam, LPARAM lParam);
  void PictureMouse(ControlPeer& peer, UINT message, WPARAM wParam, LPARAM lParam);
  bool SetCursorForPoint();
  HCURSOR CursorFor(const forms::Control& control);
  void Raise(const forms::Event& event);

  ControlPeer* PeerOf(const forms::Control& control) const;
  bool Closing() const { return !state_.alive; }

  Win32Platform& platform_;
  forms::Form& form_;
  FormState state_;
};

}  // namespace win32
