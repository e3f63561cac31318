// Watches a connection's bytes as they arrive and tells when they hold a
// whole request head, or enough of one that it can only be refused, so the
// head can then be parsed without ever waiting on the socket. Follows the
// same line rules as ConnectionStream::ReadHead: lines end in LF or CRLF, up
// to four blank lines are skipped before the request line, the request line
// may be kMaxRequestLine bytes long and all header lines together
// kMaxHeaderBytes. A request line that doesn't end in " HTTP/1.0" or
// " HTTP/1.1" (HTTP/0.9, an HTTP/2 preface, garbage) is refused as soon as
// it ends, so such a client gets its 400 without waiting for headers that
// will never come.
#pragma once

#include <cstddef>
#include <string_view>

namespace site {

// Longest request line answered; beyond it the answer is 414. Leaves room
// for the largest search the desktop program sends (1 MiB of encoded
// keyword) plus path and framing.
inline constexpr std::size_t kMaxRequestLine = (std::size_t{1} << 20) + 8192;

// All header lines of one request together; beyond it, 431.
inline constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

// The request line ends in a version this site speaks.
bool HasHttp1Version(std::string_view requestLine);

class HeadScanner {
 public:
  // Takes the next bytes of the connection; true once a head is ready.
  // Bytes after the head are left for the next request and not looked at.
  bool Feed(std::string_view bytes);

  bool Ready() const { return phase_ == Phase::kDone; }
  // Some byte of the coming head has arrived.
  bool Started() const { return started_; }

  void Reset() { *this = HeadScanner(); }

 private:
  enum class Phase { kRequestLine, kHeaders, kDone };

  std::size_t LineLimit() const;
  void Remember(char c);

  Phase phase_ = Phase::kRequestLine;
  int linesBeforeRequest_ = 0;
  std::size_t lineLength_ = 0;  // bytes of the current line so far, CR included
  bool lastWasCr_ = false;
  std::size_t headerBytes_ = 0;
  bool started_ = false;
  // The last bytes of the current line, CR excluded, for its version.
  char tail_[9] = {};
};

}  // namespace site
