// The Linux platform: screen, work area, window procedures, regions,
// resources, pointer grabs and the window manager's move loop, answered with
// GTK and the resource bundle linked into the program; the desktop shell
// (tray icons, opening addresses, the session's end) in gtk_shell.cpp, the
// message box in gtk_dialogs.cpp, the browser's downloads in downloads.cpp.
// Everything about one window lives in gtk_form.* and gtk_controls.*; this
// file must not draw or lay out anything. Not yet: more than one X screen,
// keyboard grabs.
#pragma once

#include <gtk/gtk.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "forms/platform.h"
#include "forms/region.h"
#include "forms/wndproc_chain.h"
#include "tray_icon.h"
#include "unix_link.h"

namespace gtkplat {

class GtkDownloads;
class GtkFormNative;
struct NativeWindow;

// What a window handle points at on this platform: a form's window or one
// control's widget. Every live one is registered, so a stale or foreign
// handle resolves to nothing instead of to freed memory.
class NativeTarget {
 public:
  NativeTarget();
  virtual ~NativeTarget();
  NativeTarget(const NativeTarget&) = delete;
  NativeTarget& operator=(const NativeTarget&) = delete;

  forms::WindowHandle Id() { return reinterpret_cast<forms::WindowHandle>(this); }
  // The widget whose GdkWindow takes the pointer grab; null: none.
  virtual GtkWidget* GrabWidget() = 0;
  virtual NativeWindow* AsWindow() { return nullptr; }
};

// Null for a handle that is not (or no longer) one of ours.
NativeTarget* TargetOf(forms::WindowHandle handle);

// The form's own window: its procedure chain ends in GtkDefaultProc.
struct NativeWindow final : NativeTarget {
  NativeWindow();
  GtkWidget* GrabWidget() override;
  NativeWindow* AsWindow() override { return this; }
  GtkFormNative* form = nullptr;
  forms::SoftWindowLongs longs;
};

NativeWindow* WindowOf(forms::WindowHandle handle);

// The primary monitor's rectangle (the first monitor's where none is
// primary), and the monitor a toplevel is on (null before it is realized).
GdkRectangle PrimaryMonitorGeometry();
GdkMonitor* MonitorOf(GtkWidget* toplevel);

class GtkPlatform final : public forms::Platform {
 public:
  // Made before the toolkit starts: it takes its own options out of argv and
  // the start-up notification id out of the environment.
  GtkPlatform(int argc, char** argv);
  ~GtkPlatform() override;
  // SIGTERM, SIGINT and SIGHUP run the program's exit sequence from the
  // main loop, whenever in the start they came; a second instance keeps
  // their default (it ends at once anyway).
  void WatchEndSignals();
  // The program is built: an end asked for meanwhile runs now.
  void Built();
  // gtk_init. Without it forms get peers that show nothing: only a second
  // instance, which needs no display, runs so.
  void StartToolkit(int* argc, char*** argv);
  bool ToolkitStarted() const { return toolkit_; }

  std::unique_ptr<forms::FormNative> CreateFormNative(forms::Form& form) override;

  bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                            std::uint32_t flags) override;
  bool MonitorWorkArea(forms::WindowHandle window, forms::RectL& workArea,
                       forms::RectL& monitor) override;
  std::intptr_t GetWindowLongPtr(forms::WindowHandle window, int index) override;
  std::intptr_t SetWindowLongPtr(forms::WindowHandle window, int index,
                                 std::intptr_t value) override;
  int SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region, bool redraw) override;
  forms::LResult SendMessage(forms::WindowHandle window, std::uint32_t message,
                             forms::WParam wParam, forms::LParam lParam) override;
  int DoubleClickTime() override;
  int DoubleClickSize() override;
  forms::RegionHandle CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseW,
                                         int ellipseH) override;
  int ScreenWidthTwips() override;
  int ScreenHeightTwips() override;
  forms::Color SystemColor(forms::SysColor color) override;
  std::optional<forms::Picture> LoadBitmapResource(int id) override;
  std::optional<forms::Picture> LoadDesignPicture(std::string_view name) override;
  std::string CommandLine() override { return commandLine_; }
  // gtk_shell.cpp
  bool Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) override;
  bool TrayPresent() override { return toolkit_ && tray_.Present(); }
  // A panel is asking for a tray item's menu: `items` go to it, and true.
  bool ServeHostMenu(const std::vector<forms::PopupItem>& items, const forms::MenuChoice& chosen);
  std::intptr_t ShellExecute(forms::WindowHandle owner, std::string_view verb,
                             std::string_view file, std::string_view parameters,
                             std::string_view directory, int showCmd) override;
  int MsgBox(forms::WindowHandle owner, std::string_view text, std::string_view caption,
             std::uint32_t type) override;
  int RunningDownloads() override;
  void CancelDownloads() override;
  bool ShowDownloads() override;
  // The browser's downloads, made on the first.
  GtkDownloads& Downloads();
  forms::IconHandle LoadIconResource(int id) override;
  forms::LinkTransport& Link() override { return link_; }
  // The event that asked for the popup menu about to open, where it is not
  // GTK's current event (WebKit asks for a page's menu after its click has
  // been handled); null else. Borrowed for the request's duration.
  GdkEvent* PopupTrigger() const { return popupTrigger_; }
  void SetPopupTrigger(GdkEvent* event) { popupTrigger_ = event; }
  // The id another start sent with the execute being handled; empty else.
  const std::string& LinkStartupId() const { return link_.ReceivedStartupId(); }

 protected:
  void GrabPointer(forms::WindowHandle window) override;
  void UngrabPointer() override;
  void EndProcess() override;
  void QuitLoop() override;

 private:
  static gboolean OnEndSignal(gpointer self);

  std::string commandLine_;
  TrayIcons tray_{*this};
  GdkPixbuf* appIcon_ = nullptr;  // the process's, never freed
  GdkEvent* popupTrigger_ = nullptr;
  // The message box being asked, in its nested loop; none else.
  GtkDialog* asking_ = nullptr;
  // Until Built, an end signal is kept for then: half-built forms cannot
  // run the exit sequence.
  bool built_ = false;
  bool endAsked_ = false;
  UnixLink link_;
  std::unique_ptr<GtkDownloads> downloads_;
  bool toolkit_ = false;
};

// A picture decoded from the resource bundle, or none.
std::optional<forms::Picture> ResourcePicture(const char* path);
GdkPixbuf* ResourcePixbuf(const char* path);  // caller owns the reference

// Sole ownership of a C object, freed by `Free` (cairo surfaces and regions,
// Pango font descriptions); GObjects use g_autoptr or GObjectPtr.
template <class T, void (*Free)(T*)>
struct FreeWith {
  void operator()(T* p) const {
    if (p) Free(p);
  }
};
template <class T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, FreeWith<T, Free>>;

template <class T>
struct UnrefWith {
  void operator()(T* p) const {
    if (p) g_object_unref(p);
  }
};
// One reference to a GObject.
template <class T>
using GObjectPtr = std::unique_ptr<T, UnrefWith<T>>;

// Runs portable code from a GTK callback: nothing it throws may unwind
// through GTK's C frames.
template <class F>
void Guarded(F&& f) noexcept {
  try {
    f();
  } catch (const std::exception& e) {
    g_warning("kivo: event handler failed: %s", e.what());
  } catch (...) {
    g_warning("kivo: event handler failed");
  }
}

}  // namespace gtkplat
