// See process.h: signals, and systemd's socket passing (sd_listen_fds(3)).
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "site/process.h"

namespace site {
namespace {

constexpr int kFirstHandedOverFd = 3;  // SD_LISTEN_FDS_START

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

long EnvNumber(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr) return -1;
  std::string_view view(text);
  long value = -1;
  auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  return error == std::errc() && end == view.data() + view.size() ? value : -1;
}

}  // namespace

void CatchStopRequests() {
  // Blocked before any thread exists, so every thread inherits the mask
  // and only sigtimedwait ever takes them.
  sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool WaitForStop(std::chrono::milliseconds timeout) {
  sigset_t set = StopSignals();
  auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
  timespec wait{static_cast<time_t>(nanos / 1'000'000'000), static_cast<long>(nanos % 1'000'000'000)};
  int received = sigtimedwait(&set, nullptr, &wait);
  return received == SIGINT || received == SIGTERM;
}

socket_t TakeHandedOverSocket() {
  // Meant for this very process (not a parent that forked it), and one
  // socket: the site's unit has exactly one ListenStream.
  bool ours = EnvNumber("LISTEN_PID") == static_cast<long>(::getpid());
  long count = EnvNumber("LISTEN_FDS");
  // Whatever they say, a program this one starts must not take them too.
  ::unsetenv("LISTEN_PID");
  ::unsetenv("LISTEN_FDS");
  ::unsetenv("LISTEN_FDNAMES");
  if (!ours || count != 1) return INVALID_SOCKET;
  int fd = kFirstHandedOverFd;
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) {
    return INVALID_SOCKET;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

void HoldFailureMessage() {}

}  // namespace site
