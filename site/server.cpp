#include "site/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "site/access_log.h"
#include "site/file_sender.h"
#include "site/pages.h"
#include "site/router.h"

namespace site {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxPayload = 1 << 20;
constexpr std::size_t kKeepAliveRequests = 100;
constexpr std::size_t kWorkerThreads = 64;

// A client refused with 414 or 431 may still be sending; reading and
// dropping a little of it before closing keeps the kernel from answering
// with a reset that would destroy our error page in flight.
constexpr std::size_t kMaxDrainBytes = 8 << 20;
constexpr auto kMaxDrainTime = std::chrono::seconds(2);

constexpr std::string_view kHtmlType = "text/html; charset=utf-8";

int Milliseconds(time_t sec, time_t usec) { return static_cast<int>(sec * 1000 + usec / 1000); }

bool WaitFor(socket_t sock, short events, int timeoutMs) {
  pollfd entry{sock, events, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool IsTokenChar(char c) {
  auto b = static_cast<unsigned char>(c);
  return std::isalnum(b) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// "METHOD SP TARGET SP VERSION" with a token for a method and no control
// bytes or spaces in the target. Raw bytes >= 0x80 are tolerated in the
// target, as common servers do; they simply match no page.
bool IsWellFormed(std::string_view line, const RequestLineParts& parts) {
  if (std::ranges::count(line, ' ') != 2) return false;
  if (parts.method.empty() || parts.target.empty() || !parts.version.starts_with("HTTP/")) {
    return false;
  }
  if (!std::ranges::all_of(parts.method, IsTokenChar)) return false;
  return std::ranges::none_of(parts.target, [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F;
  });
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

void ReadAddress(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  }
  ip = text;
}

// One client connection. Between requests it reads a whole request head
// itself; while httplib handles the request it first reads the stand-in
// head built from that, then whatever follows on the socket.
class ConnectionStream final : public httplib::Stream {
 public:
  enum class Head { kRequest, kClosed, kLineTooLong, kHeadTooLarge };

  ConnectionStream(socket_t sock, int readTimeoutMs, int writeTimeoutMs)
      : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

  bool HasBufferedInput() const { return inboxPos_ < inbox_.size(); }

  Head ReadHead() {
    presented_.clear();
    presentedPos_ = 0;
    requestLine_.clear();
    heldBack_.clear();
    unreadBody_ = false;
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

    std::string headers;
    std::size_t headerBytes = 0;
    bool hasLength = false;
    bool hasBody = false;
    for (;;) {
      switch (ReadLine(kMaxHeaderBytes - std::min(headerBytes, kMaxHeaderBytes), &line)) {
        case LineResult::kEnded: return Head::kClosed;
        case LineResult::kTooLong: return Head::kHeadTooLarge;
        case LineResult::kLine: break;
      }
      headerBytes += line.size() + 2;
      if (line.empty()) break;
      if (line.size() > kMaxForwardedHeaderLine) continue;
      std::size_t colon = line.find(':');
      std::string_view name = std::string_view(line).substr(0, colon);
      if (EqualsIgnoringAsciiCase(name, "Content-Length")) {
        hasLength = true;
        std::string_view value = std::string_view(line).substr(colon + 1);
        hasBody = hasBody || value.find_first_not_of(" \t0") != std::string_view::npos;
      } else if (EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
        hasLength = true;
        hasBody = true;
      } else if (colon != std::string::npos && (EqualsIgnoringAsciiCase(name, "Range") ||
                                                EqualsIgnoringAsciiCase(name, "If-Range"))) {
        // httplib would answer a Range it can't parse with 416 before any
        // handler runs and would cut whatever body a handler returns, error
        // pages included; the site answers ranges itself.
        heldBack_.emplace_back(std::string(name), std::string(line, colon + 1));
        continue;
      }
      headers += line;
      headers += "\r\n";
    }

    if (!IsWellFormed(requestLine_, parts)) {
      // A line httplib can't parse: it answers 400 and we close.
      presented_ = "-\r\n";
      unreadBody_ = true;
      return Head::kRequest;
    }
    // httplib reads a body only for the methods it knows take one. Every
    // method this site refuses goes to it as POST, so the body is still read
    // off the connection (keeping keep-alive in step) and the request lands
    // in the one handler that answers 405.
    bool safe = parts.method == "GET" || parts.method == "HEAD";
    presented_ = safe ? std::string(parts.method) : "POST";
    presented_ += " / ";
    presented_ += parts.version;
    presented_ += "\r\n";
    presented_ += headers;
    if (!safe && !hasLength) {
      // No length and no chunking means no body; said out loud so httplib
      // doesn't wait for the connection to end instead.
      presented_ += "Content-Length: 0\r\n";
    }
    presented_ += "\r\n";
    unreadBody_ = safe && hasBody;
    return Head::kRequest;
  }

  // The line of the request ReadHead() last read, without its line ending;
  // for kLineTooLong, as much of it as was read.
  const std::string& RequestLine() const { return requestLine_; }

  // Header lines of the last request kept from httplib, value untrimmed.
  const HeaderList& HeldBackHeaders() const { return heldBack_; }

  // A GET or HEAD came with a body that httplib leaves on the connection,
  // or the request line was unusable: nothing more can be read in step.
  bool MustClose() const { return unreadBody_; }

  // `onStatus` hears the status of the next final (non-1xx) response just
  // before its first byte is sent.
  void ExpectResponse(std::function<void(int)> onStatus) {
    onStatus_ = std::move(onStatus);
    status_ = 0;
    awaitingStatus_ = true;
  }

  // Reports status 0 if no response went out since ExpectResponse.
  int FinishResponse() {
    if (awaitingStatus_) {
      awaitingStatus_ = false;
      if (onStatus_) onStatus_(0);
    }
    onStatus_ = nullptr;
    return status_;
  }

  void WriteAll(std::string_view data) { write(data.data(), data.size()); }

  // Reads and drops whatever the client still sends, within limits.
  void Drain() {
    auto deadline = std::chrono::steady_clock::now() + kMaxDrainTime;
    std::size_t dropped = 0;
    char sink[16 * 1024];
    while (dropped < kMaxDrainBytes) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !WaitFor(sock_, POLLIN, static_cast<int>(left.count()))) {
        return;
      }
      ssize_t n = ::recv(sock_, sink, sizeof sink, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      dropped += static_cast<std::size_t>(n);
    }
  }

  bool is_readable() const override {
    return presentedPos_ < presented_.size() || HasBufferedInput() ||
           WaitFor(sock_, POLLIN, readTimeoutMs_);
  }

  bool is_writable() const override { return WaitFor(sock_, POLLOUT, writeTimeoutMs_); }

  ssize_t read(char* ptr, size_t size) override {
    if (presentedPos_ < presented_.size()) {
      return Take(presented_, presentedPos_, ptr, size);
    }
    if (!HasBufferedInput()) {
      DropConsumedInput();
      ssize_t n = Fill();
      if (n <= 0) return n;
    }
    return Take(inbox_, inboxPos_, ptr, size);
  }

  ssize_t write(const char* ptr, size_t size) override {
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
      // MSG_NOSIGNAL: a visitor closing the page mid-response must not
      // raise SIGPIPE in the whole server.
      ssize_t n = ::send(sock_, ptr + sent, size - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ReadAddress(address, ip, port);
    }
  }

  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ReadAddress(address, ip, port);
    }
  }

  socket_t socket() const override { return sock_; }

 private:
  enum class LineResult { kLine, kEnded, kTooLong };

  static ssize_t Take(const std::string& from, std::size_t& pos, char* ptr, std::size_t size) {
    std::size_t n = std::min(size, from.size() - pos);
    std::memcpy(ptr, from.data() + pos, n);
    pos += n;
    return static_cast<ssize_t>(n);
  }

  void DropConsumedInput() {
    inbox_.erase(0, inboxPos_);
    inboxPos_ = 0;
  }

  // Appends what the socket has; 0 at end of stream, -1 on error or timeout.
  ssize_t Fill() {
    if (!WaitFor(sock_, POLLIN, readTimeoutMs_)) return -1;
    std::size_t old = inbox_.size();
    inbox_.resize(old + kReadChunk);
    ssize_t n;
    do {
      n = ::recv(sock_, inbox_.data() + old, kReadChunk, 0);
    } while (n < 0 && errno == EINTR);
    inbox_.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    return n;
  }

  // The next line without its LF (or CRLF). For kTooLong, `line` holds the
  // first `limit` bytes of it.
  LineResult ReadLine(std::size_t limit, std::string* line) {
    std::size_t scanned = inboxPos_;
    for (;;) {
      std::size_t newline = inbox_.find('\n', scanned);
      std::size_t available = (newline == std::string::npos ? inbox_.size() : newline) - inboxPos_;
      if (available > limit) {
        line->assign(inbox_, inboxPos_, limit);
        inboxPos_ += limit;
        return LineResult::kTooLong;
      }
      if (newline != std::string::npos) {
        line->assign(inbox_, inboxPos_, newline - inboxPos_);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        inboxPos_ = newline + 1;
        return LineResult::kLine;
      }
      scanned = inbox_.size();
      if (Fill() <= 0) return LineResult::kEnded;
    }
  }

  socket_t sock_;
  int readTimeoutMs_;
  int writeTimeoutMs_;

  std::string inbox_;  // bytes received and not yet consumed from inboxPos_
  std::size_t inboxPos_ = 0;
  std::string presented_;  // the stand-in head httplib reads first
  std::size_t presentedPos_ = 0;
  std::string requestLine_;
  HeaderList heldBack_;
  bool unreadBody_ = false;

  std::function<void(int)> onStatus_;
  bool awaitingStatus_ = false;
  int status_ = 0;
};

std::string_view TrimSpaces(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

RequestHeaders HeadersForRoute(const httplib::Request& req) {
  RequestHeaders headers;
  auto [begin, end] = req.headers.equal_range("Range");
  for (auto it = begin; it != end; ++it) {
    headers.range = headers.range ? *headers.range + ", " + it->second : it->second;
  }
  headers.hasIfRange = req.has_header("If-Range");
  return headers;
}

void SetResponse(const SiteResponse& page, httplib::Response& res,
                 const std::function<httplib::ContentProvider(const FileSlice&)>& sendFile) {
  res.status = page.status;
  std::string contentType(page.Header("Content-Type"));
  for (const auto& [name, value] : page.headers) {
    if (EqualsIgnoringAsciiCase(name, "Content-Type")) continue;
    // Replaces the server-wide default rather than sending it twice.
    res.headers.erase(name);
    res.set_header(name.c_str(), value);
  }
  if (page.file) {
    res.set_content_provider(static_cast<std::size_t>(page.file->length), contentType,
                             sendFile(*page.file));
  } else {
    res.set_content(page.body, contentType.c_str());
  }
}

std::string RefusalHead(int status, std::size_t contentLength) {
  std::string head = "HTTP/1.1 " + std::to_string(status) +
                     (status == 414 ? " URI Too Long" : " Request Header Fields Too Large");
  head += "\r\nContent-Type: ";
  head += kHtmlType;
  head +=
      "\r\nCache-Control: no-store\r\nConnection: close\r\n"
      "Content-Length: " +
      std::to_string(contentLength) + "\r\n\r\n";
  return head;
}

}  // namespace

SiteServer::SiteServer(AccessLog* log) : log_(log) {
  auto sendFile = [this](const FileSlice& slice) {
    return FileProvider(slice, downloadRate_, [this] { return svr_sock_ == INVALID_SOCKET; });
  };
  auto serve = [sendFile](const httplib::Request& req, httplib::Response& res) {
    // req.target is the raw target from the client's request line; see
    // process_and_close_socket.
    SetResponse(Route(req.method, req.target, HeadersForRoute(req)), res, sendFile);
  };
  Get(".*", serve);
  Post(".*", serve);

  set_error_handler(HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
    // Our own 404 and 405 pages arrive here too and are kept; this only
    // dresses the bare errors httplib produces itself (400, 413).
    if (!res.body.empty()) return HandlerResponse::Unhandled;
    res.set_content(RenderErrorPage(res.status, "服务器无法处理这个请求。"),
                    std::string(kHtmlType).c_str());
    return HandlerResponse::Handled;
  }));
  // httplib's default is SO_REUSEPORT, which lets a second kivo-site share
  // a port already in use instead of failing; SO_REUSEADDR alone still
  // allows a quick restart over connections in TIME_WAIT.
  set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  set_default_headers({{"Cache-Control", "no-store"}});
  set_payload_max_length(kMaxPayload);
  set_keep_alive_max_count(kKeepAliveRequests);
  // A connection holds its worker for as long as it stays open, slow
  // downloads for many seconds; httplib's default of eight workers would let
  // a few downloads plus a browser's idle connections starve page requests.
  new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
}

bool SiteServer::bind_to_port(const std::string& host, int port, int socket_flags) {
  if (!httplib::Server::bind_to_port(host, port, socket_flags)) return false;
  // Linux takes a second listen() on a listening socket as a new backlog.
  ::listen(svr_sock_, kListenBacklog);
  return true;
}

int SiteServer::bind_to_any_port(const std::string& host, int socket_flags) {
  int port = httplib::Server::bind_to_any_port(host, socket_flags);
  if (port > 0) ::listen(svr_sock_, kListenBacklog);
  return port;
}

void SiteServer::ThrottleDownloads(std::uint64_t bytesPerSecond) { downloadRate_ = bytesPerSecond; }

bool SiteServer::WaitForRequest(socket_t sock) const {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
  while (svr_sock_ != INVALID_SOCKET) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    if (WaitFor(sock, POLLIN, static_cast<int>(std::min<long long>(left.count(), 100)))) {
      return true;
    }
  }
  return false;
}

bool SiteServer::process_and_close_socket(socket_t sock) {
  ConnectionStream stream(sock, Milliseconds(read_timeout_sec_, read_timeout_usec_),
                          Milliseconds(write_timeout_sec_, write_timeout_usec_));
  bool ok = true;
  for (std::size_t served = 0; served < keep_alive_max_count_; ++served) {
    if (!stream.HasBufferedInput() && !WaitForRequest(sock)) break;
    ConnectionStream::Head head = stream.ReadHead();
    if (head == ConnectionStream::Head::kClosed) break;

    RequestLineParts parts = SplitRequestLine(stream.RequestLine());
    stream.ExpectResponse([this, &parts](int status) {
      if (log_) log_->Write(FormatLogLine(parts.method, parts.target, status));
    });

    if (head != ConnectionStream::Head::kRequest) {
      int status = head == ConnectionStream::Head::kLineTooLong ? 414 : 431;
      std::string body = RenderErrorPage(status, status == 414 ? "请求的地址太长，服务器无法处理。"
                                                               : "请求头太大，服务器无法处理。");
      stream.WriteAll(RefusalHead(status, body.size()));
      if (parts.method != "HEAD") stream.WriteAll(body);
      stream.FinishResponse();
      ::shutdown(sock, SHUT_WR);
      stream.Drain();
      ok = false;
      break;
    }

    bool clientClosing = false;
    bool lastRequest = served + 1 == keep_alive_max_count_;
    ok = process_request(stream, lastRequest, clientClosing, [&](httplib::Request& req) {
      req.target = std::string(parts.target);
      // httplib has parsed its ranges by now (finding none), so the held
      // back lines can rejoin the request for the site's own range handling.
      for (const auto& [name, value] : stream.HeldBackHeaders()) {
        req.headers.emplace(name, std::string(TrimSpaces(value)));
      }
    });
    int status = stream.FinishResponse();
    if (!ok || clientClosing || stream.MustClose() || status == 400 || status == 413) {
      break;
    }
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return ok;
}

}  // namespace site
