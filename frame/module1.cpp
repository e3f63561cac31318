#include "frame/module1.h"

#include <cmath>

namespace Module1 {

MinMaxBounds& Bounds() {
  static MinMaxBounds bounds;
  return bounds;
}

namespace {

std::int32_t ScreenPixels(int screenTwips, int twipsPerPixel) {
  // The runtime rounds both to whole numbers and divides, truncating.
  const auto perPixel = static_cast<std::int32_t>(std::lround(static_cast<double>(twipsPerPixel)));
  if (perPixel <= 0) return 0;
  return static_cast<std::int32_t>(std::lround(static_cast<double>(screenTwips))) / perPixel;
}

std::int32_t Width(const forms::RectL& r) { return r.right - r.left; }
std::int32_t Height(const forms::RectL& r) { return r.bottom - r.top; }

// The work area of the window's monitor in the terms of the bounds message.
// Windows reads ptMaxPosition from the monitor's own corner, and ptMaxSize
// as meant for the primary monitor: a size that covers the primary monitor
// grows by what the window's monitor has over it. Taken back here wherever
// the smaller size still covers the primary monitor; else the size goes as
// it is and ptMaxTrackSize, read as given, holds the window to the work area.
bool BoundsOnMonitor(forms::WindowHandle hwnd, forms::MinMaxInfo& info) {
  auto& b = Bounds();
  forms::RectL work{};
  forms::RectL monitor{};
  if (!b.platform || !b.platform->MonitorWorkArea(hwnd, work, monitor)) return false;
  forms::PointL size{Width(work), Height(work)};
  info.ptMaxTrackSize = size;
  info.ptMaxPosition = {work.left - monitor.left, work.top - monitor.top};
  const forms::PointL primary{
      ScreenPixels(b.platform->ScreenWidthTwips(), b.platform->TwipsPerPixelX()),
      ScreenPixels(b.platform->ScreenHeightTwips(), b.platform->TwipsPerPixelY())};
  const forms::PointL taken{size.x - (Width(monitor) - primary.x),
                            size.y - (Height(monitor) - primary.y)};
  if (taken.x >= primary.x && taken.y >= primary.y) size = taken;
  info.ptMaxSize = size;
  return true;
}

}  // namespace

void HookMinMax(forms::Platform& platform, forms::WindowHandle hwnd, std::int32_t minWidth,
                std::int32_t minHeight, std::int32_t maxWidth, std::int32_t maxHeight,
                std::int32_t maxLeft, std::int32_t maxTop) {
  auto& b = Bounds();
  b.platform = &platform;
  b.MinWidth = minWidth;
  b.MinHeight = minHeight;
  b.MaxWidth = maxWidth != 0 ? maxWidth
                             : ScreenPixels(platform.ScreenWidthTwips(), platform.TwipsPerPixelX());
  b.MaxHeight = maxHeight != 0
                    ? maxHeight
                    : ScreenPixels(platform.ScreenHeightTwips(), platform.TwipsPerPixelY());
  // A work area that could not be read says nothing about its corner either.
  const bool fellBack = maxWidth == 0 || maxHeight == 0;
  b.MaxLeft = fellBack ? 0 : maxLeft;
  b.MaxTop = fellBack ? 0 : maxTop;
  b.MinMaxPrevWndProc = reinterpret_cast<forms::WndProc>(platform.SetWindowLongPtr(
      hwnd, forms::kGwlWndProc, reinterpret_cast<std::intptr_t>(&MinMaxWindowProc)));
}

forms::LResult MinMaxWindowProc(forms::WindowHandle hwnd, std::uint32_t msg, forms::WParam wParam,
                                forms::LParam lParam) {
  auto& b = Bounds();
  if (msg == forms::kWmGetMinMaxInfo && lParam != 0) {
    auto* info = reinterpret_cast<forms::MinMaxInfo*>(lParam);
    info->ptMinTrackSize = {b.MinWidth, b.MinHeight};
    if (!BoundsOnMonitor(hwnd, *info)) {
      info->ptMaxSize = {b.MaxWidth, b.MaxHeight};
      info->ptMaxPosition = {b.MaxLeft, b.MaxTop};
      info->ptMaxTrackSize = {b.MaxWidth, b.MaxHeight};
    }
    return 0;
  }
  if (!b.platform || !b.MinMaxPrevWndProc) return 0;
  return b.platform->CallWindowProc(b.MinMaxPrevWndProc, hwnd, msg, wParam, lParam);
}

}  // namespace Module1
