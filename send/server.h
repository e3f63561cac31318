// The HTTP side of sending to phones. cpp-httplib speaks the protocol; the
// site's ConnectionScheduler and ConnectionStream stand in front of it
// exactly as they do for the site (see site/server.h): one thread reads the
// request heads of every connection, and a connection reaches a worker only
// with a whole head in hand. A phone's browser that keeps a connection open,
// or anyone trickling a head in a byte at a time, therefore holds neither a
// worker nor a phone slot, and the phones already downloading are not held
// up by it. The same machinery is used rather than a second copy so both
// servers get its deadlines and its framing checks; what differs lives here:
// the routes, the phone slots and cutting transfers off on withdrawal.
//
// Worker budget: kWorkers threads, of which file transfers may hold at most
// kMaxTransfers at once (beyond that a phone gets 503 as if its send were
// full), so the page, HEAD and refusals always find a free worker.
#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "send/offer.h"
#include "site/connection_scheduler.h"

namespace sender {

inline constexpr std::size_t kWorkers = 24;
inline constexpr int kMaxTransfers = 20;
// Seconds a full send asks a phone to wait before it tries again.
inline constexpr int kRetryAfterSeconds = 10;

class Server : public httplib::Server {
 public:
  // How long a write to a phone may wait for room before the transfer is
  // given up and its slot freed.
  explicit Server(std::chrono::milliseconds writeTimeout);
  ~Server() override;

  // Binds `host` (port 0: any free one) and starts serving on its own
  // thread. False, with `error` set, when the address can't be bound.
  bool Start(const std::string& host, int port, std::string* error);
  // Cuts off every transfer, closes the port and joins all threads.
  void Stop();
  int Port() const { return port_; }

  void Add(std::shared_ptr<Offer> offer);
  // Withdrawn and forgotten; its transfers end at once.
  void Remove(const std::shared_ptr<Offer>& offer);

 private:
  bool process_and_close_socket(socket_t sock) override;

  void PrimeHttplib();
  site::ConnectionScheduler::After Serve(site::Connection& connection);
  void Handle(const httplib::Request& req, httplib::Response& res);
  void ServeFile(const std::shared_ptr<Offer>& offer, const httplib::Request& req,
                 httplib::Response& res);
  std::shared_ptr<Offer> Find(std::string_view token) const;

  std::chrono::milliseconds writeTimeout_;
  int port_ = 0;
  std::thread listener_;
  // Created, used and destroyed on the listening thread only.
  site::ConnectionScheduler* scheduler_ = nullptr;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Offer>> offers_;
  int transfers_ = 0;  // across all offers
};

}  // namespace sender
