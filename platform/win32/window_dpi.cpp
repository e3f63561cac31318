// Finding the DPI functions at run time: kivo.exe links against nothing
// newer than Windows 7.
#include "platform/win32/window_dpi.h"

namespace win32 {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename F>
F User32(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : forms::DeviceScale::kDesignDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

forms::DeviceScale ScaleOf(HWND window) {
  static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
  static const auto forSystem = User32<GetDpiForSystemFn>("GetDpiForSystem");
  UINT dpi = 0;
  if (window && forWindow) dpi = forWindow(window);
  if (!dpi && forSystem) dpi = forSystem();
  // A DPI-aware process on a system without either sees the screen's own.
  return forms::DeviceScale(dpi ? static_cast<int>(dpi) : ScreenDpi());
}

RECT OuterRect(const RECT& client, DWORD style, DWORD exStyle, const forms::DeviceScale& scale) {
  static const auto adjust = User32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT outer = client;
  if (adjust) {
    adjust(&outer, style, FALSE, exStyle, static_cast<UINT>(scale.Dpi()));
  } else {
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  }
  return outer;
}

}  // namespace win32
