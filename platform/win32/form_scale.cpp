// The form's window at its monitor's scale: where each control's window
// goes in device pixels, the outline scaled from the program's design
// pixels, repaints of design rectangles and the move to a monitor of
// another scale. Implemented: any scale Windows offers, per monitor. The
// maximize bounds are not mapped: the work area of the window's monitor
// comes in the system's pixels at each WM_GETMINMAXINFO and goes back in
// them. Not yet: on a monitor larger than the primary one, a work area that
// covers the primary monitor but not its own (a taskbar there) cannot be
// said as a size for the primary monitor; it then rests on ptMaxTrackSize,
// which not every Windows applies to a window being maximized.
// The model never sees a device pixel: every size and position it reads or
// gets is in design pixels.
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/win32/control_peers.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

// The region with every edge mapped as the controls' edges are, so the
// outline meets the skin exactly; null when it cannot be made.
HRGN ScaledRegion(HRGN design, const forms::DeviceScale& scale) {
  const DWORD size = GetRegionData(design, 0, nullptr);
  if (size < sizeof(RGNDATAHEADER)) return nullptr;
  std::vector<std::byte> buffer(size);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  if (GetRegionData(design, size, data) != size) return nullptr;
  auto map = [&](RECT& r) {
    const forms::RectL d = scale.ToDevice(forms::RectL{r.left, r.top, r.right, r.bottom});
    r = RECT{d.left, d.top, d.right, d.bottom};
  };
  auto* rects = reinterpret_cast<RECT*>(data->Buffer);
  for (DWORD i = 0; i < data->rdh.nCount; ++i) map(rects[i]);
  map(data->rdh.rcBound);
  return ExtCreateRegion(nullptr, size, data);
}

}  // namespace

forms::PointL Win32FormNative::DesignOrigin(const forms::Control* control) {
  forms::PointL origin{};
  for (const forms::Control* c = control; c; c = c->Container()) {
    origin.x += c->Left();
    origin.y += c->Top();
  }
  return origin;
}

RECT Win32FormNative::DeviceRectOf(const forms::Control& control) const {
  const forms::RectL design{control.Left(), control.Top(), control.Left() + control.Width(),
                            control.Top() + control.Height()};
  const forms::RectL d = state_.scale.ToDeviceWithin(design, DesignOrigin(control.Container()));
  return RECT{d.left, d.top, d.right, d.bottom};
}

void Win32FormNative::InvalidateDesign(const RECT& design) {
  if (!state_.window) return;
  forms::RectL r{design.left, design.top, design.right, design.bottom};
  // Between whole factors a device pixel blends its design pixel with the
  // neighbours: theirs repaint too.
  if (!state_.scale.WholeFactor()) r = {r.left - 1, r.top - 1, r.right + 1, r.bottom + 1};
  const forms::RectL d = state_.scale.ToDevice(r);
  const RECT device{d.left, d.top, d.right, d.bottom};
  InvalidateRect(state_.window, &device, FALSE);
}

int Win32FormNative::SetOutline(HRGN design, bool redraw) {
  state_.outline.Reset(design);
  return ApplyOutline(redraw);
}

int Win32FormNative::ApplyOutline(bool redraw) {
  if (!state_.window) return 0;
  if (!state_.outline) return ::SetWindowRgn(state_.window, nullptr, redraw ? TRUE : FALSE);
  HRGN device = ScaledRegion(state_.outline.Get(), state_.scale);
  if (!device) return 0;
  // On success the system owns the region.
  const int result = ::SetWindowRgn(state_.window, device, redraw ? TRUE : FALSE);
  if (!result) DeleteObject(device);
  return result;
}

void Win32FormNative::DpiChanged(int dpi, const RECT& suggested) {
  HWND window = state_.window;
  if (!window || Closing()) return;
  state_.scale = forms::DeviceScale(dpi);
  // The old fonts live until every control has taken the new ones.
  Font oldUi = std::exchange(state_.font, MakeUiFont());
  Font oldButton = std::exchange(state_.buttonFont, MakeButtonFont());
  for (ControlPeer* peer : state_.peers) peer->Rescale();
  ApplyOutline(false);
  // The system's suggestion keeps the window where the user dropped it; its
  // size is the design's at the new scale, exact where the suggestion may be
  // a pixel off. A maximized window takes the suggestion whole.
  SIZE outer{suggested.right - suggested.left, suggested.bottom - suggested.top};
  if (!IsZoomed(window)) outer = OuterSize(form_.ScaleWidth(), form_.ScaleHeight());
  SetWindowPos(window, nullptr, suggested.left, suggested.top, outer.cx, outer.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

}  // namespace win32
