// The Linux platform: screen, work area, window procedures, regions and
// resources, answered with GTK and the resource bundle linked into the
// program. Everything about one window lives in gtk_form.*; this file must
// not draw or lay out anything.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string_view>

#include "forms/platform.h"
#include "forms/region.h"
#include "forms/wndproc_chain.h"

namespace gtkplat {

class GtkFormNative;

// What a window handle points at on this platform.
struct NativeWindow {
  GtkFormNative* form = nullptr;
  forms::SoftWindowLongs longs;
};

class GtkPlatform final : public forms::Platform {
 public:
  std::unique_ptr<forms::FormNative> CreateFormNative(forms::Form& form) override;

  bool SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                            std::uint32_t flags) override;
  std::intptr_t GetWindowLongPtr(forms::WindowHandle window, int index) override;
  std::intptr_t SetWindowLongPtr(forms::WindowHandle window, int index,
                                 std::intptr_t value) override;
  int SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region, bool redraw) override;
  forms::RegionHandle CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseW,
                                         int ellipseH) override;
  int ScreenWidthTwips() override;
  int ScreenHeightTwips() override;
  forms::Color SystemColor(forms::SysColor color) override;
  std::optional<forms::Picture> LoadBitmapResource(int id) override;
  std::optional<forms::Picture> LoadDesignPicture(std::string_view name) override;
};

NativeWindow* WindowOf(forms::WindowHandle handle);

// A picture decoded from the resource bundle, or none.
std::optional<forms::Picture> ResourcePicture(const char* path);
GdkPixbuf* ResourcePixbuf(const char* path);  // caller owns the reference

}  // namespace gtkplat
