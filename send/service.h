// Sending a finished download to a phone on the local network. The window
// opens a send for a file and shows its address as a QR code; the phone's
// camera opens the address and its browser downloads or plays the film
// straight from this computer.
//
// Each send has an address of its own, http://IP:PORT/<token>/, that serves
// one small page and the one file, read-only, to at most four phones at a
// time, until the window closes it or nobody has asked for thirty minutes.
// The HTTP server runs only while some send is open.
//
// The namespace is `sender`, not `send`: a namespace of that name would
// clash with send(2) from <sys/socket.h>.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "send/offer.h"
#include "send/token.h"

namespace sender {

class Server;

// Names one send; 0 is never a send's.
using SendHandle = std::uint64_t;

struct ServiceOptions {
  int port = 0;  // 0: any free port, chosen when the server starts
  int maxPhones = 4;
  std::chrono::milliseconds expiry = std::chrono::minutes(30);
  // A phone that reads nothing for this long loses its transfer and slot.
  std::chrono::milliseconds writeTimeout = std::chrono::seconds(30);
  Now now;              // steady_clock when empty
  RandomSource random;  // the system's when empty
  // Lets Open listen on 127.0.0.1. For tests only: no phone can reach a
  // loopback address, so the window must never offer one.
  bool allowLoopbackForTests = false;
};

struct Opened {
  SendHandle handle = 0;  // 0 when it failed
  std::string error;      // why, in words for the user
};

class Service {
 public:
  explicit Service(ServiceOptions options = {});
  // Closes every send and stops the server.
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Starts sending the file at `path`, saved on the phone as `displayName`
  // (the file's own name when empty; its extension is kept), from the local
  // IPv4 `address` (one of LocalAddresses()). The file is opened here, once.
  // Fails for an empty, malformed, loopback or unspecified address, a file
  // that can't be opened, and an address other than the one the running
  // server already listens on.
  Opened Open(const std::string& path, const std::string& displayName, const std::string& address);

  // Ends the send: its transfers are cut off and its address answers 404
  // from now on. Closing the last send stops the server. Unknown handles
  // are ignored.
  void Close(SendHandle handle);

  // Cheap; for the window to poll. None for an unknown handle. A send that
  // has expired or lost its file answers no phone any more but keeps its
  // handle (and the open file) until the window closes it.
  std::optional<SendStatus> Status(SendHandle handle) const;

  // "http://IP:PORT/<token>/", for the QR code; "" for an unknown handle.
  std::string Url(SendHandle handle) const;

 private:
  struct Entry {
    std::shared_ptr<Offer> offer;
    std::string url;
  };

  ServiceOptions options_;
  mutable std::mutex mutex_;
  std::unique_ptr<Server> server_;
  std::string serverAddress_;
  std::map<SendHandle, Entry> sends_;
  SendHandle lastHandle_ = 0;
};

// An IPv4 address of this computer that phones on its network can reach.
struct LocalAddress {
  std::string address;    // dotted quad
  std::string interface;  // e.g. "wlan0"
};

// Addresses of interfaces that are up, loopback excluded, the interface of
// the default route first; empty when there is no local network.
std::vector<LocalAddress> LocalAddresses();

// What an interface has, for OrderLocalAddresses.
struct InterfaceAddress {
  std::string interface;
  std::string address;
  bool up = false;
  bool loopback = false;
};

// LocalAddresses without the system: `procNetRoute` is the text of
// /proc/net/route, `found` what getifaddrs listed (IPv4 only), in its order.
std::vector<LocalAddress> OrderLocalAddresses(const std::string& procNetRoute,
                                              const std::vector<InterfaceAddress>& found);

}  // namespace sender
