// One form's pointer input, decided once for every backend: which control an
// event belongs to, when a press and a release make a Click (or the second
// press a DblClick), who holds the capture, and which pointer shows over the
// form's surface. Backends pass in what the system reported and carry out
// capture and the move loop; they decide nothing here.
#pragma once

#include <cstdint>

#include "forms/control.h"
#include "forms/types.h"

namespace forms {

class Control;
class Form;

// A pointer event as the system reported it on one of the form's windows.
struct PointerInput {
  enum class Kind { kPress, kRelease, kMove };
  Kind kind = Kind::kMove;
  // Whose window received it: a control with a window of its own, or null
  // for the form's surface. Coordinates are pixels relative to that window.
  Control* window = nullptr;
  int x = 0;
  int y = 0;
  int button = 0;          // press and release: the button that changed (1, 2 or 4)
  int held = 0;            // buttons held after the event
  int shift = 0;           // 1 Shift, 2 Ctrl, 4 Alt
  std::uint32_t time = 0;  // ms, for double clicks; any monotonic origin
};

class PointerRouter {
 public:
  explicit PointerRouter(Form& form) : form_(form) {}

  void Input(const PointerInput& input);
  // The system took the pointer away from the form (hidden, capture lost,
  // move loop started): forget the press, drop our capture and tell the
  // control that held it that the pointer has left it.
  void Cancel();
  // The system took the capture from `holder` (null: the form's surface).
  void CaptureLost(Control* holder);
  // A windowless control's pointer or icon changed: show it if the pointer
  // rests on it.
  void PointerChanged(const Control& control);
  // The control was hidden or is going away: it takes no more input.
  void Forget(const Control& control);

  // The control the pointer lies over, in form coordinates: windowed
  // controls above windowless ones, children above containers, later
  // siblings above earlier ones. Null: the form's own surface.
  Control* HitTest(int x, int y) const;

 private:
  struct Target {
    Control* control = nullptr;  // null: the form's surface
    bool valid = false;          // false: the event is dropped
  };
  // Where an event goes: the capture holder, else `over`, the control hit.
  Target Route(Control* over) const;
  // The control whose window holds the capture, if this form holds it.
  Target CaptureHolder() const;
  void Raise(EventKind kind, Control* target, int button, int shift, int formX, int formY);
  void UpdatePointer(const Control* over);
  void EndPress();

  Form& form_;
  // The press in progress: where it went down; a DblClick press gives no Click.
  bool pressing_ = false;
  Control* pressOwner_ = nullptr;
  bool pressIsDouble_ = false;
  // The last left press, for double clicks.
  bool lastLeft_ = false;
  Control* lastLeftTarget_ = nullptr;
  std::uint32_t lastLeftTime_ = 0;
  int lastLeftX_ = 0;
  int lastLeftY_ = 0;
  // The pointer last shown over the surface.
  bool pointerKnown_ = false;
  const Control* pointerOver_ = nullptr;
};

}  // namespace forms
