// See connection_scheduler.h.
#include "site/connection_scheduler.h"

#include <algorithm>

#include "site/sockets.h"

namespace site {
namespace {

// Deadlines are checked this often; they need no finer grain.
constexpr auto kSweepInterval = std::chrono::milliseconds(100);

}  // namespace

Connection::~Connection() { CloseSocket(sock); }

ConnectionScheduler::ConnectionScheduler(const SchedulerLimits& limits, Serve serve, Expire expire,
                                         Idle idle)
    : limits_(limits),
      serve_(std::move(serve)),
      expire_(std::move(expire)),
      idle_(std::move(idle)),
      lastActivity_(Clock::now().time_since_epoch().count()),
      workers_(limits.workers) {
  headThread_ = std::thread([this] { Run(); });
}

ConnectionScheduler::~ConnectionScheduler() { shutdown(); }

void ConnectionScheduler::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    shutDown_ = true;
    stopping_ = true;
  }
  poller_.Wake();
  headThread_.join();
  // Requests in hand are answered (downloads notice the server stopping
  // and end early); what the workers hand back meets stopping_ and closes.
  workers_.shutdown();
  std::lock_guard lock(mutex_);
  incoming_.clear();
}

void ConnectionScheduler::Adopt(socket_t sock) {
  ++open_;
  lastActivity_ = Clock::now().time_since_epoch().count();
  PrepareConnection(sock);
  // Counted down when the last holder lets go, whichever thread that is.
  Hand(std::shared_ptr<Connection>(
      new Connection(sock, limits_.readTimeoutMs, limits_.writeTimeoutMs), [this](Connection* c) {
        delete c;
        lastActivity_ = Clock::now().time_since_epoch().count();
        --open_;
      }));
}

void ConnectionScheduler::Hand(std::shared_ptr<Connection> connection) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;  // dropping the last reference closes it
    incoming_.push_back(std::move(connection));
  }
  poller_.Wake();
}

void ConnectionScheduler::Work(const std::shared_ptr<Connection>& connection) {
  After after = After::kClose;
  // Nothing may escape a worker: an exception would end the whole server.
  try {
    after = serve_(*connection);
  } catch (...) {
  }
  if (after == After::kKeep) {
    connection->scanner.Reset();
    connection->scanner.Feed(connection->stream.Buffered());
  } else {
    ::shutdown(connection->sock, kShutWrite);
    connection->lingering = true;
  }
  Hand(connection);
}

void ConnectionScheduler::Run() {
  std::vector<socket_t> ready;
  auto nextSweep = Clock::now() + kSweepInterval;
  for (;;) {
    int timeout = static_cast<int>(std::clamp<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(nextSweep - Clock::now()).count(), 0,
        kSweepInterval.count()));
    poller_.Wait(timeout, &ready);
    std::vector<std::shared_ptr<Connection>> arrived;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      arrived.swap(incoming_);
    }
    auto now = Clock::now();
    for (socket_t sock : ready) OnReadable(sock, now);
    // After the events: an event may name the number of a socket closed
    // meanwhile, which must not be taken for a newly arrived one.
    for (auto& connection : arrived) Register(std::move(connection), now);
    if (now >= nextSweep) {
      Sweep(now);
      nextSweep = now + kSweepInterval;
    }
  }
  for (const auto& [sock, connection] : waiting_) poller_.Remove(sock);
  waiting_.clear();
}

void ConnectionScheduler::Register(std::shared_ptr<Connection> connection, Clock::time_point now) {
  socket_t sock = connection->sock;
  if (!connection->lingering && connection->scanner.Ready()) {
    // The next pipelined head is already here: straight back to the
    // workers, behind whoever is queued.
    workers_.enqueue([this, connection] { Work(connection); });
    return;
  }
  connection->waitingSince = now;
  connection->headSince = now;
  if (!poller_.Add(sock)) return;  // closes it
  waiting_[sock] = std::move(connection);
  if (waiting_.size() > limits_.maxWaiting) {
    auto oldest = std::ranges::min_element(
        waiting_, {}, [](const auto& entry) { return entry.second->waitingSince; });
    Drop(oldest->first);
  }
}

void ConnectionScheduler::OnReadable(socket_t sock, Clock::time_point now) {
  auto it = waiting_.find(sock);
  if (it == waiting_.end()) return;
  Connection& connection = *it->second;
  if (connection.lingering) {
    char sink[16 * 1024];
    long long n = Receive(sock, sink, sizeof sink, true);
    if (n > 0) connection.dropped += static_cast<std::size_t>(n);
    bool retry = n < 0 && LastSocketError() != SocketError::kFailed;
    if ((n <= 0 && !retry) || connection.dropped > limits_.maxLingerBytes) Drop(sock);
    return;
  }
  bool ended = false;
  std::string_view bytes = connection.stream.FillNow(&ended);
  if (!connection.scanner.Started()) connection.headSince = now;
  if (connection.scanner.Feed(bytes)) {
    Dispatch(sock);
  } else if (ended) {
    Drop(sock);
  }
}

void ConnectionScheduler::Dispatch(socket_t sock) {
  auto it = waiting_.find(sock);
  poller_.Remove(sock);
  std::shared_ptr<Connection> connection = std::move(it->second);
  waiting_.erase(it);
  workers_.enqueue([this, connection] { Work(connection); });
}

void ConnectionScheduler::Drop(socket_t sock) {
  poller_.Remove(sock);
  waiting_.erase(sock);
}

void ConnectionScheduler::StartLingering(Connection& connection, Clock::time_point now) {
  ::shutdown(connection.sock, kShutWrite);
  connection.lingering = true;
  connection.waitingSince = now;
}

void ConnectionScheduler::Sweep(Clock::time_point now) {
  std::vector<socket_t> expired;
  for (auto& [sock, connection] : waiting_) {
    if (connection->lingering) {
      if (now - connection->waitingSince >= limits_.linger) expired.push_back(sock);
    } else if (connection->scanner.Started()) {
      if (now - connection->headSince >= limits_.head) {
        try {
          expire_(*connection);
        } catch (...) {
        }
        StartLingering(*connection, now);
      }
    } else if (now - connection->waitingSince >= limits_.idle) {
      expired.push_back(sock);
    }
  }
  for (socket_t sock : expired) Drop(sock);
}

}  // namespace site
