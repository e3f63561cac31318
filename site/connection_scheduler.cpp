// See connection_scheduler.h.
#include "site/connection_scheduler.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace site {
namespace {

// Deadlines are checked this often; they need no finer grain.
constexpr auto kSweepInterval = std::chrono::milliseconds(100);
constexpr int kMaxEvents = 256;

}  // namespace

Connection::~Connection() { ::close(sock); }

ConnectionScheduler::ConnectionScheduler(const SchedulerLimits& limits, Serve serve, Expire expire,
                                         Idle idle)
    : limits_(limits),
      serve_(std::move(serve)),
      expire_(std::move(expire)),
      idle_(std::move(idle)),
      lastActivity_(Clock::now().time_since_epoch().count()),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      workers_(limits.workers) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wake_;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
  headThread_ = std::thread([this] { Run(); });
}

ConnectionScheduler::~ConnectionScheduler() {
  shutdown();
  ::close(epoll_);
  ::close(wake_);
}

void ConnectionScheduler::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    shutDown_ = true;
    stopping_ = true;
  }
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
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
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
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
    ::shutdown(connection->sock, SHUT_WR);
    connection->lingering = true;
  }
  Hand(connection);
}

void ConnectionScheduler::Run() {
  epoll_event events[kMaxEvents];
  auto nextSweep = Clock::now() + kSweepInterval;
  for (;;) {
    int timeout = static_cast<int>(std::clamp<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(nextSweep - Clock::now()).count(), 0,
        kSweepInterval.count()));
    int count = ::epoll_wait(epoll_, events, kMaxEvents, timeout);
    if (count < 0) count = 0;  // EINTR
    std::vector<std::shared_ptr<Connection>> arrived;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      arrived.swap(incoming_);
    }
    auto now = Clock::now();
    for (int i = 0; i < count; ++i) {
      if (events[i].data.fd == wake_) {
        std::uint64_t value;
        [[maybe_unused]] ssize_t n = ::read(wake_, &value, sizeof value);
      } else {
        OnReadable(events[i].data.fd, now);
      }
    }
    // After the events: an event may name the number of a socket closed
    // meanwhile, which must not be taken for a newly arrived one.
    for (auto& connection : arrived) Register(std::move(connection), now);
    if (now >= nextSweep) {
      Sweep(now);
      nextSweep = now + kSweepInterval;
    }
  }
  for (const auto& [fd, connection] : waiting_) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  waiting_.clear();
}

void ConnectionScheduler::Register(std::shared_ptr<Connection> connection, Clock::time_point now) {
  int fd = connection->sock;
  if (!connection->lingering && connection->scanner.Ready()) {
    // The next pipelined head is already here: straight back to the
    // workers, behind whoever is queued.
    workers_.enqueue([this, connection] { Work(connection); });
    return;
  }
  connection->waitingSince = now;
  connection->headSince = now;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = fd;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) return;  // closes it
  waiting_[fd] = std::move(connection);
  if (waiting_.size() > limits_.maxWaiting) {
    auto oldest = std::ranges::min_element(
        waiting_, {}, [](const auto& entry) { return entry.second->waitingSince; });
    Drop(oldest->first);
  }
}

void ConnectionScheduler::OnReadable(int fd, Clock::time_point now) {
  auto it = waiting_.find(fd);
  if (it == waiting_.end()) return;
  Connection& connection = *it->second;
  if (connection.lingering) {
    char sink[16 * 1024];
    ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n > 0) connection.dropped += static_cast<std::size_t>(n);
    bool retry = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    if ((n <= 0 && !retry) || connection.dropped > limits_.maxLingerBytes) Drop(fd);
    return;
  }
  bool ended = false;
  std::string_view bytes = connection.stream.FillNow(&ended);
  if (!connection.scanner.Started()) connection.headSince = now;
  if (connection.scanner.Feed(bytes)) {
    Dispatch(fd);
  } else if (ended) {
    Drop(fd);
  }
}

void ConnectionScheduler::Dispatch(int fd) {
  auto it = waiting_.find(fd);
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  std::shared_ptr<Connection> connection = std::move(it->second);
  waiting_.erase(it);
  workers_.enqueue([this, connection] { Work(connection); });
}

void ConnectionScheduler::Drop(int fd) {
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  waiting_.erase(fd);
}

void ConnectionScheduler::StartLingering(Connection& connection, Clock::time_point now) {
  ::shutdown(connection.sock, SHUT_WR);
  connection.lingering = true;
  connection.waitingSince = now;
}

void ConnectionScheduler::Sweep(Clock::time_point now) {
  std::vector<int> expired;
  for (auto& [fd, connection] : waiting_) {
    if (connection->lingering) {
      if (now - connection->waitingSince >= limits_.linger) expired.push_back(fd);
    } else if (connection->scanner.Started()) {
      if (now - connection->headSince >= limits_.head) {
        try {
          expire_(*connection);
        } catch (...) {
        }
        StartLingering(*connection, now);
      }
    } else if (now - connection->waitingSince >= limits_.idle) {
      expired.push_back(fd);
    }
  }
  for (int fd : expired) Drop(fd);
}

}  // namespace site
