// See head_scanner.h.
#include "site/head_scanner.h"

#include <algorithm>

namespace site {

std::size_t HeadScanner::LineLimit() const {
  if (phase_ == Phase::kRequestLine) return kMaxRequestLine;
  return kMaxHeaderBytes - std::min(headerBytes_, kMaxHeaderBytes);
}

bool HeadScanner::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (phase_ == Phase::kDone) break;
    started_ = true;
    if (c != '\n') {
      lastWasCr_ = c == '\r';
      // A line past its limit is refused as soon as it is too long; its
      // end need not arrive.
      if (++lineLength_ > LineLimit()) phase_ = Phase::kDone;
      continue;
    }
    std::size_t length = lineLength_ - (lastWasCr_ ? 1 : 0);
    lineLength_ = 0;
    lastWasCr_ = false;
    if (phase_ == Phase::kRequestLine) {
      if (length > 0 || ++linesBeforeRequest_ == 4) phase_ = Phase::kHeaders;
    } else {
      headerBytes_ += length + 2;
      if (length == 0) phase_ = Phase::kDone;
    }
  }
  return Ready();
}

}  // namespace site
