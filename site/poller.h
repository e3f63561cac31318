// Waits on many sockets at once for input, on one thread: epoll on Linux,
// WSAPoll on Windows. Any thread may Wake() a Wait in progress.
#pragma once

#include <httplib.h>

#include <vector>

namespace site {

class Poller {
 public:
  Poller();
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // False when the socket can't be watched (it is then not watched).
  bool Add(socket_t sock);
  void Remove(socket_t sock);

  // Waits at most `timeoutMs` for input on the watched sockets or a
  // Wake(); `ready` is then the sockets with input (or ended), in no set
  // order, and empty after a wake, a timeout or an interrupted wait.
  void Wait(int timeoutMs, std::vector<socket_t>* ready);

  void Wake();

 private:
#ifdef _WIN32
  std::vector<WSAPOLLFD> entries_;  // entries_[0] is the wake socket
  socket_t wakeSend_ = INVALID_SOCKET;
#else
  int epoll_ = -1;
  int wake_ = -1;  // eventfd
#endif
};

}  // namespace site
