// The typed native peers of a form's controls on Win32: a child window for
// each picture box, text box and browser, nothing but a rectangle of the
// form's surface for labels and images. Implemented: mirroring moves,
// visibility, images, text and focus; each child window hands its pointer,
// focus and capture messages to its form. Not yet: the browser's back,
// forward, refresh and document events, popup menus.
#pragma once

#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/platform.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class WebHost;
class Win32FormNative;

class ControlPeer : public forms::ControlNative {
 public:
  ControlPeer(Win32FormNative& owner, forms::Control& control);
  // A peer goes only with its form: the form is being torn down.
  ~ControlPeer() override;
  ControlPeer(const ControlPeer&) = delete;
  ControlPeer& operator=(const ControlPeer&) = delete;

  forms::Control& Model() const { return control_; }
  Win32FormNative& Owner() const { return owner_; }
  HWND Window() const { return window_; }

  forms::WindowHandle Handle() override { return window_; }
  void Moved() override;
  void VisibilityChanged() override;
  void Refresh() override;
  void TextChanged() override {}
  void Focus() override;

 protected:
  // The window the control lives in: its container's, or the form's.
  HWND ParentWindow() const;
  // Cuts the window loose from this peer, then destroys it.
  void DestroyWindowOf(HWND window);

  Win32FormNative& owner_;
  forms::Control& control_;
  HWND window_ = nullptr;
};

// Labels and images: painted on the form's surface by the form.
class WindowlessPeer final : public ControlPeer {
 public:
  WindowlessPeer(Win32FormNative& owner, forms::Control& control);

  void Moved() override { Invalidate(); }
  void VisibilityChanged() override { Invalidate(); }
  void Refresh() override { Invalidate(); }
  void TextChanged() override { Invalidate(); }
  void Focus() override {}

 private:
  void Invalidate();
  forms::Rect shown_;  // where it was last painted
};

class PictureBoxPeer final : public ControlPeer {
 public:
  PictureBoxPeer(Win32FormNative& owner, forms::Control& control);
  ~PictureBoxPeer() override;

  static constexpr wchar_t kClassName[] = L"KivoPictureBox";
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

class TextBoxPeer final : public ControlPeer {
 public:
  TextBoxPeer(Win32FormNative& owner, forms::Control& control);
  ~TextBoxPeer() override;

  void TextChanged() override;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Original(UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC editProc_ = nullptr;  // the EDIT class's own procedure
};

class BrowserPeer final : public ControlPeer {
 public:
  BrowserPeer(Win32FormNative& owner, forms::Control& control);
  ~BrowserPeer() override;

  void Navigate(const std::string& url) override;
  // Lets the browser see its keyboard shortcuts; true when it took the message.
  bool HandleAccelerator(MSG& message);

 private:
  std::unique_ptr<WebHost> web_;
};

}  // namespace win32
