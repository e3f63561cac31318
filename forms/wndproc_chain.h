// A window-procedure chain for backends whose system has none (GTK, the
// fake): SetWindowLongPtr(kGwlWndProc) swaps the head, and messages enter at
// the head. The window's own procedure at the tail is the backend's default
// handling (by default: nothing).
#pragma once

#include <cstdint>

#include "forms/types.h"

namespace forms {

LResult DefaultWindowProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);

class WndProcChain {
 public:
  explicit WndProcChain(WndProc tail = &DefaultWindowProc)
      : tail_(tail ? tail : &DefaultWindowProc), head_(tail_) {}
  WndProc Head() const { return head_; }
  // Returns the procedure that was at the head.
  WndProc Replace(WndProc proc) {
    WndProc previous = head_;
    head_ = proc ? proc : tail_;
    return previous;
  }
  LResult Send(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) const {
    return head_(window, message, wParam, lParam);
  }

 private:
  WndProc tail_;
  WndProc head_;
};

// What GetWindowLongPtr and SetWindowLongPtr reach on such a system: the
// procedure chain and the style bits. Other indices read as 0.
struct SoftWindowLongs {
  SoftWindowLongs() = default;
  explicit SoftWindowLongs(WndProc tail) : chain(tail) {}
  WndProcChain chain;
  std::intptr_t style = 0;

  std::intptr_t Get(int index) const;
  // Returns the previous value, as the system call does.
  std::intptr_t Set(int index, std::intptr_t value);
};

}  // namespace forms
