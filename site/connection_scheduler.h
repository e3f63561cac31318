// Where the site's connections wait, and who serves them. One thread reads
// request heads for every connection at once (a Poller, no thread per
// client);
// a connection reaches a worker only with a whole head in hand, and goes
// back to waiting after each answer. A client that dribbles its head in a
// byte at a time therefore costs a socket and a few bytes, never a worker,
// and is dropped when its head misses the deadline. Closing also happens
// here: after the last answer the connection lingers, its leftover input
// read and dropped, so the kernel doesn't reset it with the answer still
// in flight.
//
// It stands in for httplib's task queue: httplib's accept loop hands each
// accepted socket over through enqueue(), which runs the server's
// process_and_close_socket at once; that calls Adopt().
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "site/connection_stream.h"
#include "site/head_scanner.h"
#include "site/poller.h"

namespace site {

using Clock = std::chrono::steady_clock;

// One client socket with what has been read from it; closes it when gone.
struct Connection {
  Connection(socket_t s, int readTimeoutMs, int writeTimeoutMs)
      : sock(s), stream(s, readTimeoutMs, writeTimeoutMs) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  socket_t sock;
  ConnectionStream stream;
  HeadScanner scanner;
  std::size_t served = 0;  // requests answered so far

  // Head stage bookkeeping.
  Clock::time_point waitingSince;
  Clock::time_point headSince;  // first byte of the coming head
  bool lingering = false;
  std::size_t dropped = 0;
};

struct SchedulerLimits {
  std::size_t workers = 64;
  // Connections waiting for a head (or lingering) at once; past it the one
  // waiting longest is dropped. Clients with real requests send their head
  // at once, so they are seldom the oldest.
  std::size_t maxWaiting = 512;
  // For a head to start: on a fresh connection and between requests.
  std::chrono::milliseconds idle{5000};
  // For a started head to end, else 408 and close. Browsers send a head in
  // one go: even the desktop program's 1 MiB search addresses arrive
  // within milliseconds on loopback; this leaves room for a slow link.
  std::chrono::milliseconds head{10000};
  std::chrono::milliseconds linger{2000};
  std::size_t maxLingerBytes = 8 << 20;
  int readTimeoutMs = 5000;
  int writeTimeoutMs = 5000;
};

class ConnectionScheduler final : public httplib::TaskQueue {
 public:
  enum class After { kKeep, kClose };
  // Runs on a worker with connection.scanner Ready(): answers one request.
  using Serve = std::function<After(Connection&)>;
  // Runs on the head thread for a head that missed its deadline, before
  // the connection is closed; must not block.
  using Expire = std::function<void(Connection&)>;
  // Runs on the accepting thread whenever a wait for a new client ran out
  // (only with the server's idle interval set).
  using Idle = std::function<void()>;

  ConnectionScheduler(const SchedulerLimits& limits, Serve serve, Expire expire,
                      Idle idle = {});
  ~ConnectionScheduler() override;

  void enqueue(std::function<void()> fn) override { fn(); }
  // Closes every waiting connection and lets the workers finish what they
  // hold; the connections they hand back are closed.
  void shutdown() override;
  void on_idle() override {
    if (idle_) idle_();
  }

  // Takes ownership of a freshly accepted socket. Any thread.
  void Adopt(socket_t sock);

  // Connections adopted and not yet closed, and when the last one came or
  // went: what an idle site decides its end by.
  std::size_t OpenConnections() const { return open_; }
  Clock::time_point LastActivity() const { return Clock::time_point(Clock::duration(lastActivity_)); }

 private:
  void Hand(std::shared_ptr<Connection> connection);
  void Work(const std::shared_ptr<Connection>& connection);

  // Head thread only, from here on.
  void Run();
  void Register(std::shared_ptr<Connection> connection, Clock::time_point now);
  void OnReadable(socket_t sock, Clock::time_point now);
  void Dispatch(socket_t sock);
  void Sweep(Clock::time_point now);
  void Drop(socket_t sock);
  void StartLingering(Connection& connection, Clock::time_point now);

  SchedulerLimits limits_;
  Serve serve_;
  Expire expire_;
  Idle idle_;
  std::atomic<std::size_t> open_{0};
  std::atomic<Clock::rep> lastActivity_;
  Poller poller_;

  std::mutex mutex_;
  std::vector<std::shared_ptr<Connection>> incoming_;
  bool stopping_ = false;
  bool shutDown_ = false;

  std::map<socket_t, std::shared_ptr<Connection>> waiting_;

  httplib::ThreadPool workers_;
  std::thread headThread_;
};

}  // namespace site
