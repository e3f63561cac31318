// Window procedures that sit in the main window's procedure chain. Their
// state is module-level because a window procedure gets nothing but the
// four message arguments.
#pragma once

#include <cstdint>

#include "forms/platform.h"
#include "forms/types.h"

namespace Module1 {

struct MinMaxBounds {
  std::int32_t MinWidth = 0;
  std::int32_t MinHeight = 0;
  std::int32_t MaxWidth = 0;
  std::int32_t MaxHeight = 0;
  // Where a maximized window goes: the work area's corner, so a taskbar at
  // the top or the left stays uncovered.
  std::int32_t MaxLeft = 0;
  std::int32_t MaxTop = 0;
  forms::WndProc MinMaxPrevWndProc = nullptr;
  forms::Platform* platform = nullptr;
};

// The bounds read at load; written by HookMinMax. Every WM_GETMINMAXINFO
// answers with the work area of the monitor the window is on at that
// moment, and with these where the platform cannot tell which that is.
MinMaxBounds& Bounds();

// Zero maximum sizes fall back to the screen size in pixels.
void HookMinMax(forms::Platform& platform, forms::WindowHandle hwnd, std::int32_t minWidth,
                std::int32_t minHeight, std::int32_t maxWidth, std::int32_t maxHeight,
                std::int32_t maxLeft = 0, std::int32_t maxTop = 0);

forms::LResult MinMaxWindowProc(forms::WindowHandle hwnd, std::uint32_t msg, forms::WParam wParam,
                                forms::LParam lParam);

}  // namespace Module1
