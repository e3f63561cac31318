#include "forms/wndproc_chain.h"

namespace forms {

LResult DefaultWindowProc(WindowHandle, std::uint32_t, WParam, LParam) { return 0; }

std::intptr_t SoftWindowLongs::Get(int index) const {
  if (index == kGwlStyle) return style;
  if (index == kGwlWndProc) return reinterpret_cast<std::intptr_t>(chain.Head());
  return 0;
}

std::intptr_t SoftWindowLongs::Set(int index, std::intptr_t value) {
  if (index == kGwlStyle) {
    const std::intptr_t previous = style;
    style = value;
    return previous;
  }
  if (index == kGwlWndProc) {
    return reinterpret_cast<std::intptr_t>(chain.Replace(reinterpret_cast<WndProc>(value)));
  }
  return 0;
}

}  // namespace forms
