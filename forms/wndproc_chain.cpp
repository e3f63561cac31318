#include "forms/wndproc_chain.h"

namespace forms {

LResult DefaultWindowProc(WindowHandle, std::uint32_t, WParam, LParam) { return 0; }

}  // namespace forms
