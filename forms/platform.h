// The seam between portable code and a backend: the system calls the program
// makes (user32/gdi32 in spirit) and the native peer of a form. Each backend
// implements these once; the fake one in the tests records every call.
// Portable code never sees a native type beyond the opaque handles below.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/link.h"
#include "forms/menu.h"
#include "forms/picture.h"
#include "forms/surface.h"
#include "forms/types.h"

struct HRGN__;

namespace forms {

using RegionHandle = HRGN__*;

class BrowserNative;
class Control;
class Form;

// The native side of one control: its own window, or nothing for the
// controls drawn on their container's surface (labels and images). The
// control calls these after it has updated its own model.
class ControlNative {
 public:
  virtual ~ControlNative() = default;

  // The control's window; null for windowless controls.
  virtual WindowHandle Handle() = 0;
  virtual void Moved() = 0;
  virtual void VisibilityChanged() = 0;
  // The persistent image, caption, colour or pointer changed.
  virtual void Refresh() = 0;
  virtual void TextChanged() = 0;
  // A text box's selection changed (SelStart, SelLength).
  virtual void SelectionChanged() {}
  // Gives the control's window the keyboard focus.
  virtual void Focus() {}
  // Role, name or checked state changed: assistive technology is told.
  virtual void AccessibilityChanged() {}
  // The browser control's own interface; null for every other control.
  virtual BrowserNative* Browser() { return nullptr; }
};

// The embedded browser. Its events reach the form through Form::Raise with
// the browser as source: kDownloadBegin and kDownloadComplete for every
// download, kContextMenu from the connected document only, and
// kNavigateError for every top-level navigation that did not show its page.
class BrowserNative : public ControlNative {
 public:
  BrowserNative* Browser() override { return this; }

  virtual void Navigate(const std::string& url) = 0;
  // False where there is no page in that direction (the control's error);
  // nothing happens then.
  virtual bool GoBack() = 0;
  virtual bool GoForward() = 0;
  virtual void Reload() = 0;
  // No dialog of the engine's own while set: script dialogs, script errors,
  // authentication, printing and permission requests are answered without UI.
  virtual void SetSilent(bool silent) = 0;
  // The top-level document as HTML; null when there is none or when it is
  // not HTML (an image, plain text, a download).
  virtual DocumentHandle Document() = 0;
  // From now on the events of `document` (null: of none) reach the form;
  // the connection to the previous one ends.
  virtual void ConnectDocument(DocumentHandle document) = 0;
  // Ends the load in progress, if any.
  virtual void Stop() = 0;
  // Shows `html` in place of the page of `address`, which failed: it is
  // that address's entry of the history, and a reload tries it again.
  virtual void ShowErrorPage(const std::string& html, const std::string& address) = 0;
};

// The native side of one form. The form layer calls these after it has
// updated its own model; the backend only mirrors the model.
class FormNative {
 public:
  virtual ~FormNative() = default;

  virtual WindowHandle Handle() = 0;
  // Called once per control, in creation order, with its design settings set.
  virtual std::unique_ptr<ControlNative> CreateControl(Control& control) = 0;
  // The form's persistent image changed.
  virtual void FormRefresh() = 0;
  virtual void FormShow() = 0;
  virtual void FormHide() = 0;
  // Outer size of the window in pixels; the backend reports the new client
  // size back through Form::NativeSized once the system has applied it.
  virtual void FormSetOuterSize(int widthPx, int heightPx) = 0;
  virtual void FormSetState(WindowState state) = 0;
  // The pointer to show over the form's own surface: that of `over`, a
  // windowless control lying on it, or the arrow when null.
  virtual void ShowPointer(const Control* over) = 0;
  // The window's owner from the next FormShow on (null: none). An owned
  // window stays above its owner and has no taskbar button of its own.
  virtual void FormSetOwner(WindowHandle owner) = 0;
  // Brings the shown window to the front with the keyboard focus.
  virtual void FormActivate() = 0;
  virtual void FormSetIcon(IconHandle icon) = 0;
  // Pops `items` up at the pointer, left-aligned, chosen with the left
  // button, and returns once the menu has closed: the index of the chosen
  // item, or -1 (Escape, a click elsewhere, cancelled, or no menu possible).
  // Runs the system's menu loop; nothing of the program runs for a choice.
  virtual int TrackPopupMenu(const std::vector<PopupItem>& items) = 0;
  // Closes a menu TrackPopupMenu is showing, choosing nothing.
  virtual void CancelPopupMenu() = 0;
  // Where a host is asking for the menu so as to draw it itself (a panel
  // opening a tray item's menu), the backend hands it `items` and returns
  // true; the choice comes back through `chosen`. False: no host asks, and
  // the form pops the menu up itself.
  virtual bool ServePopupMenu(const std::vector<PopupItem>& items, const MenuChoice& chosen) {
    (void)items, (void)chosen;
    return false;
  }
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::unique_ptr<FormNative> CreateFormNative(Form& form) = 0;

  // user32
  virtual bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                                    std::uint32_t flags) = 0;
  virtual std::intptr_t GetWindowLongPtr(WindowHandle window, int index) = 0;
  virtual std::intptr_t SetWindowLongPtr(WindowHandle window, int index, std::intptr_t value) = 0;
  // Where the system keeps no procedures of its own, a procedure is just a
  // function to call.
  virtual LResult CallWindowProc(WndProc proc, WindowHandle window, std::uint32_t message,
                                 WParam wParam, LParam lParam) {
    return proc ? proc(window, message, wParam, lParam) : 0;
  }
  virtual int SetWindowRgn(WindowHandle window, RegionHandle region, bool redraw) = 0;
  // Into the window's procedure chain; the chain ends in the backend's
  // default handling (WM_NCLBUTTONDOWN with HTCAPTION: the move loop).
  virtual LResult SendMessage(WindowHandle window, std::uint32_t message, WParam wParam,
                              LParam lParam) = 0;

  // Pointer capture, one window at a time as the system keeps it. Who holds
  // it is decided here; the backend only grabs the pointer for that window.
  WindowHandle SetCapture(WindowHandle window);
  bool ReleaseCapture();
  WindowHandle GetCapture() const { return capture_; }
  // The backend: the system took the capture from `window` (another program,
  // the window manager, a popup). The holder is told the pointer has left.
  void NativeCaptureLost(WindowHandle window);
  // Double clicks: two presses of a button within this time (ms), the
  // second inside a box this many pixels wide centred on the first.
  virtual int DoubleClickTime() { return 500; }
  virtual int DoubleClickSize() { return 4; }

  // The program's side of the runtime: its title (the link's application
  // name), its command line without the program's path, and End.
  const std::string& AppTitle() const { return appTitle_; }
  void SetAppTitle(std::string title) { appTitle_ = std::move(title); }
  virtual std::string CommandLine() = 0;
  virtual LinkTransport& Link() = 0;
  // Ends the process at once; where a backend cannot (the fake), Ended()
  // tells the program it should have.
  void End() {
    ended_ = true;
    EndProcess();
  }
  bool Ended() const { return ended_; }

  // Forms register while they are loaded (have a native window), so
  // handles resolve. When the last one goes the program ends: the backend's
  // message loop is asked to return, once.
  void RegisterForm(Form& form);
  void UnregisterForm(Form& form);
  const std::vector<Form*>& LoadedForms() const { return forms_; }
  bool LoopEnded() const { return loopEnded_; }
  // The backend: the desktop session ends or the process was asked to end
  // (SIGTERM, SIGINT, SIGHUP; WM_ENDSESSION). Every loaded form is asked to
  // unload with `mode`, the first loaded first; what still stands afterwards
  // is unloaded regardless, so the loop ends.
  void NativeSessionEnd(UnloadMode mode);

  // Whether the desktop has a notification area the program's icon can
  // show in (and so bring a hidden window back from); true while unknown.
  virtual bool TrayPresent() { return true; }
  // shell32. The record of the notification-area icon: add or delete.
  virtual bool Shell_NotifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;
  // Opens `file` with the desktop's handler for it; the verb "open" on a web
  // address reaches the default browser. More than 32 means success.
  virtual std::intptr_t ShellExecute(WindowHandle owner, std::string_view verb,
                                     std::string_view file, std::string_view parameters,
                                     std::string_view directory, int showCmd) = 0;
  // The runtime's MsgBox (user32's message box), modal to `owner` (null: to no window): the
  // answer, kIdOk or kIdCancel (also when the box could not be shown).
  virtual int MsgBox(WindowHandle owner, std::string_view text, std::string_view caption,
                         std::uint32_t type) = 0;
  // The downloads the platform runs for the browser, where it runs them
  // itself: how many are not finished yet, and ending them all, partial
  // files removed.
  virtual int RunningDownloads() { return 0; }
  virtual void CancelDownloads() {}
  // Brings the download list to the front; false where there is none.
  virtual bool ShowDownloads() { return false; }
  // The application's icon group (1); null when absent. Kept for the
  // process's life.
  virtual IconHandle LoadIconResource(int id) = 0;

  // gdi32. Copies default to the portable routines.
  virtual RegionHandle CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseW,
                                          int ellipseH) = 0;
  virtual bool BitBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy,
                      std::uint32_t rop) {
    return PortableBitBlt(dst, x, y, w, h, src, sx, sy, rop);
  }
  virtual bool StretchBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy, int sw,
                          int sh, std::uint32_t rop) {
    return PortableStretchBlt(dst, x, y, w, h, src, sx, sy, sw, sh, rop);
  }
  virtual SurfaceAllocator& Surfaces() { return HeapSurfaces(); }

  // Screen metrics, as the runtime's Screen object gives them.
  virtual int ScreenWidthTwips() = 0;
  virtual int ScreenHeightTwips() = 0;
  virtual int TwipsPerPixelX() { return 15; }
  virtual int TwipsPerPixelY() { return 15; }
  // The monitor nearest `window` and its work area, in the pixels of the
  // window's bounds message; false where the system cannot tell.
  virtual bool MonitorWorkArea(WindowHandle window, RectL& workArea, RectL& monitor) {
    (void)window, (void)workArea, (void)monitor;
    return false;
  }
  virtual Color SystemColor(SysColor color) = 0;

  // Resources: bitmap resources by id, and the pictures stored with the
  // window design by name ("logo", "so", "hand"). Empty when absent.
  virtual std::optional<Picture> LoadBitmapResource(int id) = 0;
  virtual std::optional<Picture> LoadDesignPicture(std::string_view name) = 0;

 protected:
  // The backend's side of capture: grab the pointer for `window` (the
  // previous grab, if any, ends), or let it go.
  virtual void GrabPointer(WindowHandle window) = 0;
  virtual void UngrabPointer() = 0;
  virtual void EndProcess() = 0;
  // Makes the message loop return once the current handler has finished.
  virtual void QuitLoop() = 0;

 private:
  std::string appTitle_;
  bool ended_ = false;
  bool loopEnded_ = false;
  WindowHandle capture_ = nullptr;
  std::vector<Form*> forms_;
};

}  // namespace forms
