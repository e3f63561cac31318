// Painting: the form's persistent image with the labels and images drawn on
// top, each picture box's own image with its focus cue once the keyboard
// was used, the text box's colours and the UI font.
// Not yet: labels and images inside picture boxes (the design has none).
// Painting reads the model only; it must never change it or raise events.
#include <algorithm>
#include <cstddef>
#include <initializer_list>

#include "forms/device_scale.h"
#include "platform/win32/control_peers.h"
#include "platform/win32/win32_form.h"
#include "platform/win32/win32_platform.h"

namespace win32 {
namespace {

// Copies part of a surface; a surface GDI could not back (no DC) goes
// through SetDIBitsToDevice from its pixels instead.
void BlitSurface(HDC dc, int x, int y, int w, int h, const forms::Surface& surface, int sx,
                 int sy) {
  if (surface.Empty() || w <= 0 || h <= 0) return;
  if (auto* source = static_cast<HDC>(surface.Native())) {
    BitBlt(dc, x, y, w, h, source, sx, sy, SRCCOPY);
    return;
  }
  const BITMAPINFO info{TopDownHeader(surface.Width(), surface.Height(), 32), {}};
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, x, y, x + w, y + h);
  SetDIBitsToDevice(dc, x - sx, y - sy, surface.Width(), surface.Height(), 0, 0, 0,
                    surface.Height(), surface.Bits(), &info, DIB_RGB_COLORS);
  RestoreDC(dc, saved);
}

void Fill(HDC dc, const RECT& rect, forms::Color color) {
  Brush brush(CreateSolidBrush(ToColorRef(color)));
  if (brush) FillRect(dc, &rect, brush.Get());
}

bool FaceExists(HDC dc, const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(
      dc, &query,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
        *reinterpret_cast<bool*>(found) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// Straight alpha over the buffer's pixels, rounded to nearest.
forms::Color Blend(forms::Color over, forms::Color under, unsigned alpha) {
  auto channel = [alpha](forms::Color a, forms::Color b, int shift) {
    const unsigned top = (a >> shift) & 0xFF;
    const unsigned bottom = (b >> shift) & 0xFF;
    return ((top * alpha + bottom * (255 - alpha) + 127) / 255) << shift;
  };
  return channel(over, under, 16) | channel(over, under, 8) | channel(over, under, 0);
}

// Composes the picture over the buffer's pixels inside `clip` only.
void ComposePicture(const forms::Picture& picture, int left, int top, DibMemory& buffer,
                    const RECT& clip) {
  // GDI must have finished with the buffer before its pixels are touched.
  GdiFlush();
  const int x0 = std::max({0, -left, static_cast<int>(clip.left) - left});
  const int y0 = std::max({0, -top, static_cast<int>(clip.top) - top});
  const int x1 = std::min({picture.width, buffer.Width() - left, static_cast<int>(clip.right) - left});
  const int y1 =
      std::min({picture.height, buffer.Height() - top, static_cast<int>(clip.bottom) - top});
  for (int y = y0; y < y1; ++y) {
    const std::size_t from = static_cast<std::size_t>(y) * picture.width;
    forms::Color* row = buffer.Bits() + static_cast<std::size_t>(top + y) * buffer.Width() + left;
    for (int x = x0; x < x1; ++x) {
      const unsigned alpha = picture.alpha.empty() ? 0xFF : picture.alpha[from + x];
      if (alpha == 0xFF) {
        row[x] = picture.pixels[from + x];
      } else if (alpha != 0) {
        row[x] = Blend(picture.pixels[from + x], row[x], alpha);
      }
    }
  }
}

}  // namespace

Font Win32FormNative::MakeUiFont() const {
  ScreenDc screen(nullptr);
  // Drawn at the window's scale from the outline, never a bitmap enlarged.
  const int height = -state_.scale.ToDevice(12);
  // The default GUI font of a Chinese system: SimSun at 12 pixels, whose
  // Chinese glyphs are 12 and Latin ones 6 pixels wide on 12-pixel lines, as
  // the window's layout was made with. NSimSun has the same glyphs.
  for (const wchar_t* face : {L"SimSun", L"NSimSun"}) {
    if (!FaceExists(screen.Get(), face)) continue;
    Font font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, face));
    if (font) return font;
  }
  // Neither is installed (a Western system): let the font mapper pick any
  // font with Chinese at the same size.
  return Font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, L""));
}

Font Win32FormNative::MakeButtonFont() const {
  // The stock dialog font is made for the system's scale; the window's own
  // monitor may have another.
  LOGFONTW face{};
  if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(face), &face)) return {};
  const int system = ScaleOf(nullptr).Dpi();
  face.lfHeight = MulDiv(face.lfHeight, state_.scale.Dpi(), system);
  face.lfWidth = MulDiv(face.lfWidth, state_.scale.Dpi(), system);
  return Font(CreateFontIndirectW(&face));
}

void Win32FormNative::PaintForm() {
  PaintScope paint(state_.window);
  const RECT& area = paint.Area();
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return;
  if (!state_.scale.Identity()) {
    PaintScaled(paint.Dc(), area);
    return;
  }
  if (!state_.backBuffer || state_.backBuffer->Width() < w || state_.backBuffer->Height() < h) {
    // Grown to the largest area painted so far, never shrunk.
    const int bw = std::max(w, state_.backBuffer ? state_.backBuffer->Width() : 0);
    const int bh = std::max(h, state_.backBuffer ? state_.backBuffer->Height() : 0);
    state_.backBuffer = DibMemory::Create(bw, bh);
    if (!state_.backBuffer) return;
  }
  DibMemory& buffer = *state_.backBuffer;
  HDC dc = buffer.Dc();
  // Whatever the persistent image does not cover shows the form's colour;
  // it grows with the window, so usually it covers everything.
  if (form_.Image().Width() < area.right || form_.Image().Height() < area.bottom) {
    Fill(dc, RECT{0, 0, w, h}, forms::Resolve(platform_, form_.BackColor()));
  }
  BlitSurface(dc, 0, 0, w, h, form_.Image(), area.left, area.top);
  const POINT origin{area.left, area.top};
  // Later controls lie above earlier ones.
  for (const auto& control : form_.Controls()) {
    const auto kind = control->Kind();
    if ((kind != forms::ControlKind::kLabel && kind != forms::ControlKind::kImage) ||
        control->Container() || !control->Visible()) {
      continue;
    }
    DrawWindowless(*control, dc, buffer, origin);
  }
  BitBlt(paint.Dc(), area.left, area.top, w, h, dc, 0, 0, SRCCOPY);
}

void Win32FormNative::DrawWindowless(forms::Control& control, HDC dc, DibMemory& buffer,
                                     POINT origin) {
  const int left = control.Left() - origin.x;
  const int top = control.Top() - origin.y;
  if (control.Kind() == forms::ControlKind::kImage) {
    if (const forms::Picture* picture = control.PictureData(); picture && picture->Valid()) {
      ComposePicture(*picture, left, top, buffer, RECT{0, 0, buffer.Width(), buffer.Height()});
    }
    return;
  }
  DrawLabel(control, dc, origin);
}

void Win32FormNative::DrawLabel(forms::Control& label, HDC dc, POINT origin) {
  const std::wstring text = Widen(label.Text());
  if (text.empty()) return;
  ScopedSelect font(dc, state_.font.Get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(forms::Resolve(platform_, label.ForeColor())));
  SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  TextOutW(dc, state_.scale.ToDevice(label.Left()) - origin.x,
           state_.scale.ToDevice(label.Top()) - origin.y, text.c_str(),
           static_cast<int>(text.size()));
}

void Win32FormNative::PaintScaled(HDC target, const RECT& area) {
  const forms::DeviceScale& scale = state_.scale;
  const int designWidth = std::max(1, form_.ScaleWidth());
  const int designHeight = std::max(1, form_.ScaleHeight());
  // The design pixels this area shows, and a pixel around them: between
  // whole factors a device pixel blends its neighbours in.
  const forms::RectL shown = scale.Covering({area.left, area.top, area.right, area.bottom});
  const RECT design{std::max(0, shown.left - 1), std::max(0, shown.top - 1),
                    std::min(designWidth, shown.right + 1),
                    std::min(designHeight, shown.bottom + 1)};
  if (design.right <= design.left || design.bottom <= design.top) return;
  auto fits = [](const std::unique_ptr<DibMemory>& b, int w, int h) {
    return b && b->Width() >= w && b->Height() >= h;
  };
  // Both grow to the largest size painted so far, never shrink.
  auto grow = [&](std::unique_ptr<DibMemory>& b, int w, int h) {
    if (fits(b, w, h)) return true;
    b = DibMemory::Create(std::max(w, b ? b->Width() : 0), std::max(h, b ? b->Height() : 0));
    return static_cast<bool>(b);
  };
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (!grow(state_.designBuffer, designWidth, designHeight) || !grow(state_.backBuffer, w, h)) {
    return;
  }
  // The surface as at 100 %: the persistent image, the form's colour past
  // it, and the images over both.
  DibMemory& composed = *state_.designBuffer;
  const int dw = design.right - design.left;
  const int dh = design.bottom - design.top;
  // The form's colour only where the persistent image stops short.
  if (form_.Image().Width() < design.right || form_.Image().Height() < design.bottom) {
    Fill(composed.Dc(), design, forms::Resolve(platform_, form_.BackColor()));
  }
  BlitSurface(composed.Dc(), design.left, design.top,
              std::min(dw, form_.Image().Width() - static_cast<int>(design.left)),
              std::min(dh, form_.Image().Height() - static_cast<int>(design.top)), form_.Image(),
              design.left, design.top);
  for (const auto& control : form_.Controls()) {
    if (control->Kind() != forms::ControlKind::kImage || control->Container() ||
        !control->Visible()) {
      continue;
    }
    if (const forms::Picture* picture = control->PictureData(); picture && picture->Valid()) {
      ComposePicture(*picture, control->Left(), control->Top(), composed, design);
    }
  }
  GdiFlush();
  DibMemory& device = *state_.backBuffer;
  const forms::PixelView source{
      composed.Bits() + static_cast<std::size_t>(design.top) * composed.Width() + design.left, dw,
      dh, composed.Width()};
  forms::Enlarge(source, design.left, design.top, scale, {device.Bits(), w, h, device.Width()},
                 area.left, area.top);
  // Texts last, drawn at the scaled font size. No form has an image over
  // a label, so drawing them above the images loses nothing.
  const POINT origin{area.left, area.top};
  for (const auto& control : form_.Controls()) {
    if (control->Kind() == forms::ControlKind::kLabel && !control->Container() &&
        control->Visible()) {
      DrawLabel(*control, device.Dc(), origin);
    }
  }
  BitBlt(target, area.left, area.top, w, h, device.Dc(), 0, 0, SRCCOPY);
}

RECT Win32FormNative::WindowlessArea(const forms::Control& c) {
  RECT area{c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
  if (c.Kind() != forms::ControlKind::kLabel || !state_.window) return area;
  // The text may run past the label's design size; its whole extent
  // repaints. Measured at the window's scale, then given in design pixels.
  const std::wstring text = Widen(c.Text());
  ScreenDc screen(state_.window);
  ScopedSelect font(screen.Get(), state_.font.Get());
  SIZE extent{};
  if (!text.empty() &&
      GetTextExtentPoint32W(screen.Get(), text.c_str(), static_cast<int>(text.size()), &extent)) {
    const forms::DeviceScale& scale = state_.scale;
    const int right = scale.ToDesign(scale.ToDevice(area.left) + extent.cx - 1) + 1;
    const int bottom = scale.ToDesign(scale.ToDevice(area.top) + extent.cy - 1) + 1;
    area.right = std::max(area.right, static_cast<LONG>(right));
    area.bottom = std::max(area.bottom, static_cast<LONG>(bottom));
  }
  return area;
}

void Win32FormNative::PaintPictureBox(HWND window, forms::Control& control) {
  PaintScope paint(window);
  RECT client{};
  GetClientRect(window, &client);
  DrawPictureBox(paint.Dc(), client, control);
  if (ShowsFocusCue(control, window)) {
    // A pixel inside the edge, as the system's buttons show it; only after
    // a key, so the pointer user's skin stays exactly as drawn.
    RECT cue = client;
    InflateRect(&cue, -1, -1);
    DrawFocusRect(paint.Dc(), &cue);
  }
}

void Win32FormNative::DrawPictureBox(HDC dc, const RECT& client, forms::Control& control) {
  const forms::Color back = forms::Resolve(platform_, control.BackColor());
  forms::Surface* image = control.Image();
  if (!image || image->Empty()) {
    Fill(dc, client, back);
    return;
  }
  // The image never gets smaller than the control (it only grows), so it
  // covers the whole client area.
  if (state_.scale.Identity()) {
    BlitSurface(dc, 0, 0, client.right, client.bottom, *image, 0, 0);
    return;
  }
  auto& buffer = state_.backBuffer;
  if (!buffer || buffer->Width() < client.right || buffer->Height() < client.bottom) {
    buffer = DibMemory::Create(std::max<int>(client.right, buffer ? buffer->Width() : 0),
                               std::max<int>(client.bottom, buffer ? buffer->Height() : 0));
    if (!buffer) return;
  }
  // Placed by the same mapping as the form's surface around it, so the two
  // meet without a seam.
  const forms::PointL origin = DesignOrigin(&control);
  const forms::DeviceScale& scale = state_.scale;
  GdiFlush();
  forms::Enlarge({image->Bits(), image->Width(), image->Height(), image->Width()}, origin.x,
                 origin.y, scale, {buffer->Bits(), client.right, client.bottom, buffer->Width()},
                 scale.ToDevice(origin.x), scale.ToDevice(origin.y));
  BitBlt(dc, 0, 0, client.right, client.bottom, buffer->Dc(), 0, 0, SRCCOPY);
}

HBRUSH Win32FormNative::TextBoxBrush(HDC dc, HWND edit) {
  for (const ControlPeer* peer : state_.peers) {
    const forms::Control& box = peer->Model();
    if (peer->Window() != edit || box.Kind() != forms::ControlKind::kTextBox) continue;
    const COLORREF back = ToColorRef(forms::Resolve(platform_, box.BackColor()));
    SetTextColor(dc, ToColorRef(forms::Resolve(platform_, box.ForeColor())));
    SetBkColor(dc, back);
    for (const auto& [color, brush] : state_.brushes) {
      if (color == back) return brush.Get();
    }
    state_.brushes.emplace_back(back, Brush(CreateSolidBrush(back)));
    return state_.brushes.back().second.Get();
  }
  return nullptr;
}

}  // namespace win32
