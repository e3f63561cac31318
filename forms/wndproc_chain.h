// A window-procedure chain for backends whose system has none (GTK, the
// fake): SetWindowLongPtr(GWL_WNDPROC) swaps the head, and messages enter at
// the head. The window's own procedure at the tail handles nothing.
#pragma once

#include <cstdint>

#include "forms/types.h"

namespace forms {

LResult DefaultWindowProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);

class WndProcChain {
 public:
  WndProc Head() const { return head_; }
  // Returns the procedure that was at the head.
  WndProc Replace(WndProc proc) {
    WndProc previous = head_;
    head_ = proc ? proc : &DefaultWindowProc;
    return previous;
  }
  LResult Send(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) const {
    return head_(window, message, wParam, lParam);
  }

 private:
  WndProc head_ = &DefaultWindowProc;
};

}  // namespace forms
