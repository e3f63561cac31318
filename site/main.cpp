// kivo-site: the demo film site the desktop program shows, on
// http://127.0.0.1:8080/ unless told otherwise.
#include <pthread.h>
#include <signal.h>

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
#include "site/server.h"

namespace {

std::string HostForUrl(const std::string& host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

int Run(const site::Options& options) {
  // Block the stop signals before any thread exists, so every thread
  // inherits the mask and only the sigtimedwait below ever takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

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
  int port = options.port;
  errno = 0;
  bool bound = port == 0 ? (port = server.bind_to_any_port(options.host)) > 0
                         : server.bind_to_port(options.host, port);
  if (!bound) {
    std::cerr << "kivo-site: cannot listen on " << options.host << ":" << options.port;
    if (errno != 0) std::cerr << ": " << std::strerror(errno);
    std::cerr << "\n";
    return 1;
  }
  // The socket is already listening, so a client that reads this line can
  // connect at once.
  std::cout << "kivo-site listening on http://" << HostForUrl(options.host) << ":" << port << "/"
            << std::endl;

  std::atomic<bool> listenEnded{false};
  bool listenOk = false;
  std::thread listener([&] {
    listenOk = server.listen_after_bind();
    listenEnded = true;
  });
  bool stopRequested = false;
  while (!listenEnded) {
    timespec tick{0, 100'000'000};
    int received = sigtimedwait(&stopSignals, nullptr, &tick);
    if (received == SIGINT || received == SIGTERM) stopRequested = true;
    // stop() does nothing until the accept loop has started, so keep
    // asking until it has ended.
    if (stopRequested) server.stop();
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
  return Run(std::get<site::Options>(parsed));
}
