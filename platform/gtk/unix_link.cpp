// The Linux link between instances: the private directory, the lock that
// makes one instance the first, the served socket read from the main loop
// with a deadline per connection, and the client's execute. Not yet: a
// listener on an abstract socket, answers other than accepted and refused.
#include "unix_link.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "link_frame.h"

namespace gtkplat {
namespace {

// A directory only this user can enter: no symbolic link, owned by us, no
// access for group or others.
bool Private(const std::string& path) {
  struct stat st {};
  if (path.empty() || path[0] != '/' || lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t h = 1469598103934665603ull) {
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string Hex(std::uint64_t value, int digits) {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%0*llx", digits, static_cast<unsigned long long>(value));
  return buffer;
}

// The display as a file name: readable, short, and told apart by a hash from
// another display that sanitises alike.
std::string DisplayPart(const std::string& display) {
  std::string readable;
  for (char c : display.substr(0, 16)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-';
    readable += plain ? c : '_';
  }
  return readable + "-" + Hex(Fnv1a(display), 8);
}

std::string CurrentDisplay() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(name[0] == 'W' ? "wayland-" : "x") + value;
  }
  return "none";
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Writes everything before the deadline, or fails.
bool SendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd p{fd, POLLOUT, 0};
    const int left = MsLeft(deadline);
    if (left == 0 || poll(&p, 1, left) <= 0) return false;
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

struct UnixLink::Served {
  UnixLink* link = nullptr;
  int fd = -1;
  guint source = 0;
  std::string path;
  std::shared_ptr<ExecuteHandler> handler;
};

struct UnixLink::Connection {
  UnixLink* link = nullptr;
  int fd = -1;
  guint readSource = 0;
  guint deadlineSource = 0;
  std::shared_ptr<ExecuteHandler> handler;
  std::string bytes;
};

UnixLink::UnixLink(std::string program, std::string fallbackParent)
    : program_(std::move(program)), fallbackParent_(std::move(fallbackParent)) {
  // What the launcher gave this start to hand on: the start-up id on X11,
  // the activation token on Wayland; the running instance uses it to come
  // to the front past focus-stealing prevention.
  if (const char* id = std::getenv("DESKTOP_STARTUP_ID"); id && *id) {
    startupId_ = id;
  } else if (const char* token = std::getenv("XDG_ACTIVATION_TOKEN"); token && *token) {
    startupId_ = token;
  }
}

UnixLink::~UnixLink() {
  while (!served_.empty()) {
    const std::string key = served_.begin()->first;
    Served& s = *served_.begin()->second;
    if (s.source) g_source_remove(s.source);
    close(s.fd);
    unlink(s.path.c_str());
    served_.erase(key);
  }
  for (auto& c : connections_) {
    if (c->readSource) g_source_remove(c->readSource);
    if (c->deadlineSource) g_source_remove(c->deadlineSource);
    close(c->fd);
  }
  if (lockFd_ >= 0) close(lockFd_);
}

const std::string& UnixLink::Directory() {
  if (directoryResolved_) return directory_;
  directoryResolved_ = true;
  display_ = DisplayPart(CurrentDisplay());
  // Room for the longest name below, with the terminating zero.
  const std::size_t room = sizeof(sockaddr_un{}.sun_path) - 1 - program_.size() - 50;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && Private(runtime) && std::strlen(runtime) <= room) {
    directory_ = runtime;
    return directory_;
  }
  const std::string own = fallbackParent_ + "/" + program_ + "-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return directory_;
  // Made now or found: either way it must be ours alone, or nothing is used.
  if (Private(own) && own.size() <= room) directory_ = own;
  return directory_;
}

std::string UnixLink::SocketPath(std::string_view application, std::string_view topic) {
  if (Directory().empty()) return {};
  const std::uint64_t h = Fnv1a(topic, Fnv1a(std::string(application) + '\0'));
  return directory_ + "/" + program_ + "-" + display_ + "-" + Hex(h, 16) + ".sock";
}

bool UnixLink::PrevInstance() {
  if (claim_ >= 0) return claim_ == 1;
  claim_ = 0;
  if (Directory().empty()) return false;  // a lone instance: nothing to claim
  const std::string path = directory_ + "/" + program_ + "-" + display_ + ".lock";
  lockFd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd_ < 0) return false;
  // Held until the process ends, whatever way it ends; the system lets go.
  int r;
  do {
    r = flock(lockFd_, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return false;
  const bool other = errno == EWOULDBLOCK;
  close(lockFd_);
  lockFd_ = -1;
  claim_ = other ? 1 : 0;
  return other;
}

bool UnixLink::Serve(std::string_view application, std::string_view topic,
                     ExecuteHandler onExecute) {
  PrevInstance();
  if (lockFd_ < 0 || !onExecute) return false;  // only the lock holder serves
  const std::string path = SocketPath(application, topic);
  sockaddr_un address;
  if (!FillAddress(path, address) || served_.count(path)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A socket left here by a killed instance: ours now, as we hold the lock.
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(fd, SOMAXCONN) != 0) {
    close(fd);
    unlink(path.c_str());
    return false;
  }
  auto served = std::make_unique<Served>();
  served->link = this;
  served->fd = fd;
  served->path = path;
  served->handler = std::make_shared<ExecuteHandler>(std::move(onExecute));
  served->source = g_unix_fd_add(fd, G_IO_IN, &UnixLink::OnListen, served.get());
  served_.emplace(path, std::move(served));
  return true;
}

void UnixLink::StopServing(std::string_view application, std::string_view topic) {
  auto it = served_.find(SocketPath(application, topic));
  if (it == served_.end()) return;
  g_source_remove(it->second->source);
  close(it->second->fd);
  unlink(it->second->path.c_str());
  served_.erase(it);
}

gboolean UnixLink::OnListen(gint, GIOCondition, gpointer data) {
  auto* served = static_cast<Served*>(data);
  served->link->Accept(*served);
  return G_SOURCE_CONTINUE;
}

void UnixLink::Accept(Served& served) {
  for (;;) {
    const int fd = accept4(served.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // nothing more waiting (or no descriptor left: try next time)
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid()) {
      send(fd, &kRefused, 1, MSG_NOSIGNAL);
      close(fd);
      continue;
    }
    auto c = std::make_unique<Connection>();
    c->link = this;
    c->fd = fd;
    c->handler = served.handler;
    c->readSource = g_unix_fd_add(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                  &UnixLink::OnReadable, c.get());
    // A client that sends nothing, or too little, is dropped at its
    // deadline and never holds up the next one.
    c->deadlineSource = g_timeout_add(kConnectionDeadlineMs, &UnixLink::OnDeadline, c.get());
    connections_.push_back(std::move(c));
  }
}

gboolean UnixLink::OnReadable(gint, GIOCondition, gpointer data) {
  auto* c = static_cast<Connection*>(data);
  if (c->link->ReadMore(*c)) return G_SOURCE_CONTINUE;
  return G_SOURCE_REMOVE;  // Finish has removed the source and the connection
}

gboolean UnixLink::OnDeadline(gpointer data) {
  auto* c = static_cast<Connection*>(data);
  c->deadlineSource = 0;
  c->link->Finish(*c, false, kRefused);
  return G_SOURCE_REMOVE;
}

bool UnixLink::ReadMore(Connection& c) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    if (n <= 0) break;  // closed before a whole frame, or failed
    c.bytes.append(buffer, static_cast<std::size_t>(n));
    const LinkFrame frame = ReadLinkFrame(c.bytes);
    if (frame.verdict == LinkFrame::Verdict::kBad) break;
    if (frame.verdict == LinkFrame::Verdict::kIncomplete) continue;
    receivedStartupId_ = std::string(frame.startupId);
    bool accepted = false;
    // The handler is the program's; nothing it throws may reach GLib.
    try {
      accepted = (*c.handler)(frame.command);
    } catch (...) {
      accepted = false;
    }
    receivedStartupId_.clear();
    Finish(c, true, accepted ? kAccepted : kRefused);
    return false;
  }
  Finish(c, false, kRefused);
  return false;
}

void UnixLink::Finish(Connection& c, bool answer, unsigned char ack) {
  // One byte into an empty socket buffer: it does not block.
  if (answer) send(c.fd, &ack, 1, MSG_NOSIGNAL);
  if (c.readSource) g_source_remove(c.readSource);
  if (c.deadlineSource) g_source_remove(c.deadlineSource);
  close(c.fd);
  connections_.remove_if([&c](const auto& p) { return p.get() == &c; });
}

bool UnixLink::Execute(std::string_view application, std::string_view topic,
                       std::string_view command, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  sockaddr_un address;
  if (!FillAddress(SocketPath(application, topic), address)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool ok = false;
  for (;;) {
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      ok = true;
      break;
    }
    // A full backlog: the first instance is busy with other starts.
    if ((errno != EAGAIN && errno != EINTR) || MsLeft(deadline) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  // The listener must be this user's: a command goes to no one else.
  ok = ok && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid();
  if (ok) {
    command = forms::BoundedCommand(command);
    const std::string_view id =
        startupId_.size() <= kStartupIdLimit ? std::string_view(startupId_) : std::string_view();
    const std::string frame = WriteLinkFrame(command, id);
    ok = SendAll(fd, frame, deadline);
  }
  unsigned char ack = kRefused;
  if (ok) {
    ok = false;
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      const int r = poll(&p, 1, MsLeft(deadline));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      const ssize_t n = recv(fd, &ack, 1, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      ok = n == 1 && ack == kAccepted;
      break;
    }
  }
  close(fd);
  return ok;
}

}  // namespace gtkplat
