// Raw client sockets for the server tests: what no well-behaved client
// would send, on Linux and on Windows alike.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "site/sockets.h"

namespace site::testing_sockets {

inline int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

inline socket_t ConnectLoopback(int port) {
  socket_t sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return sock;
}

inline void SendAll(socket_t sock, std::string_view bytes) {
  while (!bytes.empty()) {
    long long n = Send(sock, bytes.data(), bytes.size(), false);
    if (n <= 0) return;  // the server may refuse before reading it all
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Everything the server sends until it closes, or what came within
// `timeoutMs`; `closed` says which.
inline std::string ReadAll(socket_t sock, int timeoutMs, bool* closed) {
  using Clock = std::chrono::steady_clock;
  std::string received;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  *closed = false;
  char buffer[64 * 1024];
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !WaitFor(sock, POLLIN, static_cast<int>(left))) return received;
    long long n = Receive(sock, buffer, sizeof buffer, false);
    if (n <= 0) {
      *closed = true;
      return received;
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace site::testing_sockets
