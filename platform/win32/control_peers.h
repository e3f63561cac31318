// The typed native peers of a form's controls on Win32: a child window for
// each picture box, text box, command button and browser, nothing but a
// rectangle of the form's surface for labels and images. Implemented:
// mirroring moves, visibility, images, text and focus, the accessible
// object of each window (accessible.cpp) and its change events; each child window
// hands its pointer, focus and capture messages to its form (the command
// button's clicks come as BN_CLICKED to the form). Not yet: controls
// created after the form, other button styles.
#pragma once

#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/platform.h"
#include "platform/win32/windows_api.h"

namespace win32 {

class WebHost;
class Win32FormNative;

// What every peer keeps: its form, its control and its window. The form
// lists its peers by this part; the forms side comes with Peer below.
class ControlPeer {
 public:
  ControlPeer(Win32FormNative& owner, forms::Control& control);
  // A peer goes only with its form: the form is being torn down.
  virtual ~ControlPeer();
  ControlPeer(const ControlPeer&) = delete;
  ControlPeer& operator=(const ControlPeer&) = delete;

  forms::Control& Model() const { return control_; }
  Win32FormNative& Owner() const { return owner_; }
  HWND Window() const { return window_; }
  // The form's scale changed: fonts, place and zoom follow it.
  virtual void Rescale() { MoveToModel(); }

 protected:
  // The window the control lives in: its container's, or the form's.
  HWND ParentWindow() const;
  // Cuts the window loose from this peer, then destroys it.
  void DestroyWindowOf(HWND window);
  void MoveToModel();
  void ShowAsModel();
  void Repaint();
  void FocusWindow();
  void TellReaders();

  Win32FormNative& owner_;
  forms::Control& control_;
  HWND window_ = nullptr;
};

// A peer with the interface the control talks to: ControlNative, or the
// browser's BrowserNative.
template <class Interface = forms::ControlNative>
class Peer : public Interface, public ControlPeer {
 public:
  using ControlPeer::ControlPeer;

  forms::WindowHandle Handle() override { return window_; }
  void Moved() override { MoveToModel(); }
  void VisibilityChanged() override { ShowAsModel(); }
  void Refresh() override { Repaint(); }
  void TextChanged() override {}
  void Focus() override { FocusWindow(); }
  void AccessibilityChanged() override { TellReaders(); }
};

// Labels and images: painted on the form's surface by the form.
class WindowlessPeer final : public Peer<> {
 public:
  WindowlessPeer(Win32FormNative& owner, forms::Control& control);

  void Moved() override { Invalidate(); }
  void VisibilityChanged() override { Invalidate(); }
  void Refresh() override { Invalidate(); }
  void TextChanged() override { Invalidate(); }
  void Focus() override {}
  void Rescale() override { Invalidate(); }

 private:
  void Invalidate();
  forms::Rect shown_;  // where it was last painted
};

class PictureBoxPeer final : public Peer<> {
 public:
  PictureBoxPeer(Win32FormNative& owner, forms::Control& control);
  ~PictureBoxPeer() override;

  static constexpr wchar_t kClassName[] = L"KivoPictureBox";
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

class TextBoxPeer final : public Peer<> {
 public:
  TextBoxPeer(Win32FormNative& owner, forms::Control& control);
  ~TextBoxPeer() override;

  void TextChanged() override;
  void SelectionChanged() override;
  void Rescale() override;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Original(UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC editProc_ = nullptr;  // the EDIT class's own procedure
};

// The system's push button, the default one of its dialog. Its activation
// (click, Enter, Space) reaches the form as BN_CLICKED.
class CommandButtonPeer final : public Peer<> {
 public:
  CommandButtonPeer(Win32FormNative& owner, forms::Control& control);
  ~CommandButtonPeer() override;

  void TextChanged() override;
  void Rescale() override;
};

// The browser: the WebBrowser object in its host window (browser_peer.cpp).
class BrowserPeer final : public Peer<forms::BrowserNative> {
 public:
  BrowserPeer(Win32FormNative& owner, forms::Control& control);
  ~BrowserPeer() override;

  void Navigate(const std::string& url) override;
  bool GoBack() override;
  bool GoForward() override;
  void Reload() override;
  void SetSilent(bool silent) override;
  forms::DocumentHandle Document() override;
  void ConnectDocument(forms::DocumentHandle document) override;
  void Stop() override;
  void ShowErrorPage(const std::string& html, const std::string& address) override;
  void Rescale() override;
  // Lets the browser see its keyboard shortcuts; true when it took the message.
  bool HandleAccelerator(MSG& message);

 private:
  std::unique_ptr<WebHost> web_;
};

}  // namespace win32
