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
// Connections don't each hold one of httplib's workers for their lifetime:
// a ConnectionScheduler reads heads for all of them on one thread and
// passes a connection to a worker only once a whole head is in, so slow or
// idle clients can't starve the rest.
//
// This leans on httplib 0.11's protected Server::process_request, its
// virtual process_and_close_socket and its replaceable task queue.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "site/connection_scheduler.h"

namespace site {

class AccessLog;

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

  // Serves on a socket already listening (systemd's, handed over at
  // start) instead of binding one. The socket stays systemd's: Stop() and
  // an idle end leave it listening, so the next client is queued there
  // and systemd starts the site again.
  void AdoptListeningSocket(socket_t sock);

  // With an adopted socket: listen_after_bind() returns once no request
  // came for `after` and no connection is open.
  void ExitWhenIdle(std::chrono::milliseconds after) { idleExit_ = after; }

  socket_t ListeningSocket() const { return svr_sock_; }

  // stop(), but an adopted socket is only let go of, never shut down.
  void Stop();

  // Film downloads go out at no more than this many bytes a second; 0, the
  // default, means no limit. Pages are never slowed.
  void ThrottleDownloads(std::uint64_t bytesPerSecond);

  // Before listening: how long heads may take, how many connections may
  // wait, how many workers answer. The defaults suit the site; tests
  // shorten the deadlines.
  void SetConnectionLimits(const SchedulerLimits& limits) { limits_ = limits; }

 private:
  bool process_and_close_socket(socket_t sock) override;

  void PrimeHttplib();
  ConnectionScheduler::After Serve(Connection& connection);
  void RefuseSlowHead(Connection& connection);
  void EndIfIdle();

  AccessLog* log_;
  SchedulerLimits limits_;
  // The scheduler of the running listen loop; created, used and destroyed
  // on the listening thread only.
  ConnectionScheduler* scheduler_ = nullptr;
  std::atomic<std::uint64_t> downloadRate_{0};
  bool adopted_ = false;
  std::chrono::milliseconds idleExit_{0};
};

}  // namespace site
