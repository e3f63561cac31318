// The demo site over loopback: pages a second on one keep-alive connection
// and on a fresh connection each, and films fetched back to back on one
// connection, in MB/s. Figures only; nothing here passes or fails.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "site/server.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs `count` GETs of `path`, on one connection or each on its own; the
// bytes of body received, or 0 when one failed.
std::size_t Fetch(int port, const std::string& path, int count, bool keepAlive) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(keepAlive);
  std::size_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    httplib::Result result = client.Get(path);
    if (!result || result->status != 200) return 0;
    bytes += result->body.size();
  }
  return bytes;
}

}  // namespace

int main() {
  site::SiteServer server(nullptr);
  int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "site_bench: cannot listen on loopback\n");
    return 1;
  }
  std::thread listener([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  constexpr int kPages = 3000;
  constexpr int kFilms = 30;
  Fetch(port, "/tv/", 10, true);  // warm
  for (bool keepAlive : {true, false}) {
    auto start = Clock::now();
    std::size_t bytes = Fetch(port, "/tv/", kPages, keepAlive);
    double seconds = Seconds(start);
    std::printf("site pages, %s: %.0f pages/s (%d pages, %.2f ms each)%s\n",
                keepAlive ? "one keep-alive connection" : "a connection each", kPages / seconds,
                kPages, 1000 * seconds / kPages, bytes ? "" : " FAILED");
  }
  auto start = Clock::now();
  std::size_t bytes = Fetch(port, "/download/1501.mp4", kFilms, true);
  double seconds = Seconds(start);
  std::printf("site films back to back, one connection: %.0f MB/s (%d of %.1f MB)%s\n",
              static_cast<double>(bytes) / seconds / 1e6, kFilms,
              static_cast<double>(bytes) / kFilms / 1e6, bytes ? "" : " FAILED");

  server.stop();
  listener.join();
  return 0;
}
