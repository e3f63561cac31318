// See connection_stream.h.
#include "site/connection_stream.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "site/access_log.h"
#include "site/head_scanner.h"
#include "site/sockets.h"
#include "site/text.h"

namespace site {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Longer lengths are beyond any payload the site takes and beyond what
// fits a 64-bit count; they are refused rather than parsed.
constexpr std::size_t kMaxLengthDigits = 18;

bool IsTokenChar(char c) {
  auto b = static_cast<unsigned char>(c);
  return std::isalnum(b) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, IsTokenChar);
}

std::string_view TrimSpaces(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// "METHOD SP TARGET SP VERSION" with a token for a method and no control
// bytes or spaces in the target. Raw bytes >= 0x80 are tolerated in the
// target, as common servers do; they simply match no page.
bool IsWellFormed(std::string_view line, const RequestLineParts& parts) {
  if (std::ranges::count(line, ' ') != 2) return false;
  if (parts.target.empty()) return false;
  if (!IsToken(parts.method)) return false;
  return std::ranges::none_of(parts.target, [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F;
  });
}

// A Content-Length value: digits, or a list of identical digit strings
// ("5, 5"), which RFC 9110 lets a recipient take as the one length. Empty
// when it is anything else.
std::string SingleLength(std::string_view value) {
  std::string length;
  for (;;) {
    std::size_t comma = value.find(',');
    std::string_view item = TrimSpaces(value.substr(0, comma));
    if (item.empty() || item.size() > kMaxLengthDigits ||
        !std::ranges::all_of(item, [](char c) { return c >= '0' && c <= '9'; })) {
      return {};
    }
    // Leading zeros must not make equal lengths look different.
    std::size_t nonZero = std::min(item.find_first_not_of('0'), item.size() - 1);
    item.remove_prefix(nonZero);
    if (!length.empty() && item != length) return {};
    length = item;
    if (comma == std::string_view::npos) return length;
    value.remove_prefix(comma + 1);
  }
}

// The status code at the start of a response head ("HTTP/1.1 200 OK"), or
// 0 when the bytes don't start one.
int StatusOfResponseHead(std::string_view head) {
  if (!head.starts_with("HTTP/")) return 0;
  std::size_t space = head.find(' ');
  if (space == std::string_view::npos || space + 4 > head.size()) return 0;
  int status = 0;
  for (char c : head.substr(space + 1, 3)) {
    if (c < '0' || c > '9') return 0;
    status = status * 10 + (c - '0');
  }
  return status;
}

ssize_t Take(const std::string& from, std::size_t& pos, char* ptr, std::size_t size) {
  std::size_t n = std::min(size, from.size() - pos);
  std::memcpy(ptr, from.data() + pos, n);
  pos += n;
  return static_cast<ssize_t>(n);
}

}  // namespace

std::string_view ConnectionStream::FillNow(bool* ended) {
  *ended = false;
  DropConsumedInput();
  // Read onto the stack first: a connection sending its head a byte at a
  // time should cost bytes, not a whole chunk of buffer each.
  char chunk[16 * 1024];
  long long n;
  SocketError error = SocketError::kFailed;
  do {
    n = Receive(sock_, chunk, sizeof chunk, true);
    if (n < 0) error = LastSocketError();
  } while (n < 0 && error == SocketError::kRetry);
  if (n == 0 || (n < 0 && error == SocketError::kFailed)) *ended = true;
  if (n <= 0) return {};
  inbox_.append(chunk, static_cast<std::size_t>(n));
  return std::string_view(inbox_).substr(inbox_.size() - static_cast<std::size_t>(n));
}

bool ConnectionStream::TakeHeaderLine(std::string_view line, std::string* forwarded) {
  std::size_t colon = line.find(':');
  std::string_view name = line.substr(0, colon);
  // No name, a folded continuation (leading space) or space before the
  // colon: RFC 9112 has servers refuse these rather than guess, since
  // another reader of the same bytes may guess differently.
  if (colon == std::string_view::npos || !IsToken(name)) return false;
  std::string_view value = line.substr(colon + 1);
  // A lone CR or a NUL inside a value.
  if (value.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) return false;

  if (EqualsIgnoringAsciiCase(name, "Content-Length")) {
    std::string length = SingleLength(value);
    if (length.empty() || (!contentLength_.empty() && length != contentLength_)) return false;
    contentLength_ = length;
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
    hasTransferEncoding_ = true;
    if (!transferCoding_.empty()) transferCoding_ += ",";
    transferCoding_ += TrimSpaces(value);
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Range") || EqualsIgnoringAsciiCase(name, "If-Range")) {
    // httplib would answer a Range it can't parse with 416 before any
    // handler runs and would cut whatever body a handler returns, error
    // pages included; the site answers ranges itself.
    heldBack_.emplace_back(std::string(name), std::string(value));
    return true;
  }
  // Dropped only now: a framing header must never go unseen.
  if (line.size() > kMaxForwardedHeaderLine) return true;
  *forwarded += line;
  *forwarded += "\r\n";
  return true;
}

ConnectionStream::Head ConnectionStream::ReadHead() {
  presented_.clear();
  presentedPos_ = 0;
  requestLine_.clear();
  heldBack_.clear();
  unreadBody_ = false;
  contentLength_.clear();
  transferCoding_.clear();
  hasTransferEncoding_ = false;
  framingBroken_ = false;
  DropConsumedInput();

  std::string line;
  // A stray CRLF between requests (some clients send one after a body) is
  // skipped, as HTTP asks servers to.
  for (int blank = 0; blank < 4 && line.empty(); ++blank) {
    switch (ReadLine(kMaxRequestLine, &line)) {
      case LineResult::kEnded: return Head::kClosed;
      case LineResult::kTooLong: requestLine_ = std::move(line); return Head::kLineTooLong;
      case LineResult::kLine: break;
    }
  }
  requestLine_ = std::move(line);
  RequestLineParts parts = SplitRequestLine(requestLine_);
  if (!HasHttp1Version(requestLine_)) {
    // No headers are read for it: an HTTP/0.9 client sends none.
    presented_ = "-\r\n";
    unreadBody_ = true;
    return Head::kRequest;
  }

  std::string headers;
  std::size_t headerBytes = 0;
  for (;;) {
    switch (ReadLine(kMaxHeaderBytes - std::min(headerBytes, kMaxHeaderBytes), &line)) {
      case LineResult::kEnded: return Head::kClosed;
      case LineResult::kTooLong: return Head::kHeadTooLarge;
      case LineResult::kLine: break;
    }
    headerBytes += line.size() + 2;
    if (line.empty()) break;
    if (!framingBroken_ && !TakeHeaderLine(line, &headers)) framingBroken_ = true;
  }
  // RFC 9112 section 6.1: with both, the length can't be trusted, and the
  // connection must not carry another request. Only chunked is read, and
  // HTTP/1.0 has no transfer codings at all.
  if (hasTransferEncoding_ &&
      (!contentLength_.empty() || !EqualsIgnoringAsciiCase(transferCoding_, "chunked") ||
       parts.version == "HTTP/1.0")) {
    framingBroken_ = true;
  }

  if (framingBroken_ || !IsWellFormed(requestLine_, parts)) {
    // Not something httplib can parse: it answers 400 and we close.
    presented_ = "-\r\n";
    unreadBody_ = true;
    return Head::kRequest;
  }
  // The site takes no request bodies (every method that carries one gets
  // 405), so httplib is never given one to read: a client trickling a body
  // in would hold a worker for as long as it liked. A request that comes
  // with a body is answered without it and the connection closed; the body
  // is read and dropped on the head thread while the connection lingers.
  // Every method but GET and HEAD goes to httplib as a bodiless POST, which
  // lands in the one handler that answers 405.
  bool safe = parts.method == "GET" || parts.method == "HEAD";
  presented_ = safe ? std::string(parts.method) : "POST";
  presented_ += " / ";
  presented_ += parts.version;
  presented_ += "\r\n";
  presented_ += headers;
  if (!safe) presented_ += "Content-Length: 0\r\n";
  presented_ += "\r\n";
  unreadBody_ = (!contentLength_.empty() && contentLength_ != "0") || hasTransferEncoding_;
  return Head::kRequest;
}

void ConnectionStream::ExpectResponse(std::function<void(int)> onStatus) {
  onStatus_ = std::move(onStatus);
  status_ = 0;
  awaitingStatus_ = true;
}

int ConnectionStream::FinishResponse() {
  if (awaitingStatus_) {
    awaitingStatus_ = false;
    if (onStatus_) onStatus_(0);
  }
  onStatus_ = nullptr;
  return status_;
}

bool ConnectionStream::is_readable() const {
  return presentedPos_ < presented_.size() || HasBufferedInput() ||
         WaitFor(sock_, POLLIN, readTimeoutMs_);
}

bool ConnectionStream::is_writable() const { return WaitFor(sock_, POLLOUT, writeTimeoutMs_); }

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (presentedPos_ < presented_.size()) return Take(presented_, presentedPos_, ptr, size);
  if (!HasBufferedInput()) {
    DropConsumedInput();
    ssize_t n = Fill();
    if (n <= 0) return n;
  }
  return Take(inbox_, inboxPos_, ptr, size);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  if (awaitingStatus_) {
    int status = StatusOfResponseHead(std::string_view(ptr, size));
    if (status < 100 || status >= 200) {
      awaitingStatus_ = false;
      status_ = status;
      if (onStatus_) onStatus_(status);
    }
  }
  std::size_t sent = 0;
  while (sent < size) {
    if (!is_writable()) return -1;
    // Never SIGPIPE: a visitor closing the page mid-response must not end
    // the whole server.
    long long n = Send(sock_, ptr + sent, size - sent, false);
    if (n < 0 && LastSocketError() != SocketError::kFailed) continue;
    if (n < 0) return -1;
    sent += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  SocketAddress(sock_, true, &ip, &port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  SocketAddress(sock_, false, &ip, &port);
}

void ConnectionStream::DropConsumedInput() {
  inbox_.erase(0, inboxPos_);
  inboxPos_ = 0;
}

// Appends what the socket has; 0 at end of stream, -1 on error or timeout.
// Only bodies are read this way; heads arrive through FillNow.
ssize_t ConnectionStream::Fill() {
  if (!WaitFor(sock_, POLLIN, readTimeoutMs_)) return -1;
  std::size_t old = inbox_.size();
  inbox_.resize(old + kReadChunk);
  long long n;
  do {
    n = Receive(sock_, inbox_.data() + old, kReadChunk, false);
  } while (n < 0 && LastSocketError() == SocketError::kRetry);
  inbox_.resize(old + static_cast<std::size_t>(std::max<long long>(n, 0)));
  return static_cast<ssize_t>(n);
}

// The next buffered line without its LF (or CRLF). For kTooLong, `line`
// holds the first `limit` bytes of it; kEnded when the buffer ends first.
ConnectionStream::LineResult ConnectionStream::ReadLine(std::size_t limit, std::string* line) {
  std::size_t newline = inbox_.find('\n', inboxPos_);
  std::size_t available = (newline == std::string::npos ? inbox_.size() : newline) - inboxPos_;
  if (available > limit) {
    line->assign(inbox_, inboxPos_, limit);
    inboxPos_ += limit;
    return LineResult::kTooLong;
  }
  if (newline == std::string::npos) return LineResult::kEnded;
  line->assign(inbox_, inboxPos_, newline - inboxPos_);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  inboxPos_ = newline + 1;
  return LineResult::kLine;
}

}  // namespace site
