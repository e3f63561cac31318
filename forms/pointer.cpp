#include "forms/pointer.h"

#include <cstdlib>

#include "forms/form.h"

namespace forms {
namespace {

bool Inside(const Control& c, PointL origin, int x, int y) {
  return x >= origin.x && y >= origin.y && x < origin.x + c.Width() && y < origin.y + c.Height();
}

// Stacking: a windowless control lies on its container's surface, below the
// container's windowed children; nesting raises a control above its
// container.
int Layer(const Control& c) {
  int depth = 0;
  for (const Control* k = c.Container(); k; k = k->Container()) ++depth;
  return 2 * depth + (c.Windowless() ? 0 : 1);
}

}  // namespace

Control* PointerRouter::HitTest(int x, int y) const {
  Control* best = nullptr;
  int bestLayer = -1;
  for (const auto& owned : form_.Controls()) {
    Control& c = *owned;
    if (!c.Showing()) continue;
    // A container clips its children: the point must lie in every one.
    bool inside = true;
    for (const Control* k = &c; k && inside; k = k->Container()) {
      inside = Inside(*k, k->OriginInForm(), x, y);
    }
    if (!inside) continue;
    const int layer = Layer(c);
    if (layer >= bestLayer) {  // later siblings lie above earlier ones
      best = &c;
      bestLayer = layer;
    }
  }
  return best;
}

PointerRouter::Target PointerRouter::CaptureHolder() const {
  const WindowHandle held = form_.Os().GetCapture();
  if (!held) return {};
  if (held == form_.hWnd()) return {nullptr, true};
  if (Control* c = form_.ControlOf(held)) return {c, true};
  return {};
}

PointerRouter::Target PointerRouter::Route(Control* over) const {
  const Target holder = CaptureHolder();
  if (!holder.valid) return {over, true};
  // The surface captured for a press on one of its labels: the label keeps
  // the pointer until the release, as if it had a window of its own.
  if (!holder.control && pressing_ && pressOwner_ && pressOwner_->Windowless() &&
      !pressOwner_->Container()) {
    return {pressOwner_, true};
  }
  return holder;
}

void PointerRouter::Raise(EventKind kind, Control* target, int button, int shift, int formX,
                          int formY) {
  const PointL origin = target ? target->OriginInForm() : PointL{};
  Event event;
  event.kind = kind;
  event.source = target;
  event.button = button;
  event.shift = shift;
  event.x = formX - origin.x;
  event.y = formY - origin.y;
  form_.Raise(event);
}

void PointerRouter::EndPress() {
  pressing_ = false;
  pressOwner_ = nullptr;
  pressIsDouble_ = false;
}

void PointerRouter::Input(const PointerInput& in) {
  if (form_.Dying() || (in.window && !form_.Owns(in.window))) return;  // a window that is gone
  const PointL origin = in.window ? in.window->OriginInForm() : PointL{};
  const int fx = origin.x + in.x;
  const int fy = origin.y + in.y;
  // Hit-tested once per event: routing, the click and the pointer agree.
  Control* over = HitTest(fx, fy);
  switch (in.kind) {
    case PointerInput::Kind::kMove: {
      // A release the system kept from us (its move loop, another grab).
      if (pressing_ && in.held == 0) EndPress();
      const Target t = Route(over);
      // Buttons held count for the control the press began on only, so a
      // press that slides off a button never drags the window.
      const int buttons = pressing_ && t.control != pressOwner_ ? 0 : in.held;
      Raise(EventKind::kMouseMove, t.control, buttons, in.shift, fx, fy);
      UpdatePointer(over);
      return;
    }
    case PointerInput::Kind::kPress: {
      if (pressing_ && (in.held & ~in.button) == 0) EndPress();  // its release was lost
      const Target t = Route(over);
      bool dbl = false;
      if (!pressing_) {
        pressing_ = true;
        pressOwner_ = t.control;
        if (in.button == kLeftButton) {
          const int box = form_.Os().DoubleClickSize() / 2;
          dbl =
              lastLeft_ && lastLeftTarget_ == t.control &&
              in.time - lastLeftTime_ <= static_cast<std::uint32_t>(form_.Os().DoubleClickTime()) &&
              std::abs(fx - lastLeftX_) <= box && std::abs(fy - lastLeftY_) <= box;
          pressIsDouble_ = dbl;
          lastLeft_ = !dbl;
          lastLeftTarget_ = t.control;
          lastLeftTime_ = in.time;
          lastLeftX_ = fx;
          lastLeftY_ = fy;
        }
        // The runtime captures the pointer for the pressed control so that
        // it hears the release; a label's press captures its surface.
        Control* host = t.control;
        while (host && host->Windowless()) host = host->Container();
        const WindowHandle w = host ? host->hWnd() : form_.hWnd();
        if (w && form_.Os().GetCapture() != w) form_.Os().SetCapture(w);
      }
      // The second press of a double click raises DblClick, not MouseDown.
      Raise(dbl ? EventKind::kDblClick : EventKind::kMouseDown, t.control, dbl ? 0 : in.button,
            in.shift, fx, fy);
      return;
    }
    case PointerInput::Kind::kRelease: {
      const Target t = Route(over);
      Raise(EventKind::kMouseUp, t.control, in.button, in.shift, fx, fy);
      if (in.held != 0 || !pressing_) {
        UpdatePointer(over);
        return;
      }
      Control* owner = pressOwner_;
      const bool dbl = pressIsDouble_;
      EndPress();
      // The last button up ends the capture, whoever took it since.
      if (CaptureHolder().valid) form_.Os().ReleaseCapture();
      // A click: the left button, pressed and released on the same control.
      if (in.button == kLeftButton && !dbl && owner == t.control && over == owner &&
          (!owner || form_.Owns(owner))) {
        Raise(EventKind::kClick, owner, 0, 0, fx, fy);
      }
      UpdatePointer(over);
      return;
    }
  }
}

void PointerRouter::UpdatePointer(const Control* over) {
  FormNative* native = form_.Native();
  if (!native) return;
  if (over && !(over->Windowless() && !over->Container())) return;  // not on our surface
  if (pointerKnown_ && over == pointerOver_) return;
  pointerKnown_ = true;
  pointerOver_ = over;
  native->ShowPointer(over);
}

void PointerRouter::PointerChanged(const Control& control) {
  if (!pointerKnown_ || pointerOver_ != &control) return;
  if (FormNative* native = form_.Native()) native->ShowPointer(&control);
}

void PointerRouter::Cancel() {
  EndPress();
  lastLeft_ = false;
  const Target holder = CaptureHolder();
  if (!holder.valid) return;
  form_.Os().ReleaseCapture();
  CaptureLost(holder.control);
}

void PointerRouter::CaptureLost(Control* holder) {
  EndPress();
  lastLeft_ = false;
  if (holder && !form_.Owns(holder)) return;
  // Tell the holder the pointer has left it, one pixel above and left of
  // its corner, so it shows its normal look again.
  const PointL origin = holder ? holder->OriginInForm() : PointL{};
  Raise(EventKind::kMouseMove, holder, 0, 0, origin.x - 1, origin.y - 1);
}

void PointerRouter::Forget(const Control& control) {
  if (pressOwner_ == &control) EndPress();
  if (lastLeftTarget_ == &control) lastLeft_ = false;
  if (pointerOver_ == &control) pointerKnown_ = false;
  if (form_.Os().GetCapture() && form_.Os().GetCapture() == control.hWnd()) {
    form_.Os().ReleaseCapture();
  }
}

}  // namespace forms
