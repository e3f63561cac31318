#include "site/server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "site/access_log.h"
#include "site/file_sender.h"
#include "site/pages.h"
#include "site/priming_stream.h"
#include "site/router.h"
#include "site/sockets.h"
#include "site/text.h"

namespace site {
namespace {

constexpr std::size_t kMaxPayload = 1 << 20;
// An idle connection holds no worker, so a connection may carry as many
// requests as a client likes to pipeline; the bound only keeps one
// client from keeping a connection forever.
constexpr std::size_t kKeepAliveRequests = 1000;

constexpr std::string_view kHtmlType = "text/html; charset=utf-8";

int Milliseconds(time_t sec, time_t usec) { return static_cast<int>(sec * 1000 + usec / 1000); }

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
                     (status == 408   ? " Request Timeout"
                      : status == 414 ? " URI Too Long"
                                      : " Request Header Fields Too Large");
  head += "\r\nContent-Type: ";
  head += kHtmlType;
  head +=
      "\r\nCache-Control: no-store\r\nX-UA-Compatible: IE=edge\r\nConnection: close\r\n"
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
    // Serve.
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
  // allows a quick restart over connections in TIME_WAIT. Windows' own
  // SO_REUSEADDR would let another program take the port over; there a
  // socket of its own, exclusively, is what fails a second site.
  set_socket_options([](socket_t sock) {
    int yes = 1;
#ifdef _WIN32
    ::setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                 sizeof yes);
#else
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
  });
  // X-UA-Compatible: the Windows browser control otherwise shows pages in
  // its IE7 mode, where the layout falls apart. Each page says so in a
  // <meta> as well, for a page saved and opened from disk.
  set_default_headers({{"Cache-Control", "no-store"}, {"X-UA-Compatible", "IE=edge"}});
  set_payload_max_length(kMaxPayload);
  set_keep_alive_max_count(kKeepAliveRequests);
  new_task_queue = [this] {
    PrimeHttplib();
    SchedulerLimits limits = limits_;
    limits.idle = std::chrono::seconds(keep_alive_timeout_sec_);
    limits.readTimeoutMs = Milliseconds(read_timeout_sec_, read_timeout_usec_);
    limits.writeTimeoutMs = Milliseconds(write_timeout_sec_, write_timeout_usec_);
    scheduler_ = new ConnectionScheduler(
        limits, [this](Connection& connection) { return Serve(connection); },
        [this](Connection& connection) { RefuseSlowHead(connection); }, [this] { EndIfIdle(); });
    return scheduler_;
  };
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

void SiteServer::AdoptListeningSocket(socket_t sock) {
  svr_sock_ = sock;
  // The accept loop waits this long at a time instead of blocking in
  // accept(), so it notices Stop() and the idle end without the socket
  // being shut down under systemd.
  set_idle_interval(0, 100'000);
  adopted_ = true;
}

void SiteServer::Stop() {
  if (!adopted_) {
    stop();
    return;
  }
  // Closed by main once the accept loop has ended; closing it under the
  // loop's wait could hand the number to another socket meanwhile.
  svr_sock_ = INVALID_SOCKET;
}

void SiteServer::EndIfIdle() {
  if (idleExit_.count() == 0 || scheduler_ == nullptr) return;
  if (scheduler_->OpenConnections() == 0 && Clock::now() - scheduler_->LastActivity() >= idleExit_) {
    // Ends the accept loop on this, its own thread: no client can be taken
    // from the socket's queue after this decision.
    svr_sock_ = INVALID_SOCKET;
  }
}

void SiteServer::ThrottleDownloads(std::uint64_t bytesPerSecond) { downloadRate_ = bytesPerSecond; }

void SiteServer::PrimeHttplib() {
  // httplib builds some of its parsers (its request-line pattern among
  // them) on first use, guarded inside the compiled library where
  // ThreadSanitizer can't see the guard. Built here, before any worker
  // exists, they are plainly shared rather than raced for.
  PrimingStream stream("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  bool closing = false;
  process_request(stream, true, closing, nullptr);
}

bool SiteServer::process_and_close_socket(socket_t sock) {
  if (scheduler_ == nullptr) {
    CloseSocket(sock);
    return false;
  }
  scheduler_->Adopt(sock);
  return true;
}

ConnectionScheduler::After SiteServer::Serve(Connection& connection) {
  using After = ConnectionScheduler::After;
  ConnectionStream& stream = connection.stream;
  ConnectionStream::Head head = stream.ReadHead();
  if (head == ConnectionStream::Head::kClosed) return After::kClose;

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
    // The rest of what the client sends is read and dropped while the
    // connection lingers.
    return After::kClose;
  }

  bool clientClosing = false;
  bool lastRequest = ++connection.served >= keep_alive_max_count_ || stream.MustClose();
  bool ok = process_request(stream, lastRequest, clientClosing, [&](httplib::Request& req) {
    req.target = std::string(parts.target);
    // httplib has parsed its ranges by now (finding none), so the held
    // back lines can rejoin the request for the site's own range handling.
    for (const auto& [name, value] : stream.HeldBackHeaders()) {
      req.headers.emplace(name, std::string(TrimSpaces(value)));
    }
  });
  int status = stream.FinishResponse();
  if (!ok || clientClosing || lastRequest || stream.MustClose() || status == 400 || status == 413) {
    return After::kClose;
  }
  return After::kKeep;
}

void SiteServer::RefuseSlowHead(Connection& connection) {
  std::string_view partial = connection.stream.Buffered();
  std::string_view line = partial.substr(0, partial.find('\n'));
  if (line.ends_with('\r')) line.remove_suffix(1);
  RequestLineParts parts = SplitRequestLine(line);
  if (log_) log_->Write(FormatLogLine(parts.method, parts.target, 408));
  std::string response = RenderErrorPage(408, "请求没有及时发完，连接已关闭。");
  response.insert(0, RefusalHead(408, response.size()));
  // Best effort and never waiting: the head thread serves everyone.
  Send(connection.sock, response.data(), response.size(), true);
}

}  // namespace site
