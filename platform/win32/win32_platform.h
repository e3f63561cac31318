// The Win32 implementation of forms::Platform: user32/gdi32 pass-throughs
// (window longs, regions, SendMessage, the pointer capture's grab and the
// double-click metrics), surfaces backed by DIB sections, GDI block copies,
// the resources linked into kivo.exe, the command line, ending the process
// and the instance link (DdeLink). Not yet: the tray and the shell's Open
// verb. It owns no window; the form's window lives in Win32FormNative.
#pragma once

#include <memory>
#include <optional>

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

class Win32Platform final : public forms::Platform {
 public:
  explicit Win32Platform(HINSTANCE instance)
      : instance_(instance), link_([this] { return AppTitle(); }) {}

  HINSTANCE Instance() const { return instance_; }

  std::unique_ptr<forms::FormNative> CreateFormNative(forms::Form& form) override;

  bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                            std::uint32_t flags) override;
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

 protected:
  void GrabPointer(forms::WindowHandle window) override;
  void UngrabPointer() override;
  void EndProcess() override;

 private:
  HINSTANCE instance_;
  DibSurfaces surfaces_;
  DdeLink link_;
};

}  // namespace win32
