// The few socket calls that differ between Winsock and POSIX, for the
// site's own connection code (httplib hides the rest).
#pragma once

#include <httplib.h>

#ifndef _WIN32
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstddef>
#include <string>

namespace site {

#ifdef _WIN32
inline constexpr int kShutWrite = SD_SEND;
#else
inline constexpr int kShutWrite = SHUT_WR;
#endif

inline void CloseSocket(socket_t sock) {
#ifdef _WIN32
  ::closesocket(sock);
#else
  ::close(sock);
#endif
}

// What a failed call left behind.
enum class SocketError { kRetry, kWouldBlock, kFailed };
inline SocketError LastSocketError() {
#ifdef _WIN32
  int error = ::WSAGetLastError();
  if (error == WSAEINTR) return SocketError::kRetry;
  return error == WSAEWOULDBLOCK ? SocketError::kWouldBlock : SocketError::kFailed;
#else
  if (errno == EINTR) return SocketError::kRetry;
  return errno == EAGAIN || errno == EWOULDBLOCK ? SocketError::kWouldBlock : SocketError::kFailed;
#endif
}

// Whether the socket is ready for `events` (POLLIN, POLLOUT) within
// `timeoutMs`; 0 only looks.
inline bool WaitFor(socket_t sock, short events, int timeoutMs) {
#ifdef _WIN32
  WSAPOLLFD entry{sock, events, 0};
  return ::WSAPoll(&entry, 1, timeoutMs) > 0;
#else
  pollfd entry{sock, events, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
#endif
}

// recv() and send() that never raise SIGPIPE, and with `now` never wait:
// a socket with nothing to give or no room reports kWouldBlock. Accepted
// sockets on Windows are non-blocking throughout (see PrepareConnection), so
// there every call is one that never waits.
inline long long Receive(socket_t sock, char* buffer, std::size_t size, bool now) {
#ifdef _WIN32
  (void)now;
  return ::recv(sock, buffer, static_cast<int>(size), 0);
#else
  return ::recv(sock, buffer, size, now ? MSG_DONTWAIT : 0);
#endif
}

inline long long Send(socket_t sock, const char* data, std::size_t size, bool now) {
#ifdef _WIN32
  (void)now;
  return ::send(sock, data, static_cast<int>(size), 0);
#else
  return ::send(sock, data, size, MSG_NOSIGNAL | (now ? MSG_DONTWAIT : 0));
#endif
}

// Readies a freshly accepted connection. Answers leave at once
// (TCP_NODELAY): httplib writes a response's head and body apart, and
// with Nagle's wait a keep-alive client's delayed ACK would hold each body
// back some 40 ms. Windows has no per-call MSG_DONTWAIT, so there the
// socket turns non-blocking for good, and blocking reads and writes wait
// with WaitFor first.
inline void PrepareConnection(socket_t sock) {
  int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
#ifdef _WIN32
  u_long nonBlocking = 1;
  ::ioctlsocket(sock, FIONBIO, &nonBlocking);
#endif
}

// The address of either end of a connected or bound socket: the host as
// text and the port. False, leaving both alone, when there is none.
bool SocketAddress(socket_t sock, bool peer, std::string* host, int* port);

// "host:port" of a bound socket, IPv6 hosts in brackets; empty on failure.
std::string LocalAddress(socket_t sock);

}  // namespace site
