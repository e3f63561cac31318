// The Win32 implementation of forms::Platform: user32/gdi32 pass-throughs
// (window longs, regions, SendMessage, a window's monitor and work area, the pointer capture's grab and the
// double-click metrics), surfaces backed by DIB sections, GDI block copies,
// the resources linked into kivo.exe, the command line, ending the process
// the instance link (DdeLink), the notification-area icons, the shell's
// verbs, the application icon and the loop's hooks. Not yet: balloon tips
// (the program sends none), icons of other sizes than the system's two.
// Forms' windows live in Win32FormNative; the platform owns only its hidden
// window (tray_icon.cpp).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "forms/platform.h"
#include "platform/win32/dde_link.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

// A top-down 32-bit DIB section selected into its own memory DC, so portable
// code writes its pixels directly and GDI copies them without conversion.
class DibMemory final : public forms::SurfaceMemory {
 public:
  // Null when GDI is out of resources.
  static std::unique_ptr<DibMemory> Create(int width, int height);

  forms::Color* Bits() override { return bits_; }
  void* Native() override { return dc_.Get(); }
  HDC Dc() const { return dc_.Get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  DibMemory() = default;

  MemoryDc dc_;
  Bitmap bitmap_;
  // Declared after the DC and the bitmap so it lets go of the bitmap first.
  std::optional<ScopedSelect> selection_;
  forms::Color* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

class DibSurfaces final : public forms::SurfaceAllocator {
 public:
  std::unique_ptr<forms::SurfaceMemory> Allocate(int width, int height) override;
};

class Win32FormNative;

class Win32Platform final : public forms::Platform {
 public:
  explicit Win32Platform(HINSTANCE instance)
      : instance_(instance), link_([this] { return AppTitle(); }) {}

  HINSTANCE Instance() const { return instance_; }

  std::unique_ptr<forms::FormNative> CreateFormNative(forms::Form& form) override;

  bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                            std::uint32_t flags) override;
  // MonitorFromWindow (the nearest monitor) and GetMonitorInfoW.
  bool MonitorWorkArea(forms::WindowHandle window, forms::RectL& workArea,
                       forms::RectL& monitor) override;
  std::intptr_t GetWindowLongPtr(forms::WindowHandle window, int index) override;
  std::intptr_t SetWindowLongPtr(forms::WindowHandle window, int index,
                                 std::intptr_t value) override;
  forms::LResult CallWindowProc(forms::WndProc proc, forms::WindowHandle window,
                                std::uint32_t message, forms::WParam wParam,
                                forms::LParam lParam) override;
  int SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region, bool redraw) override;
  forms::LResult SendMessage(forms::WindowHandle window, std::uint32_t message,
                             forms::WParam wParam, forms::LParam lParam) override;
  int DoubleClickTime() override;
  int DoubleClickSize() override;
  forms::RegionHandle CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseW,
                                         int ellipseH) override;

  bool BitBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx, int sy,
              std::uint32_t rop) override;
  bool StretchBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx, int sy, int sw,
                  int sh, std::uint32_t rop) override;
  forms::SurfaceAllocator& Surfaces() override { return surfaces_; }

  int ScreenWidthTwips() override;
  int ScreenHeightTwips() override;
  forms::Color SystemColor(forms::SysColor color) override;

  std::optional<forms::Picture> LoadBitmapResource(int id) override;
  std::optional<forms::Picture> LoadDesignPicture(std::string_view name) override;

  std::string CommandLine() override;
  forms::LinkTransport& Link() override { return link_; }

  bool Shell_NotifyIcon(std::uint32_t message, const forms::NotifyIconData& data) override;
  // A notification area took the last icon added (or none was asked for).
  bool TrayPresent() override { return trayIcons_.empty() || trayShown_; }
  std::intptr_t ShellExecute(forms::WindowHandle owner, std::string_view verb,
                             std::string_view file, std::string_view parameters,
                             std::string_view directory, int showCmd) override;
  int MsgBox(forms::WindowHandle owner, std::string_view text, std::string_view caption,
                 std::uint32_t type) override;
  forms::IconHandle LoadIconResource(int id) override;
  // The small image of an icon LoadIconResource gave; any other icon itself.
  HICON SmallIconOf(HICON icon) const;

  // The forms' natives, for the message loop: the dialog keys and the
  // browser's shortcuts before a message is dispatched, focus moves after.
  void Register(Win32FormNative& native) { natives_.push_back(&native); }
  void Unregister(Win32FormNative& native) { std::erase(natives_, &native); }
  bool PreTranslate(MSG& message);
  void AfterDispatch(const MSG& message);
  // Owns the forms without a taskbar button; hears the shell's broadcasts.
  // Null when it cannot be made (the forms are then simply unowned).
  HWND HiddenOwner();
  // Windows owned by `window` get the hidden owner instead.
  void Disown(HWND window);
  // The notification area came back (TaskbarCreated): every icon the
  // program added is added again.
  void TrayRecreated();

 protected:
  void GrabPointer(forms::WindowHandle window) override;
  void UngrabPointer() override;
  void EndProcess() override;
  void QuitLoop() override;

 private:
  Win32FormNative* NativeOf(HWND window) const;

  HINSTANCE instance_;
  DibSurfaces surfaces_;
  DdeLink link_;
  std::vector<Win32FormNative*> natives_;
  Window hiddenOwner_;
  // The icon records added and not deleted, as given to the shell.
  std::vector<NOTIFYICONDATAW> trayIcons_;
  bool trayShown_ = false;
  struct LoadedIcon {
    int id;
    HICON big;
    HICON smallIcon;
  };
  std::vector<LoadedIcon> icons_;
};

}  // namespace win32
