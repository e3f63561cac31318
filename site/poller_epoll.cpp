// See poller.h: epoll, woken by an eventfd.
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "site/poller.h"

namespace site {
namespace {

constexpr int kMaxEvents = 256;

}  // namespace

Poller::Poller()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wake_;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
}

Poller::~Poller() {
  ::close(epoll_);
  ::close(wake_);
}

bool Poller::Add(socket_t sock) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = sock;
  return ::epoll_ctl(epoll_, EPOLL_CTL_ADD, sock, &event) == 0;
}

void Poller::Remove(socket_t sock) { ::epoll_ctl(epoll_, EPOLL_CTL_DEL, sock, nullptr); }

void Poller::Wait(int timeoutMs, std::vector<socket_t>* ready) {
  ready->clear();
  epoll_event events[kMaxEvents];
  int count = ::epoll_wait(epoll_, events, kMaxEvents, timeoutMs);
  for (int i = 0; i < count; ++i) {
    if (events[i].data.fd == wake_) {
      std::uint64_t value;
      [[maybe_unused]] ssize_t n = ::read(wake_, &value, sizeof value);
    } else {
      ready->push_back(events[i].data.fd);
    }
  }
}

void Poller::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
}

}  // namespace site
