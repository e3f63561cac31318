// See head_scanner.h.
#include "site/head_scanner.h"

#include <algorithm>
#include <cstring>

namespace site {

bool HasHttp1Version(std::string_view requestLine) {
  return requestLine.ends_with(" HTTP/1.1") || requestLine.ends_with(" HTTP/1.0");
}

std::size_t HeadScanner::LineLimit() const {
  if (phase_ == Phase::kRequestLine) return kMaxRequestLine;
  return kMaxHeaderBytes - std::min(headerBytes_, kMaxHeaderBytes);
}

void HeadScanner::Remember(char c) {
  std::memmove(tail_, tail_ + 1, sizeof tail_ - 1);
  tail_[sizeof tail_ - 1] = c;
}

bool HeadScanner::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (phase_ == Phase::kDone) break;
    started_ = true;
    if (c != '\n') {
      if (lastWasCr_) Remember('\r');
      lastWasCr_ = c == '\r';
      if (!lastWasCr_) Remember(c);
      // A line past its limit is refused as soon as it is too long; its
      // end need not arrive.
      if (++lineLength_ > LineLimit()) phase_ = Phase::kDone;
      continue;
    }
    std::size_t length = lineLength_ - (lastWasCr_ ? 1 : 0);
    lineLength_ = 0;
    lastWasCr_ = false;
    if (phase_ == Phase::kRequestLine) {
      if (length > 0 || ++linesBeforeRequest_ == 4) {
        bool http1 =
            length >= sizeof tail_ && HasHttp1Version(std::string_view(tail_, sizeof tail_));
        phase_ = http1 ? Phase::kHeaders : Phase::kDone;
      }
    } else {
      headerBytes_ += length + 2;
      if (length == 0) phase_ = Phase::kDone;
    }
  }
  return Ready();
}

}  // namespace site
