// Sending a film to phones over loopback: a 200 MiB sparse file fetched
// whole by one client and by four at once, each reading as fast as it can
// the way curl would, and the process's resident memory before the server
// starts, while it waits and while it serves. Figures only; nothing here
// passes or fails.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "send/service.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kFileSize = 200ull << 20;

long RssKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return -1;
}

// GETs `path` and reads the body to its end; the body's size, or 0 when the
// request failed.
std::uint64_t Fetch(int port, const std::string& path) {
  int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(sock);
    return 0;
  }
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n";
  ::send(sock, request.data(), request.size(), MSG_NOSIGNAL);
  std::vector<char> buffer(256 * 1024);
  std::string head;
  std::uint64_t body = 0;
  for (;;) {
    ssize_t n = ::recv(sock, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    if (head.find("\r\n\r\n") == std::string::npos) {
      head.append(buffer.data(), static_cast<std::size_t>(n));
      std::size_t end = head.find("\r\n\r\n");
      if (end != std::string::npos) body += head.size() - end - 4;
    } else {
      body += static_cast<std::uint64_t>(n);
    }
  }
  ::close(sock);
  return head.starts_with("HTTP/1.1 200 ") ? body : 0;
}

// `clients` fetch the file at once; prints their MB/s together and the
// highest RSS seen meanwhile.
void Round(int port, const std::string& path, int clients, const char* label) {
  std::atomic<bool> done = false;
  long peak = 0;
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak, RssKiB());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  std::vector<std::uint64_t> got(static_cast<std::size_t>(clients));
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] { got[static_cast<std::size_t>(i)] = Fetch(port, path); });
  }
  for (auto& thread : threads) thread.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  done = true;
  sampler.join();
  std::uint64_t total = 0;
  bool complete = true;
  for (std::uint64_t n : got) {
    total += n;
    complete = complete && n == kFileSize;
  }
  std::printf("%-6s %d client(s): %7.1f MB/s together, %.2f s, RSS while serving %ld KiB%s\n",
              label, clients, static_cast<double>(total) / (1 << 20) / seconds, seconds, peak,
              complete ? "" : "  (a transfer came back short)");
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  fs::path file =
      fs::temp_directory_path() / ("kivo_send_bench_" + std::to_string(::getpid()) + ".mp4");
  std::ofstream(file).close();
  fs::resize_file(file, kFileSize);

  std::printf("RSS before any send: %ld KiB\n", RssKiB());
  sender::ServiceOptions options;
  options.allowLoopbackForTests = true;
  sender::Service service(options);
  auto openStart = Clock::now();
  sender::Opened opened = service.Open(file.string(), "测试影片", "127.0.0.1");
  double openMs = std::chrono::duration<double, std::milli>(Clock::now() - openStart).count();
  if (opened.handle == 0) {
    std::fprintf(stderr, "send_bench: %s\n", opened.error.c_str());
    fs::remove(file);
    return 1;
  }
  std::string url = service.Url(opened.handle);
  int port = std::stoi(url.substr(std::string("http://127.0.0.1:").size()));
  std::string path =
      url.substr(url.find('/', 7)) + "f/" + "%E6%B5%8B%E8%AF%95%E5%BD%B1%E7%89%87.mp4";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::printf("Open, the server's start included: %.2f ms\n", openMs);
  std::printf("RSS with the server up and idle: %ld KiB\n", RssKiB());

  // The first fetch also brings the file into the page cache.
  Round(port, path, 1, "cold");
  Round(port, path, 1, "warm");
  Round(port, path, 1, "warm");
  Round(port, path, 4, "warm");

  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::printf("RSS idle again after serving: %ld KiB\n", RssKiB());
  sender::SendStatus status = service.Status(opened.handle).value_or(sender::SendStatus{});
  std::printf("sent %llu bytes in %d whole downloads\n",
              static_cast<unsigned long long>(status.bytesSent), status.completed);

  // What the window waits for when it stops the last send while four
  // phones are mid-transfer and reading nothing.
  std::vector<int> stalled;
  for (int i = 0; i < 4; ++i) {
    int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    std::string request = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    ::send(sock, request.data(), request.size(), MSG_NOSIGNAL);
    stalled.push_back(sock);
  }
  for (int i = 0; i < 500 && service.Status(opened.handle)->phones < 4; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  auto closeStart = Clock::now();
  service.Close(opened.handle);
  std::printf("Close of the last send with %d stalled transfers: %.2f ms\n",
              static_cast<int>(stalled.size()),
              std::chrono::duration<double, std::milli>(Clock::now() - closeStart).count());
  for (int sock : stalled) ::close(sock);
  fs::remove(file);
  return 0;
}
