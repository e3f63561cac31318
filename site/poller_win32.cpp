// See poller.h: WSAPoll over every watched socket. Windows has no eventfd
// for sockets, so the wake is a datagram the poller sends itself on
// loopback.
#include <algorithm>

#include "site/poller.h"

namespace site {
namespace {

socket_t BoundDatagramSocket() {
  socket_t sock = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                               WSA_FLAG_NO_HANDLE_INHERIT);
  if (sock == INVALID_SOCKET) return sock;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  u_long on = 1;
  if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::ioctlsocket(sock, FIONBIO, &on) != 0) {
    ::closesocket(sock);
    return INVALID_SOCKET;
  }
  return sock;
}

}  // namespace

Poller::Poller() {
  socket_t receive = BoundDatagramSocket();
  wakeSend_ = BoundDatagramSocket();
  sockaddr_in address{};
  int length = sizeof address;
  // Connected both ways, so no stray datagram from elsewhere is taken for
  // a wake.
  if (receive != INVALID_SOCKET && wakeSend_ != INVALID_SOCKET &&
      ::getsockname(receive, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    ::connect(wakeSend_, reinterpret_cast<sockaddr*>(&address), length);
    length = sizeof address;
    if (::getsockname(wakeSend_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ::connect(receive, reinterpret_cast<sockaddr*>(&address), length);
    }
  }
  // Without a wake socket, waits end only by their timeout.
  entries_.push_back({receive, static_cast<short>(receive == INVALID_SOCKET ? 0 : POLLIN), 0});
}

Poller::~Poller() {
  if (entries_[0].fd != INVALID_SOCKET) ::closesocket(entries_[0].fd);
  if (wakeSend_ != INVALID_SOCKET) ::closesocket(wakeSend_);
}

bool Poller::Add(socket_t sock) {
  entries_.push_back({sock, POLLIN, 0});
  return true;
}

void Poller::Remove(socket_t sock) {
  auto it = std::find_if(entries_.begin() + 1, entries_.end(),
                         [sock](const WSAPOLLFD& entry) { return entry.fd == sock; });
  if (it == entries_.end()) return;
  *it = entries_.back();
  entries_.pop_back();
}

void Poller::Wait(int timeoutMs, std::vector<socket_t>* ready) {
  ready->clear();
  for (auto& entry : entries_) entry.revents = 0;
  int count = ::WSAPoll(entries_.data(), static_cast<ULONG>(entries_.size()), timeoutMs);
  if (count <= 0) return;
  if (entries_[0].revents != 0) {
    char sink[64];
    while (::recv(entries_[0].fd, sink, sizeof sink, 0) > 0) {
    }
  }
  for (std::size_t i = 1; i < entries_.size(); ++i) {
    if (entries_[i].revents != 0) ready->push_back(entries_[i].fd);
  }
}

void Poller::Wake() {
  char one = 1;
  ::send(wakeSend_, &one, 1, 0);
}

}  // namespace site
