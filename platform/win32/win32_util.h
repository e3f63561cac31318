// Owners for the Win32 and COM handles the backend holds (GDI objects, DCs,
// icons, windows, kernel objects, COM references, BSTRs; not yet menus; the
// DDE handles are owned in dde_link.cpp, the only place that makes them), and
// the UTF-8 <-> UTF-16 conversion at the system boundary. Backend-only: portable code must
// never include this, and nothing here may know about forms or controls.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/windows_api.h"

namespace win32 {

// Invalid UTF-8 or UTF-16 comes out with U+FFFD in place of the bad units.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The window's whole text as UTF-8.
std::string WindowText(HWND window);

// 0x00RRGGBB (our colours) <-> COLORREF 0x00BBGGRR.
constexpr COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
constexpr std::uint32_t FromColorRef(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

// A DIB header for rows top-down (negative height), as our surfaces lay
// them out; the colour table, if any, follows it in the caller's struct.
inline BITMAPINFOHEADER TopDownHeader(int width, int height, WORD bitCount) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = bitCount;
  header.biCompression = BI_RGB;
  return header;
}

// The object a window was created for: kept at WM_NCCREATE from the
// creation parameters, read back from the window afterwards.
template <class T>
T* AttachedObject(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* created = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    return created;
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Move-only owner of a handle released by Traits::Close.
template <typename Handle, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  void Reset(Handle handle = Handle{}) {
    if (handle_ != Handle{}) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

struct GdiTraits {
  static void Close(HGDIOBJ object) { DeleteObject(object); }
};
struct DcTraits {
  static void Close(HDC dc) { DeleteDC(dc); }
};
struct IconTraits {
  static void Close(HICON icon) { DestroyIcon(icon); }
};
struct KernelTraits {
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct WindowTraits {
  static void Close(HWND window) {
    if (IsWindow(window)) DestroyWindow(window);
  }
};

using Bitmap = Owned<HBITMAP, GdiTraits>;
using Brush = Owned<HBRUSH, GdiTraits>;
using Font = Owned<HFONT, GdiTraits>;
using Region = Owned<HRGN, GdiTraits>;
using MemoryDc = Owned<HDC, DcTraits>;
// Icons and cursors made by CreateIconIndirect.
using IconHandle = Owned<HICON, IconTraits>;
using Window = Owned<HWND, WindowTraits>;
// Mutexes, events and the like (not INVALID_HANDLE_VALUE files).
using KernelHandle = Owned<HANDLE, KernelTraits>;

// Selects an object into a DC for the lifetime of the guard and puts the
// previous one back, so no DC is ever deleted with our object inside it.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() {
    if (previous_) SelectObject(dc_, previous_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window's screen DC for one scope.
class ScreenDc {
 public:
  explicit ScreenDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScreenDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint for one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &ps_); }
  ~PaintScope() { EndPaint(window_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC Dc() const { return dc_; }
  const RECT& Area() const { return ps_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

// A counted COM reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  // Takes over a reference the caller already owns.
  static ComPtr Adopt(T* ptr) {
    ComPtr result;
    result.ptr_ = ptr;
    return result;
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases what is held and hands out the slot.
  T** Put() {
    Reset();
    return &ptr_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }

  template <typename U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (ptr_) ptr_->QueryInterface(iid, result.PutVoid());
    return result;
  }

 private:
  T* ptr_ = nullptr;
};

// A BSTR for one call.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// The mouse messages the form's router takes: moves and the three buttons.
inline bool IsPointerMessage(UINT message) {
  switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return true;
    default: return false;
  }
}

}  // namespace win32
