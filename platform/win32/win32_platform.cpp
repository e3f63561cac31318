// forms::Platform on Win32: the calls go straight to user32/gdi32, the
// capture's grab and the work area of a window's monitor included; the command line, the end of the loop and of the
// process, the shell's verbs, the application icon and the loop's hooks
// (the instance link is dde_link.cpp, the tray tray_icon.cpp). Not yet:
// verbs other than those ShellExecuteW knows.
// Window creation and painting live in win32_form.cpp; this file must not
// keep any per-window state.
#include "platform/win32/win32_platform.h"

#include <cstddef>
#include <type_traits>
#include <vector>

#include "platform/win32/picture_loader.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/win32_form.h"

namespace win32 {
namespace {

// Portable code spells these types itself; they must be the system's own.
static_assert(std::is_same_v<forms::WindowHandle, HWND>);
static_assert(std::is_same_v<forms::RegionHandle, HRGN>);
static_assert(std::is_same_v<forms::WndProc, WNDPROC>);
static_assert(sizeof(forms::RectL) == sizeof(RECT) &&
              offsetof(forms::RectL, left) == offsetof(RECT, left) &&
              offsetof(forms::RectL, top) == offsetof(RECT, top) &&
              offsetof(forms::RectL, right) == offsetof(RECT, right) &&
              offsetof(forms::RectL, bottom) == offsetof(RECT, bottom));
static_assert(sizeof(forms::PointL) == sizeof(POINT) &&
              offsetof(forms::PointL, y) == offsetof(POINT, y));
static_assert(sizeof(forms::MinMaxInfo) == sizeof(MINMAXINFO) &&
              offsetof(forms::MinMaxInfo, ptMaxSize) == offsetof(MINMAXINFO, ptMaxSize) &&
              offsetof(forms::MinMaxInfo, ptMaxPosition) == offsetof(MINMAXINFO, ptMaxPosition) &&
              offsetof(forms::MinMaxInfo, ptMinTrackSize) == offsetof(MINMAXINFO, ptMinTrackSize) &&
              offsetof(forms::MinMaxInfo, ptMaxTrackSize) == offsetof(MINMAXINFO, ptMaxTrackSize));
static_assert(static_cast<int>(forms::SysColor::kWindow) == COLOR_WINDOW &&
              static_cast<int>(forms::SysColor::kWindowText) == COLOR_WINDOWTEXT &&
              static_cast<int>(forms::SysColor::kButtonFace) == COLOR_BTNFACE);

constexpr int kTwipsPerPixel = 15;

HDC DcOf(forms::Dc surface) { return surface ? static_cast<HDC>(surface->Native()) : nullptr; }

}  // namespace

std::unique_ptr<DibMemory> DibMemory::Create(int width, int height) {
  const BITMAPINFO info{TopDownHeader(width, height, 32), {}};
  std::unique_ptr<DibMemory> memory(new DibMemory());
  memory->dc_.Reset(CreateCompatibleDC(nullptr));
  if (!memory->dc_) return nullptr;
  void* bits = nullptr;
  memory->bitmap_.Reset(
      CreateDIBSection(memory->dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory->bitmap_ || !bits) return nullptr;
  memory->bits_ = static_cast<forms::Color*>(bits);
  memory->width_ = width;
  memory->height_ = height;
  memory->selection_.emplace(memory->dc_.Get(), memory->bitmap_.Get());
  // Each copy maps whole source pixels; see Win32Platform::StretchBlt.
  SetStretchBltMode(memory->dc_.Get(), COLORONCOLOR);
  return memory;
}

namespace {

// What a surface falls back to when GDI cannot make a DIB: its pixels stay
// right, only GDI cannot copy them, so the copies take the portable path.
class HeapFallback final : public forms::SurfaceMemory {
 public:
  explicit HeapFallback(std::size_t count) : pixels_(count) {}
  forms::Color* Bits() override { return pixels_.data(); }

 private:
  std::vector<forms::Color> pixels_;
};

}  // namespace

std::unique_ptr<forms::SurfaceMemory> DibSurfaces::Allocate(int width, int height) {
  if (auto dib = DibMemory::Create(width, height)) return dib;
  return std::make_unique<HeapFallback>(static_cast<std::size_t>(width) * height);
}

std::unique_ptr<forms::FormNative> Win32Platform::CreateFormNative(forms::Form& form) {
  return std::make_unique<Win32FormNative>(*this, form);
}

bool Win32Platform::SystemParametersInfo(std::uint32_t action, std::uint32_t param, void* data,
                                         std::uint32_t flags) {
  return SystemParametersInfoW(action, param, data, flags) != FALSE;
}

bool Win32Platform::MonitorWorkArea(forms::WindowHandle window, forms::RectL& workArea,
                                    forms::RectL& monitor) {
  HMONITOR nearest = window ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST) : nullptr;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!nearest || !GetMonitorInfoW(nearest, &info)) return false;
  // The process is aware of each monitor's scale, so these are the
  // system's pixels, as WM_GETMINMAXINFO carries them; no design pixel.
  workArea = {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
  monitor = {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
             info.rcMonitor.bottom};
  return true;
}

std::intptr_t Win32Platform::GetWindowLongPtr(forms::WindowHandle window, int index) {
  return GetWindowLongPtrW(window, index);
}

std::intptr_t Win32Platform::SetWindowLongPtr(forms::WindowHandle window, int index,
                                              std::intptr_t value) {
  return SetWindowLongPtrW(window, index, value);
}

forms::LResult Win32Platform::CallWindowProc(forms::WndProc proc, forms::WindowHandle window,
                                             std::uint32_t message, forms::WParam wParam,
                                             forms::LParam lParam) {
  return CallWindowProcW(proc, window, message, wParam, lParam);
}

int Win32Platform::SetWindowRgn(forms::WindowHandle window, forms::RegionHandle region,
                                bool redraw) {
  // A form's outline is given in design pixels; its window scales it.
  if (Win32FormNative* native = NativeOf(window); native && native->Handle() == window) {
    return native->SetOutline(region, redraw);
  }
  // On success the system owns the region; it must not be deleted here.
  const int result = ::SetWindowRgn(window, region, redraw ? TRUE : FALSE);
  if (!result && region) DeleteObject(region);
  return result;
}

forms::LResult Win32Platform::SendMessage(forms::WindowHandle window, std::uint32_t message,
                                          forms::WParam wParam, forms::LParam lParam) {
  return ::SendMessageW(window, message, wParam, lParam);
}

// Who holds the capture is the portable record's business; the system's
// WM_CAPTURECHANGED for these two comes back as a loss the record ignores.
void Win32Platform::GrabPointer(forms::WindowHandle window) { ::SetCapture(window); }

void Win32Platform::UngrabPointer() { ::ReleaseCapture(); }

std::string Win32Platform::CommandLine() {
  const wchar_t* line = GetCommandLineW();
  return line ? Narrow(ArgumentsOf(line)) : std::string();
}

// A second start ends here, from inside its load handler: nothing of the
// program may run after it, so no destructor is reached on the way out.
void Win32Platform::EndProcess() { ExitProcess(0); }

int Win32Platform::DoubleClickTime() { return static_cast<int>(GetDoubleClickTime()); }

int Win32Platform::DoubleClickSize() { return GetSystemMetrics(SM_CXDOUBLECLK); }

forms::RegionHandle Win32Platform::CreateRoundRectRgn(int left, int top, int right, int bottom,
                                                      int ellipseW, int ellipseH) {
  return ::CreateRoundRectRgn(left, top, right, bottom, ellipseW, ellipseH);
}

bool Win32Platform::BitBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx, int sy,
                           std::uint32_t rop) {
  HDC to = DcOf(dst);
  HDC from = DcOf(src);
  if (!to || !from || rop != SRCCOPY)
    return forms::PortableBitBlt(dst, x, y, w, h, src, sx, sy, rop);
  if (dst->Empty() || src->Empty() || w <= 0 || h <= 0) return false;
  const bool done = ::BitBlt(to, x, y, w, h, from, sx, sy, SRCCOPY) != FALSE;
  // GDI may batch the copy; portable code reads the pixels straight after.
  GdiFlush();
  return done;
}

bool Win32Platform::StretchBlt(forms::Dc dst, int x, int y, int w, int h, forms::Dc src, int sx,
                               int sy, int sw, int sh, std::uint32_t rop) {
  HDC to = DcOf(dst);
  HDC from = DcOf(src);
  if (!to || !from || rop != SRCCOPY) {
    return forms::PortableStretchBlt(dst, x, y, w, h, src, sx, sy, sw, sh, rop);
  }
  if (dst->Empty() || src->Empty() || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
  // COLORONCOLOR (set on every surface DC) copies whole source pixels instead
  // of blending neighbours, so a stretched frame piece keeps the art's exact
  // colours. GDI's own choice of source pixel may differ from floor(i*sw/w)
  // at the edges, but every piece the program stretches is uniform along the
  // stretched direction, so the result equals the portable copy.
  const bool done = ::StretchBlt(to, x, y, w, h, from, sx, sy, sw, sh, SRCCOPY) != FALSE;
  GdiFlush();
  return done;
}

int Win32Platform::ScreenWidthTwips() { return GetSystemMetrics(SM_CXSCREEN) * kTwipsPerPixel; }

int Win32Platform::ScreenHeightTwips() { return GetSystemMetrics(SM_CYSCREEN) * kTwipsPerPixel; }

forms::Color Win32Platform::SystemColor(forms::SysColor color) {
  return FromColorRef(GetSysColor(static_cast<int>(color)));
}

std::optional<forms::Picture> Win32Platform::LoadBitmapResource(int id) {
  return LoadBitmapPicture(instance_, id);
}

std::optional<forms::Picture> Win32Platform::LoadDesignPicture(std::string_view name) {
  if (name == "logo") return LoadBitmapPicture(instance_, IDB_LOGO);
  if (name == "so") return LoadGifPicture(instance_, IDR_SEARCH_FRAME_GIF);
  if (name == "hand") return LoadCursorPicture(instance_, IDC_HAND_POINTER);
  if (name == "about") return LoadGifPicture(instance_, IDR_ABOUT_LOGO_GIF);
  return std::nullopt;
}

// The last loaded form has gone; the loop returns once the current message
// has been handled.
void Win32Platform::QuitLoop() { PostQuitMessage(0); }

namespace {

// Empty means "none" to the shell, which wants a null pointer for it.
const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

std::intptr_t Win32Platform::ShellExecute(forms::WindowHandle owner, std::string_view verb,
                                          std::string_view file, std::string_view parameters,
                                          std::string_view directory, int showCmd) {
  const std::wstring wideVerb = Widen(verb);
  const std::wstring wideFile = Widen(file);
  const std::wstring wideParameters = Widen(parameters);
  const std::wstring wideDirectory = Widen(directory);
  // Nothing to open is refused here as the shell would refuse it.
  if (wideFile.empty()) return SE_ERR_FNF;
  HINSTANCE result = ShellExecuteW(owner, OrNull(wideVerb), wideFile.c_str(),
                                   OrNull(wideParameters), OrNull(wideDirectory), showCmd);
  return reinterpret_cast<std::intptr_t>(result);
}

int Win32Platform::MsgBox(forms::WindowHandle owner, std::string_view text,
                              std::string_view caption, std::uint32_t type) {
  const int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), type);
  return answer == IDOK ? forms::kIdOk : forms::kIdCancel;
}

forms::IconHandle Win32Platform::LoadIconResource(int id) {
  for (const LoadedIcon& icon : icons_) {
    if (icon.id == id) return icon.big;
  }
  // LR_SHARED: the system keeps the icons for the life of the process.
  auto load = [&](int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                         LR_SHARED));
  };
  HICON big = load(SM_CXICON, SM_CYICON);
  if (!big) return nullptr;
  HICON smallIcon = load(SM_CXSMICON, SM_CYSMICON);
  icons_.push_back({id, big, smallIcon ? smallIcon : big});
  return big;
}

HICON Win32Platform::SmallIconOf(HICON icon) const {
  for (const LoadedIcon& loaded : icons_) {
    if (loaded.big == icon) return loaded.smallIcon;
  }
  return icon;
}

Win32FormNative* Win32Platform::NativeOf(HWND window) const {
  HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
  if (!root) return nullptr;
  for (Win32FormNative* native : natives_) {
    if (native->Handle() == root) return native;
  }
  return nullptr;
}

bool Win32Platform::PreTranslate(MSG& message) {
  Win32FormNative* native = NativeOf(message.hwnd);
  return native && native->PreTranslate(message);
}

void Win32Platform::AfterDispatch(const MSG& message) {
  // Looked up again: the message may have unloaded the form.
  if (Win32FormNative* native = NativeOf(message.hwnd)) native->AfterDispatch(message);
}

}  // namespace win32
