// Plain value types shared by the form layer, the program and every backend.
// Nothing here may include a platform header: the Win32 names below are our
// own spellings with the same values and layouts, so the Win32 backend can
// hand them straight to the system.
#pragma once

#include <cstdint>

// Same tag type that <windows.h> declares under STRICT, so a window handle in
// portable code is the very HWND the Win32 backend passes around.
struct HWND__;
struct HICON__;

namespace forms {

using WindowHandle = HWND__*;
// An icon as the system keeps it: HICON on Windows, a GdkPixbuf on Linux.
using IconHandle = HICON__*;
// The browser's top-level HTML document, as an identity to compare and to
// connect events to; null when there is none or it is not HTML.
struct HtmlDocument__;
using DocumentHandle = HtmlDocument__*;
using LResult = std::intptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
// Same shape as WNDPROC on x86_64 (where the calling convention is unique).
using WndProc = LResult (*)(WindowHandle, std::uint32_t, WParam, LParam);

// 0x00RRGGBB, the layout of a 32-bit top-down DIB pixel and of cairo RGB24.
using Color = std::uint32_t;

constexpr Color Rgb(int r, int g, int b) {
  return (static_cast<Color>(r & 0xFF) << 16) |
         (static_cast<Color>(g & 0xFF) << 8) | static_cast<Color>(b & 0xFF);
}
constexpr int RedOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr int GreenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Color c) { return static_cast<int>(c & 0xFF); }

// Colours that follow the user's colour scheme; resolved by the platform.
enum class SysColor { kWindow = 5, kWindowText = 8, kButtonFace = 15 };

// A colour setting: either fixed or a system colour looked up at run time.
struct ColorSetting {
  bool system = false;
  Color rgb = 0;
  SysColor sys = SysColor::kWindow;

  static constexpr ColorSetting Fixed(Color c) { return {false, c, SysColor::kWindow}; }
  static constexpr ColorSetting System(SysColor s) { return {true, 0, s}; }
  constexpr bool operator==(const ColorSetting&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  constexpr bool operator==(const Rect&) const = default;
};

// Win32 RECT layout: left, top, right, bottom.
struct RectL {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

struct PointL {
  std::int32_t x = 0;
  std::int32_t y = 0;
  constexpr bool operator==(const PointL&) const = default;
};

// Win32 MINMAXINFO layout.
struct MinMaxInfo {
  PointL ptReserved;
  PointL ptMaxSize;
  PointL ptMaxPosition;
  PointL ptMinTrackSize;
  PointL ptMaxTrackSize;
};

enum class WindowState { kNormal = 0, kMinimized = 1, kMaximized = 2 };

enum class MousePointer { kDefault = 0, kCustom = 99 };

enum class ScaleMode { kTwips = 1, kPixels = 3 };

// Message numbers and indices the program uses, with their Win32 values.
inline constexpr std::uint32_t kWmGetMinMaxInfo = 0x0024;
inline constexpr std::uint32_t kWmNcLButtonDown = 0x00A1;
inline constexpr std::uint32_t kWmMouseMove = 0x0200;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint32_t kWmRButtonDown = 0x0204;
inline constexpr std::uint32_t kWmRButtonUp = 0x0205;
inline constexpr std::uint32_t kWmUser = 0x0400;
inline constexpr int kGwlWndProc = -4;
inline constexpr int kGwlStyle = -16;
inline constexpr std::uint32_t kSpiGetWorkArea = 48;
inline constexpr std::intptr_t kWsMinimizeBox = 0x20000;
inline constexpr std::intptr_t kWsMaximizeBox = 0x10000;
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
inline constexpr int kHtCaption = 2;
inline constexpr int kSwShowNormal = 1;
inline constexpr std::uint32_t kMbOkCancel = 0x1;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// shell32's notification-area record in its wide form, with the tip and
// balloon fields (NOTIFYICONDATAW up to dwInfoFlags): the Win32 backend
// hands the same bytes to Shell_NotifyIconW.
inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimDelete = 2;
inline constexpr std::uint32_t kNifMessage = 0x1;
inline constexpr std::uint32_t kNifIcon = 0x2;
inline constexpr std::uint32_t kNifTip = 0x4;
inline constexpr std::uint32_t kNifInfo = 0x10;
inline constexpr int kNotifyTipChars = 128;

struct NotifyIconData {
  std::uint32_t cbSize = 0;
  WindowHandle hWnd = nullptr;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  IconHandle hIcon = nullptr;
  char16_t szTip[kNotifyTipChars] = {};
  std::uint32_t dwState = 0;
  std::uint32_t dwStateMask = 0;
  char16_t szInfo[256] = {};
  std::uint32_t uTimeout = 0;
  char16_t szInfoTitle[64] = {};
  std::uint32_t dwInfoFlags = 0;
};

// How a form came to be asked to close, as the runtime's QueryUnload says.
enum class UnloadMode {
  kFormControlMenu = 0,  // its close box, Alt+F4, the taskbar's close
  kFormCode = 1,         // Unload from the program
  kAppWindows = 2,       // the desktop session is ending
  kAppTaskManager = 3,   // another program asked it to end (a signal)
};

}  // namespace forms
