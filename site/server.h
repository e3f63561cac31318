// The HTTP side of the site: cpp-httplib speaks the protocol, Route() picks
// the page.
//
// Debian ships cpp-httplib as a compiled library, so its request-line limit
// (CPPHTTPLIB_REQUEST_URI_MAX_LENGTH, 8192 bytes when the library was built)
// can't be raised by defining the macro before including httplib.h: the
// check runs inside libcpp-httplib.so. Searches put the keyword into the
// address percent-encoded, and the desktop program sends encoded keywords
// of up to 1 MiB. So SiteServer reads every request head itself: it keeps
// the raw request line (for the log and for routing) and hands httplib a
// short stand-in request line followed by the client's own headers. httplib
// still does the rest: headers, bodies, HEAD, keep-alive, writing the
// response. Byte ranges it never sees: Range lines are held back and
// answered by the download route.
//
// This leans on httplib 0.11's protected Server::process_request and its
// virtual process_and_close_socket.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace site {

class AccessLog;

// Longest request line answered; beyond it the answer is 414. Leaves room
// for the largest search the desktop program sends (1 MiB of encoded
// keyword) plus path and framing.
inline constexpr std::size_t kMaxRequestLine = (std::size_t{1} << 20) + 8192;

// All header lines of one request together; beyond it, 431.
inline constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

// Single header lines longer than this are dropped before httplib sees them,
// which would otherwise refuse the whole request (its compiled-in limit is
// 8192 per line). No header this long matters to the site; the likely one
// is a Referer holding a long search address.
inline constexpr std::size_t kMaxForwardedHeaderLine = 8000;

inline constexpr int kListenBacklog = 128;

class SiteServer : public httplib::Server {
 public:
  // `log` may be null; otherwise it must outlive the server. Each request's
  // line is written before its response goes out, so whoever has the
  // response can already read the line.
  explicit SiteServer(AccessLog* log);

  // httplib's own, with a listen backlog of kListenBacklog instead of its
  // fixed five: a browser opening a handful of connections at once would
  // otherwise have some of them wait a second for the SYN to be retried.
  bool bind_to_port(const std::string& host, int port, int socket_flags = 0);
  int bind_to_any_port(const std::string& host, int socket_flags = 0);

  // Film downloads go out at no more than this many bytes a second; 0, the
  // default, means no limit. Pages are never slowed.
  void ThrottleDownloads(std::uint64_t bytesPerSecond);

 private:
  bool process_and_close_socket(socket_t sock) override;

  // Idle wait between requests on one connection; gives up early once the
  // server is stopping.
  bool WaitForRequest(socket_t sock) const;

  AccessLog* log_;
  std::atomic<std::uint64_t> downloadRate_{0};
};

}  // namespace site
