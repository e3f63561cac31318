#include "send/server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "send/page.h"
#include "send/token.h"
#include "site/access_log.h"
#include "site/download.h"
#include "site/priming_stream.h"
#include "site/text.h"

namespace sender {
namespace {

using site::ConnectionScheduler;

constexpr int kListenBacklog = 64;
constexpr std::size_t kKeepAliveRequests = 100;
// Read from the file and handed to the connection at once.
constexpr std::size_t kPiece = 256 * 1024;

constexpr const char* kTextType = "text/plain; charset=utf-8";

// The socket of the request a worker is answering: httplib's handlers see
// only the request, and a transfer must know its socket so withdrawing the
// send can cut it off.
thread_local socket_t tServingSocket = INVALID_SOCKET;

void NotFound(httplib::Response& res) {
  // The same few bytes for every address that isn't a live send's: nothing
  // in them comes from the request.
  res.status = 404;
  res.set_content("404 Not Found\n", kTextType);
}

void Refuse(httplib::Response& res, int status, const char* text) {
  res.status = status;
  res.set_content(text, kTextType);
}

std::string PlainHead(int status, const char* reason, std::size_t length) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
         std::to_string(length) + "\r\n\r\n";
}


}  // namespace

Server::Server(std::chrono::milliseconds writeTimeout) : writeTimeout_(writeTimeout) {
  auto handle = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
  Get(".*", handle);
  // Every other method arrives as a bodiless POST (see ConnectionStream).
  Post(".*", handle);
  set_error_handler([](const httplib::Request&, httplib::Response& res) {
    // Bare errors httplib produces itself (400 for framing it can't trust).
    if (res.body.empty()) res.set_content(std::to_string(res.status) + "\n", kTextType);
  });
  set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // The address is the secret: pages must not pass it on, nor be kept.
  set_default_headers({{"Cache-Control", "no-store"},
                       {"Referrer-Policy", "no-referrer"},
                       {"X-Content-Type-Options", "nosniff"}});
  set_keep_alive_max_count(kKeepAliveRequests);
  auto ms = writeTimeout.count();
  set_write_timeout(ms / 1000, (ms % 1000) * 1000);
  new_task_queue = [this] {
    PrimeHttplib();
    site::SchedulerLimits limits;
    limits.workers = kWorkers;
    limits.maxWaiting = 256;
    limits.idle = std::chrono::seconds(keep_alive_timeout_sec_);
    limits.readTimeoutMs = static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000);
    limits.writeTimeoutMs = static_cast<int>(writeTimeout_.count());
    scheduler_ = new ConnectionScheduler(
        limits, [this](site::Connection& connection) { return Serve(connection); },
        [](site::Connection& connection) {
          static constexpr char kBody[] = "408 Request Timeout\n";
          std::string answer = PlainHead(408, "Request Timeout", sizeof kBody - 1) + kBody;
          // Never waits: the head thread serves every connection.
          ::send(connection.sock, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        });
    return scheduler_;
  };
}

Server::~Server() { Stop(); }

bool Server::Start(const std::string& host, int port, std::string* error) {
  port_ = port == 0 ? bind_to_any_port(host) : (bind_to_port(host, port) ? port : -1);
  if (port_ <= 0) {
    port_ = 0;
    *error = "无法在 " + host + " 上打开端口，发送没有开始。";
    return false;
  }
  // httplib's backlog of five would make phones beyond it wait for a SYN
  // retry; Linux takes a second listen() as a new backlog.
  ::listen(svr_sock_, kListenBacklog);
  listener_ = std::thread([this] { listen_after_bind(); });
  // stop() does nothing until the loop has started: wait for it, so a
  // Stop() right after this can't be lost. It starts within microseconds.
  for (int i = 0; i < 2000 && !is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

void Server::Stop() {
  {
    std::lock_guard lock(mutex_);
    for (const auto& offer : offers_) offer->Withdraw();
    offers_.clear();
  }
  stop();
  if (listener_.joinable()) listener_.join();
}

void Server::Add(std::shared_ptr<Offer> offer) {
  std::lock_guard lock(mutex_);
  offers_.push_back(std::move(offer));
}

void Server::Remove(const std::shared_ptr<Offer>& offer) {
  offer->Withdraw();
  std::lock_guard lock(mutex_);
  std::erase(offers_, offer);
}

std::shared_ptr<Offer> Server::Find(std::string_view token) const {
  std::lock_guard lock(mutex_);
  std::shared_ptr<Offer> found;
  // Every token is compared in full, so the time taken tells nothing about
  // which one came closest.
  for (const auto& offer : offers_) {
    if (TokensEqual(offer->Token(), token)) found = offer;
  }
  return found;
}

void Server::PrimeHttplib() {
  // httplib builds some parsers on first use, guarded inside the compiled
  // library where ThreadSanitizer can't see it; built here, before any
  // worker exists, they are plainly shared rather than raced for.
  site::PrimingStream stream("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  bool closing = false;
  process_request(stream, true, closing, nullptr);
}

bool Server::process_and_close_socket(socket_t sock) {
  if (scheduler_ == nullptr) {
    ::close(sock);
    return false;
  }
  scheduler_->Adopt(sock);
  return true;
}

ConnectionScheduler::After Server::Serve(site::Connection& connection) {
  using After = ConnectionScheduler::After;
  site::ConnectionStream& stream = connection.stream;
  site::ConnectionStream::Head head = stream.ReadHead();
  if (head == site::ConnectionStream::Head::kClosed) return After::kClose;
  stream.ExpectResponse({});
  site::RequestLineParts parts = site::SplitRequestLine(stream.RequestLine());
  if (head != site::ConnectionStream::Head::kRequest) {
    bool longLine = head == site::ConnectionStream::Head::kLineTooLong;
    int status = longLine ? 414 : 431;
    const char* reason = longLine ? "URI Too Long" : "Request Header Fields Too Large";
    std::string body = std::to_string(status) + " " + reason + "\n";
    stream.WriteAll(PlainHead(status, reason, body.size()));
    if (parts.method != "HEAD") stream.WriteAll(body);
    stream.FinishResponse();
    // What else the client sends is read and dropped while it lingers.
    return After::kClose;
  }
  std::string target(parts.target);
  bool clientClosing = false;
  bool lastRequest = ++connection.served >= keep_alive_max_count_ || stream.MustClose();
  tServingSocket = connection.sock;
  bool ok = process_request(stream, lastRequest, clientClosing, [&](httplib::Request& req) {
    req.target = target;
    // Range lines were kept from httplib, which would answer them itself;
    // they rejoin the request for the file's own range handling.
    for (const auto& [name, value] : stream.HeldBackHeaders()) {
      std::size_t start = std::min(value.find_first_not_of(" \t"), value.size());
      std::size_t end = value.find_last_not_of(" \t") + 1;
      req.headers.emplace(name, value.substr(start, end > start ? end - start : 0));
    }
  });
  tServingSocket = INVALID_SOCKET;
  int status = stream.FinishResponse();
  if (!ok || clientClosing || lastRequest || stream.MustClose() || status == 400) {
    return After::kClose;
  }
  return After::kKeep;
}

void Server::Handle(const httplib::Request& req, httplib::Response& res) {
  // "/<token>/" is the page, "/<token>/f/<name>" the file; a query is
  // ignored. Anything else, and any token that isn't live, is a 404.
  std::string_view path = req.target;
  path = path.substr(0, path.find_first_of("?#"));
  if (!path.starts_with('/')) return NotFound(res);
  path.remove_prefix(1);
  std::size_t slash = path.find('/');
  std::shared_ptr<Offer> offer = Find(path.substr(0, slash));
  if (!offer || !offer->Admit()) return NotFound(res);
  std::string_view rest = slash == std::string_view::npos ? "" : path.substr(slash);

  bool page = rest.empty() || rest == "/";
  bool file =
      rest.starts_with("/f/") && site::PercentDecode(rest.substr(3), false) == offer->FileName();
  if (!page && !file) return NotFound(res);
  if (req.method != "GET" && req.method != "HEAD") {
    res.set_header("Allow", "GET, HEAD");
    return Refuse(res, 405, "405 Method Not Allowed\n");
  }
  if (!offer->File().Intact()) {
    offer->MarkFileGone();
    return Refuse(res, 410, "410 文件已在电脑上被删除或替换，无法再发送。\n");
  }
  if (file) return ServeFile(offer, req, res);
  std::string href = "/" + offer->Token() + "/f/" + PercentEncode(offer->FileName());
  res.set_content(RenderPage(offer->FileName(), offer->File().Size(), href),
                  "text/html; charset=utf-8");
}

void Server::ServeFile(const std::shared_ptr<Offer>& offer, const httplib::Request& req,
                       httplib::Response& res) {
  std::uint64_t size = offer->File().Size();
  std::string type(ContentTypeFor(offer->FileName()));
  std::optional<std::string> rangeHeader;
  auto [begin, end] = req.headers.equal_range("Range");
  for (auto it = begin; it != end; ++it) {
    rangeHeader = rangeHeader ? *rangeHeader + ", " + it->second : it->second;
  }
  // One range is answered with 206; a list of them with the whole file
  // (200), as the site does. A download resumed with If-Range gets the rest
  // only if the file is still the one its first part came from.
  std::string etag = offer->File().ETag();
  bool sameFile = !req.has_header("If-Range") || req.get_header_value("If-Range") == etag;
  site::RangeChoice range = sameFile ? site::ChooseRange(rangeHeader, size) : site::RangeChoice{};
  res.set_header("Accept-Ranges", "bytes");
  res.set_header("ETag", etag);
  if (range.kind == site::RangeChoice::kUnsatisfiable) {
    res.set_header("Content-Range", "bytes */" + std::to_string(size));
    return Refuse(res, 416, "416 Range Not Satisfiable\n");
  }
  res.set_header("Content-Disposition", ContentDisposition(offer->FileName()));
  std::uint64_t first = 0;
  std::uint64_t length = size;
  if (range.kind == site::RangeChoice::kPart) {
    first = range.first;
    length = range.length;
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                        std::to_string(first + length - 1) + "/" +
                                        std::to_string(size));
  }
  if (length == 0) {
    res.set_content("", type);
    return;
  }
  if (req.method == "HEAD") {
    // httplib sends the headers, Content-Length among them, and never asks
    // for the body.
    res.set_content_provider(length, type,
                             [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
    return;
  }
  socket_t sock = tServingSocket;
  {
    std::lock_guard lock(mutex_);
    bool slot = transfers_ < kMaxTransfers && offer->BeginTransfer(sock);
    if (!slot) {
      res.status = 503;
      res.headers.erase("Content-Disposition");
      res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
      res.set_content("503 同时接收的手机已满，请稍后再试。\n", kTextType);
      return;
    }
    ++transfers_;
  }
  bool whole = length == size;
  auto buffer = std::make_shared<std::vector<char>>();
  res.set_content_provider(
      length, type,
      [offer, buffer, first](std::size_t offset, std::size_t left, httplib::DataSink& sink) {
        if (offer->Withdrawn()) return false;
        std::size_t n = std::min(left, kPiece);
        buffer->resize(n);
        if (!offer->File().Read(first + offset, std::span<char>(buffer->data(), n))) {
          // The file shrank under us: better to break the connection than
          // to send fewer bytes than announced.
          offer->MarkFileGone();
          return false;
        }
        if (!sink.write(buffer->data(), n)) return false;
        offer->CountSent(n);
        return true;
      },
      // Runs when the response is done with, whatever became of it: a
      // stalled phone's write times out, the transfer fails, the slot frees.
      [this, offer, sock, whole](bool success) {
        offer->EndTransfer(sock, success && whole);
        std::lock_guard lock(mutex_);
        --transfers_;
      });
}

}  // namespace sender
