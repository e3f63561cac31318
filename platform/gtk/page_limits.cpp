// The engine module's limits on a page: dialogs answered at once, at a
// trickle or not at all, and reload or our page after its process ended.
#include "page_limits.h"

namespace gtkplat {

DialogLimit::Answer DialogLimit::Next(std::int64_t nowMs) {
  if (trickled_ >= kTrickled) return Answer::kNever;
  // A clock that went back counts as no pause at all.
  if (inRow_ > 0 && nowMs - lastMs_ >= kPauseMs) inRow_ = 0;
  lastMs_ = nowMs;
  if (++inRow_ <= kAtOnce) return Answer::kNow;
  ++trickled_;
  return Answer::kLater;
}

bool ProcessEnds::ReloadAfterEnd(std::int64_t nowMs) {
  const bool again = ended_ && nowMs - lastMs_ < kSoonMs;
  ended_ = true;
  lastMs_ = nowMs;
  return !again;
}

}  // namespace gtkplat
