// The shared half of the platform: who holds the pointer capture, and which
// form a window handle belongs to. Backends only grab and ungrab.
#include "forms/platform.h"

#include <algorithm>

#include "forms/form.h"

namespace forms {
namespace {

// The form owning `window` and the control whose window it is (null: the
// form's own surface).
struct Owner {
  Form* form = nullptr;
  Control* control = nullptr;
};

Owner FindOwner(const std::vector<Form*>& forms, WindowHandle window) {
  if (!window) return {};
  for (Form* form : forms) {
    if (form->hWnd() == window) return {form, nullptr};
    if (Control* control = form->ControlOf(window)) return {form, control};
  }
  return {};
}

}  // namespace

void Platform::RegisterForm(Form& form) {
  if (std::find(forms_.begin(), forms_.end(), &form) == forms_.end()) forms_.push_back(&form);
}

void Platform::UnregisterForm(Form& form) {
  const auto before = forms_.size();
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
  // The last loaded form is gone: the program has nothing left to run.
  if (before != forms_.size() && forms_.empty() && !loopEnded_) {
    loopEnded_ = true;
    QuitLoop();
  }
}

void Platform::NativeSessionEnd(UnloadMode mode) {
  const std::vector<Form*> asked = forms_;
  for (Form* form : asked) {
    if (std::find(forms_.begin(), forms_.end(), form) != forms_.end()) {
      form->NativeCloseRequest(mode);
    }
  }
  const std::vector<Form*> left = forms_;
  for (Form* form : left) {
    if (std::find(forms_.begin(), forms_.end(), form) != forms_.end()) form->Unload();
  }
}

WindowHandle Platform::SetCapture(WindowHandle window) {
  const WindowHandle previous = capture_;
  // Only windows of ours can hold it; anything else is refused as the
  // system refuses a window of another thread.
  if (!FindOwner(forms_, window).form) return previous;
  capture_ = window;
  if (previous != window) GrabPointer(window);
  return previous;
}

bool Platform::ReleaseCapture() {
  if (!capture_) return true;
  // Cleared first: the system may report the loss back while we ungrab.
  capture_ = nullptr;
  UngrabPointer();
  return true;
}

void Platform::NativeCaptureLost(WindowHandle window) {
  if (!capture_ || capture_ != window) return;  // our own release or a hand-over
  const Owner owner = FindOwner(forms_, window);
  capture_ = nullptr;
  if (owner.form) owner.form->Pointer().CaptureLost(owner.control);
}

}  // namespace forms
