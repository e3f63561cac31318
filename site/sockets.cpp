// See sockets.h.
#include "site/sockets.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace site {

bool SocketAddress(socket_t sock, bool peer, std::string* host, int* port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  if ((peer ? ::getpeername(sock, raw, &length) : ::getsockname(sock, raw, &length)) != 0) {
    return false;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    *port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    *port = ntohs(v6.sin6_port);
  } else {
    return false;
  }
  *host = text;
  return true;
}

std::string LocalAddress(socket_t sock) {
  std::string host;
  int port = 0;
  if (!SocketAddress(sock, false, &host, &port)) return {};
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return host + ":" + std::to_string(port);
}

}  // namespace site
