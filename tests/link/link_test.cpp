// The Linux link between instances, without a display: who is first, the
// socket's takeover, time-outs, peers of another user, the command bound,
// clients that misbehave, and where the lock and sockets may live.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "unix_link.h"

namespace {

using gtkplat::UnixLink;
using Clock = std::chrono::steady_clock;

const char kApp[] = "Kivo手机电影下载器";
const char kTopic[] = "BA1";

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Each test gets its own runtime and fallback directories and display.
class LinkTest : public testing::Test {
 protected:
  void SetUp() override {
    char base[] = "/tmp/kivo-link-test.XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    root_ = base;
    runtime_ = root_ + "/run";
    fallback_ = root_ + "/tmp";
    ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(fallback_.c_str(), 0755), 0);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", ":7", 1);
  }
  void TearDown() override { RemoveAll(root_); }

  static void RemoveAll(const std::string& path) {
    const std::string command = "rm -rf '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  // Runs the default main loop until `done` or the time is up.
  static bool LoopUntil(const std::function<bool()>& done, int ms) {
    const auto start = Clock::now();
    while (!done()) {
      if (MsSince(start) > ms) return false;
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  // One second start in a child process; its exit status says whether the
  // first accepted.
  static pid_t SpawnExecute(const std::string& command, int timeoutMs,
                            const std::string& startupId = "") {
    const pid_t pid = fork();
    if (pid == 0) {
      UnixLink link;
      link.SetStartupId(startupId);
      _exit(link.Execute(kApp, kTopic, command, timeoutMs) ? 0 : 1);
    }
    return pid;
  }

  // Serves while waiting for the child; its exit status, or -1 when it
  // did not end in time.
  static int Reap(pid_t pid, int ms = 5000) {
    int status = 0;
    const bool ended = LoopUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, ms);
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A client that speaks the socket by hand.
  static int RawConnect(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  std::string root_, runtime_, fallback_;
};

TEST_F(LinkTest, OfTwentyConcurrentClaimsExactlyOneWins) {
  int go[2], answers[2], release[2];
  ASSERT_EQ(pipe(go), 0);
  ASSERT_EQ(pipe(answers), 0);
  ASSERT_EQ(pipe(release), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 20; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      close(release[1]);
      char c;
      (void)!read(go[0], &c, 1);  // all start together
      UnixLink link;
      const char answer = link.PrevInstance() ? 'S' : 'F';
      (void)!write(answers[1], &answer, 1);
      (void)!read(release[0], &c, 1);  // the winner holds the lock meanwhile
      _exit(0);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(go[1]);  // EOF: every child goes at once
  close(answers[1]);
  int first = 0, second = 0;
  char answer;
  while (first + second < 20 && read(answers[0], &answer, 1) == 1) {
    (answer == 'F' ? first : second)++;
  }
  close(release[1]);
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 19);

  // The answer is given once and kept; the lock went with its holder.
  UnixLink after;
  EXPECT_FALSE(after.PrevInstance());
  EXPECT_FALSE(after.PrevInstance());
  UnixLink another;
  EXPECT_TRUE(another.PrevInstance());
  EXPECT_FALSE(another.Serve(kApp, kTopic, [](std::string_view) { return true; }));
}

TEST_F(LinkTest, OneInstancePerDisplay) {
  UnixLink first;
  ASSERT_FALSE(first.PrevInstance());
  setenv("DISPLAY", ":8", 1);
  UnixLink otherDisplay;
  EXPECT_FALSE(otherDisplay.PrevInstance());
  EXPECT_NE(first.SocketPath(kApp, kTopic), otherDisplay.SocketPath(kApp, kTopic));
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  UnixLink wayland;
  EXPECT_FALSE(wayland.PrevInstance());
  UnixLink waylandAgain;
  EXPECT_TRUE(waylandAgain.PrevInstance());
}

TEST_F(LinkTest, ASocketLeftByAKilledInstanceIsTakenOver) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    UnixLink link;
    const bool serving =
        !link.PrevInstance() && link.Serve(kApp, kTopic, [](std::string_view) { return true; });
    (void)!write(ready[1], serving ? "y" : "n", 1);
    for (;;) pause();
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  {
    UnixLink second;
    EXPECT_TRUE(second.PrevInstance());
  }
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);

  UnixLink next;
  struct stat st {};
  ASSERT_EQ(lstat(next.SocketPath(kApp, kTopic).c_str(), &st), 0) << "the killed one left it";
  // The dead socket refuses at once rather than hanging a second start.
  const auto start = Clock::now();
  EXPECT_FALSE(next.Execute(kApp, kTopic, "x", 2000));
  EXPECT_LT(MsSince(start), 500);

  ASSERT_FALSE(next.PrevInstance());
  std::vector<std::string> got;
  ASSERT_TRUE(next.Serve(kApp, kTopic, [&](std::string_view cmd) {
    got.emplace_back(cmd);
    return true;
  }));
  ASSERT_EQ(lstat(next.SocketPath(kApp, kTopic).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Reap(SpawnExecute("--from the second", 2000)), 0);
  EXPECT_EQ(got, std::vector<std::string>{"--from the second"});

  next.StopServing(kApp, kTopic);
  EXPECT_NE(lstat(next.SocketPath(kApp, kTopic).c_str(), &st), 0);
  EXPECT_EQ(Reap(SpawnExecute("late", 500)), 1);
}

TEST_F(LinkTest, AHungFirstInstanceCostsTheSecondOnlyItsTimeOut) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t hung = fork();
  ASSERT_GE(hung, 0);
  if (hung == 0) {
    // Holds the lock, accepts and reads, never answers.
    UnixLink link;
    link.PrevInstance();
    const std::string path = link.SocketPath(kApp, kTopic);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool ok =
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 8) == 0;
    (void)!write(ready[1], ok ? "y" : "n", 1);
    std::vector<int> kept;
    for (;;) {
      const int c = accept(fd, nullptr, nullptr);
      char buffer[4096];
      while (c >= 0 && read(c, buffer, sizeof buffer) == sizeof buffer) {
      }
      kept.push_back(c);
    }
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  UnixLink second;
  EXPECT_TRUE(second.PrevInstance());
  for (int timeout : {300, 1000}) {
    const auto start = Clock::now();
    EXPECT_FALSE(second.Execute(kApp, kTopic, "anything", timeout));
    const long long took = MsSince(start);
    EXPECT_GE(took, timeout - 20);
    EXPECT_LT(took, timeout + 300);
  }
  kill(hung, SIGKILL);
  waitpid(hung, nullptr, 0);
}

TEST_F(LinkTest, APeerOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  UnixLink first;
  ASSERT_FALSE(first.PrevInstance());
  int executes = 0;
  ASSERT_TRUE(first.Serve(kApp, kTopic, [&](std::string_view) { return ++executes, true; }));
  const std::string path = first.SocketPath(kApp, kTopic);

  // Another user who can still reach the socket (file access as root, the
  // effective user, which the peer check sees, nobody's); and one who
  // cannot even reach it.
  for (bool reachable : {true, false}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (reachable) {
        if (setegid(65534) != 0 || seteuid(65534) != 0) _exit(3);
        setfsuid(0);
      } else if (setgid(65534) != 0 || setuid(65534) != 0) {
        _exit(3);
      }
      const int fd = RawConnect(path);
      if (fd < 0) _exit(reachable ? 4 : 1);
      const std::uint32_t sizes[2] = {1, 0};
      std::string frame(UnixLink::kMagic, 4);
      frame.append(reinterpret_cast<const char*>(sizes), 8);
      frame += "x";
      (void)!write(fd, frame.data(), frame.size());
      unsigned char ack = 9;
      const ssize_t n = read(fd, &ack, 1);
      _exit(n == 1 && ack == UnixLink::kAccepted ? 0 : 1);
    }
    EXPECT_EQ(Reap(pid), 1) << (reachable ? "reachable" : "unreachable");
  }
  EXPECT_EQ(executes, 0);
  // The first instance serves its own user on.
  EXPECT_EQ(Reap(SpawnExecute("own", 2000)), 0);
  EXPECT_EQ(executes, 1);
}

TEST_F(LinkTest, AHugeCommandLineArrivesCutToTheBoundAndIntactUpToIt) {
  UnixLink first;
  ASSERT_FALSE(first.PrevInstance());
  std::string got, gotId;
  bool called = false;
  ASSERT_TRUE(first.Serve(kApp, kTopic, [&](std::string_view cmd) {
    got = std::string(cmd);
    gotId = first.ReceivedStartupId();
    called = true;
    return true;
  }));
  // Any bytes, then three-byte characters to 1 MiB: the cut falls inside one.
  std::string command("a\0b\xff\n|", 6);
  while (command.size() < 1024 * 1024) command += "中";
  EXPECT_EQ(Reap(SpawnExecute(command, 2000, "kivo-42_TIME1234")), 0);
  ASSERT_TRUE(called);
  // 6 bytes, then as many whole characters as fit in 32 KiB: 10920 of them.
  EXPECT_EQ(got.size(), 6u + 3u * 10920u);
  EXPECT_EQ(got, command.substr(0, got.size()));
  EXPECT_EQ(gotId, "kivo-42_TIME1234");
  EXPECT_EQ(first.ReceivedStartupId(), "");

  // A refusal by the program reaches the second start too.
  ASSERT_TRUE(first.Serve(kApp, "other", [](std::string_view) { return false; }));
  const pid_t pid = fork();
  if (pid == 0) _exit(UnixLink().Execute(kApp, "other", "x", 2000) ? 0 : 1);
  EXPECT_EQ(Reap(pid), 1);
}

TEST_F(LinkTest, ClientsSendingNothingOrGarbageDoNotStopTheNext) {
  UnixLink first;
  ASSERT_FALSE(first.PrevInstance());
  std::vector<std::string> got;
  ASSERT_TRUE(first.Serve(kApp, kTopic, [&](std::string_view cmd) {
    got.emplace_back(cmd);
    return true;
  }));
  const std::string path = first.SocketPath(kApp, kTopic);
  auto header = [](std::uint32_t commandSize, std::uint32_t idSize) {
    std::string h(UnixLink::kMagic, 4);
    h.append(reinterpret_cast<const char*>(&commandSize), 4);
    h.append(reinterpret_cast<const char*>(&idSize), 4);
    return h;
  };
  const std::vector<std::string> bad = {
      "",                             // connects, sends nothing
      "GET / HTTP/1.0\r\n\r\n",       // garbage
      header(64 * 1024 * 1024, 0),    // a length far beyond the bound
      header(10, 100000),             // a start-up id beyond its bound
      header(100, 0) + "only ten b",  // fewer bytes than announced
      header(2, 0) + "three",         // more bytes than announced
  };
  std::vector<int> fds;
  for (const auto& bytes : bad) {
    const int fd = RawConnect(path);
    ASSERT_GE(fd, 0);
    if (!bytes.empty()) {
      ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    fds.push_back(fd);
  }
  const int closedAtOnce = RawConnect(path);
  close(closedAtOnce);

  // Served at once, not after the silent clients' deadline.
  const auto start = Clock::now();
  EXPECT_EQ(Reap(SpawnExecute("next", 2000)), 0);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(got, std::vector<std::string>{"next"});

  // Every bad client is dropped by its deadline, none executed.
  for (int fd : fds) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
    char c;
    ssize_t n = -1;
    LoopUntil([&] { return (n = read(fd, &c, 1)) >= 0 || errno != EAGAIN; }, 4000);
    EXPECT_TRUE(n == 0 || (n == 1 && c == UnixLink::kRefused)) << n;
    close(fd);
  }
  EXPECT_EQ(Reap(SpawnExecute("after", 2000)), 0);
  EXPECT_EQ(got, (std::vector<std::string>{"next", "after"}));
}

TEST_F(LinkTest, OnlyAPrivateDirectoryIsUsed) {
  const std::string own = fallback_ + "/kivo-" + std::to_string(geteuid());
  auto refused = [&](const char* why) {
    UnixLink link("kivo", fallback_);
    EXPECT_EQ(link.Directory(), "") << why;
    EXPECT_FALSE(link.PrevInstance()) << why;
    EXPECT_FALSE(link.Serve(kApp, kTopic, [](std::string_view) { return true; })) << why;
    EXPECT_FALSE(link.Execute(kApp, kTopic, "x", 200)) << why;
  };
  {
    UnixLink link("kivo", fallback_);
    EXPECT_EQ(link.Directory(), runtime_);
  }
  // A runtime directory others can enter is not used; one is made instead.
  ASSERT_EQ(chmod(runtime_.c_str(), 0711), 0);
  {
    UnixLink link("kivo", fallback_);
    EXPECT_EQ(link.Directory(), own);
    struct stat st {};
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(link.PrevInstance());
    EXPECT_TRUE(link.Serve(kApp, kTopic, [](std::string_view) { return true; }));
  }
  RemoveAll(own);
  unsetenv("XDG_RUNTIME_DIR");
  {
    UnixLink link("kivo", fallback_);
    EXPECT_EQ(link.Directory(), own);
  }
  ASSERT_EQ(chmod(own.c_str(), 0750), 0);
  refused("the private directory readable by the group");
  RemoveAll(own);

  // A link planted where the directory goes, even to a private directory.
  const std::string elsewhere = root_ + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), own.c_str()), 0);
  refused("a symbolic link");
  setenv("XDG_RUNTIME_DIR", (root_ + "/runlink").c_str(), 1);
  ASSERT_EQ(symlink(runtime_.c_str(), (root_ + "/runlink").c_str()), 0);
  refused("a symbolic link as runtime directory, and one as the fallback");
  ASSERT_EQ(unlink(own.c_str()), 0);

  // A plain file, and another user's directory.
  ASSERT_EQ(close(open(own.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
  refused("a file");
  ASSERT_EQ(unlink(own.c_str()), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    refused("another user's directory");
  }
}

}  // namespace
