// kivo-site: the demo film site the desktop program shows, on
// http://127.0.0.1:8080/ unless told otherwise, or on the socket systemd
// hands over when the site is started by its socket unit.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "site/access_log.h"
#include "site/command_line.h"
#include "site/process.h"
#include "site/server.h"
#include "site/sockets.h"

namespace {

// Binds the address asked for, or takes systemd's socket; says where the
// site listens once clients can connect.
bool StartListening(site::SiteServer& server, const site::Options& options,
                    socket_t handedOver) {
  if (handedOver != INVALID_SOCKET) {
    server.AdoptListeningSocket(handedOver);
    if (options.idleExitSeconds > 0) {
      server.ExitWhenIdle(std::chrono::seconds(options.idleExitSeconds));
    }
  } else {
    errno = 0;
    bool bound = options.port == 0 ? server.bind_to_any_port(options.host) > 0
                                   : server.bind_to_port(options.host, options.port);
    if (!bound) {
      std::cerr << "kivo-site: cannot listen on " << options.host << ":" << options.port;
      if (errno != 0) std::cerr << ": " << std::strerror(errno);
      std::cerr << "\n";
      return false;
    }
  }
  std::cout << "kivo-site listening on http://" << site::LocalAddress(server.ListeningSocket()) << "/"
            << std::endl;
  return true;
}

int Run(const site::Options& options) {
  socket_t handedOver = site::TakeHandedOverSocket();
  site::CatchStopRequests();

  site::AccessLog log;
  if (!options.logPath.empty()) {
    std::string error;
    if (!log.Open(options.logPath, &error)) {
      std::cerr << "kivo-site: cannot open log file '" << options.logPath << "': " << error << "\n";
      return 1;
    }
  }

  site::SiteServer server(options.logPath.empty() ? nullptr : &log);
  server.ThrottleDownloads(options.downloadBytesPerSecond);
  if (!StartListening(server, options, handedOver)) return 1;

  std::atomic<bool> listenEnded{false};
  bool listenOk = false;
  std::thread listener([&] {
    listenOk = server.listen_after_bind();
    listenEnded = true;
  });
  bool stopRequested = false;
  while (!listenEnded) {
    if (site::WaitForStop(std::chrono::milliseconds(100))) stopRequested = true;
    // Stop() does nothing until the accept loop has started, so keep
    // asking until it has ended.
    if (stopRequested) server.Stop();
  }
  listener.join();
  return listenOk || stopRequested ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  auto parsed = site::ParseCommandLine(args);
  if (std::holds_alternative<site::HelpRequested>(parsed)) {
    std::cout << site::kUsage;
    return 0;
  }
  if (const auto* error = std::get_if<site::UsageError>(&parsed)) {
    std::cerr << "kivo-site: " << error->message << "\n" << site::kUsage;
    return 2;
  }
  int status = Run(std::get<site::Options>(parsed));
  if (status != 0) site::HoldFailureMessage();
  return status;
}
