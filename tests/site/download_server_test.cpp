// Film downloads through the real server on an ephemeral loopback port:
// byte ranges answered once and exactly, HEAD, the request log, and the
// --slow rate with pages and other clients still served meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "site/access_log.h"
#include "site/film_file.h"
#include "site/server.h"
#include "tests/site/raw_socket.h"

namespace site {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class DownloadServerTest : public testing::Test {
 protected:
  void StartServer(std::uint64_t bytesPerSecond) {
    logPath_ = std::filesystem::path(testing::TempDir()) /
               ("kivo_site_download_" + std::to_string(testing_sockets::ProcessId()) + ".log");
    std::filesystem::remove(logPath_);
    std::string error;
    ASSERT_TRUE(log_.Open(logPath_.string(), &error)) << error;
    server_.ThrottleDownloads(bytesPerSecond);
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 2500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(server_.is_running());
  }

  void TearDown() override {
    server_.stop();
    if (listener_.joinable()) listener_.join();
    // Windows won't remove it while the log still has it open; the next
    // test's start does.
    std::error_code ignored;
    std::filesystem::remove(logPath_, ignored);
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(20, 0);
    return client;
  }

  socket_t Connect() { return testing_sockets::ConnectLoopback(port_); }

  // The status line and headers exactly as sent.
  std::string RawResponseHead(const std::string& method, const std::string& target) {
    socket_t sock = Connect();
    testing_sockets::SendAll(sock, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      long long n = Receive(sock, buffer, sizeof buffer, false);
      if (n <= 0) break;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    CloseSocket(sock);
    return head.substr(0, head.find("\r\n\r\n") + 2);
  }

  // A connection that asks for a film and then reads nothing: the server
  // keeps sending at its pace into the socket buffers.
  socket_t OpenIdleDownload(int id) {
    socket_t sock = Connect();
    std::string request =
        "GET /download/" + std::to_string(id) + ".mp4 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(Send(sock, request.data(), request.size(), false),
              static_cast<long long>(request.size()));
    return sock;
  }

  std::vector<std::string> LogLines() const {
    std::ifstream in(logPath_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path logPath_;
  AccessLog log_;
  SiteServer server_{&log_};
  int port_ = 0;
  std::thread listener_;
};

TEST_F(DownloadServerTest, RangesAreAnsweredExactlyOnce) {
  StartServer(0);
  const std::string whole = FilmFile(1701).Bytes();
  const std::string total = std::to_string(whole.size());
  httplib::Client client = Client();

  httplib::Result full = client.Get("/download/1701.mp4");
  ASSERT_TRUE(full) << httplib::to_string(full.error());
  EXPECT_EQ(full->status, 200);
  EXPECT_EQ(full->get_header_value("Content-Length"), total);
  EXPECT_EQ(full->get_header_value("Content-Type"), "video/mp4");
  EXPECT_EQ(full->get_header_value("Accept-Ranges"), "bytes");
  // httplib's client percent-decodes header values, so the name is checked
  // as it stands on the wire.
  EXPECT_NE(RawResponseHead("HEAD", "/download/1701.mp4")
                .find("\r\nContent-Disposition: attachment; filename=\"film-1701.mp4\"; "
                      "filename*=UTF-8''%E8%93%9D%E6%B9%96%E5%A4%8F%E5%A4%9C.mp4\r\n"),
            std::string::npos);
  EXPECT_FALSE(full->has_header("Content-Range"));
  EXPECT_TRUE(full->body == whole);

  struct RangeCase {
    std::string range;
    std::size_t first;
    std::size_t length;
  };
  const RangeCase kParts[] = {
      {"bytes=0-0", 0, 1},
      {"bytes=100-199", 100, 100},
      {"bytes=500-", 500, whole.size() - 500},
      {"bytes=-500", whole.size() - 500, 500},
  };
  for (const RangeCase& c : kParts) {
    httplib::Result part = client.Get("/download/1701.mp4", {{"Range", c.range}});
    ASSERT_TRUE(part) << c.range;
    EXPECT_EQ(part->status, 206) << c.range;
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes " + std::to_string(c.first) + "-" +
                                                           std::to_string(c.first + c.length - 1) +
                                                           "/" + total)
        << c.range;
    EXPECT_EQ(part->get_header_value("Content-Length"), std::to_string(c.length)) << c.range;
    EXPECT_TRUE(part->body == whole.substr(c.first, c.length)) << c.range;
  }

  httplib::Result refused = client.Get("/download/1701.mp4", {{"Range", "bytes=" + total + "-"}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 416);
  EXPECT_EQ(refused->get_header_value("Content-Range"), "bytes */" + total);
  EXPECT_NE(refused->body.find("416"), std::string::npos);

  // Ranges the site doesn't understand, or several at once, get the whole
  // file: httplib's own answers (416, or a multipart body) must not leak out.
  for (std::string ignored : {"bytes=abc", "bytes=5-1", "bytes=0-1,5-6", "lines=1-2"}) {
    httplib::Result result = client.Get("/download/1701.mp4", {{"Range", ignored}});
    ASSERT_TRUE(result) << ignored;
    EXPECT_EQ(result->status, 200) << ignored;
    EXPECT_EQ(result->body.size(), whole.size()) << ignored;
    EXPECT_FALSE(result->has_header("Content-Range")) << ignored;
  }
  // Pages and error pages are never cut up by a Range.
  for (std::string target : {"/tv/", "/nope", "/download/9999.mp4"}) {
    httplib::Result plain = client.Get(target.c_str());
    httplib::Result ranged = client.Get(target.c_str(), {{"Range", "bytes=0-0"}});
    ASSERT_TRUE(plain && ranged) << target;
    EXPECT_EQ(ranged->status, plain->status) << target;
    EXPECT_EQ(ranged->body, plain->body) << target;
    EXPECT_FALSE(ranged->has_header("Content-Range")) << target;
  }

  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 7u);
  const std::vector<std::string> kFirst = {
      "GET /download/1701.mp4 200", "HEAD /download/1701.mp4 200", "GET /download/1701.mp4 206",
      "GET /download/1701.mp4 206", "GET /download/1701.mp4 206",  "GET /download/1701.mp4 206",
      "GET /download/1701.mp4 416"};
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), kFirst);
}

TEST_F(DownloadServerTest, HeadAnswersTheSameHeadersWithoutABody) {
  StartServer(0);
  httplib::Client client = Client();
  const std::string total = std::to_string(FilmFile(1001).Size());
  httplib::Result get = client.Get("/download/1001.mp4", {{"Range", "bytes=10-19"}});
  httplib::Result head = client.Head("/download/1001.mp4", {{"Range", "bytes=10-19"}});
  ASSERT_TRUE(get && head);
  EXPECT_EQ(head->status, 206);
  for (const char* name : {"Content-Type", "Content-Length", "Content-Range", "Accept-Ranges",
                           "Content-Disposition", "Cache-Control"}) {
    EXPECT_EQ(head->get_header_value(name), get->get_header_value(name)) << name;
  }
  EXPECT_TRUE(head->body.empty());

  httplib::Result headWhole = client.Head("/download/1001.mp4");
  ASSERT_TRUE(headWhole);
  EXPECT_EQ(headWhole->status, 200);
  EXPECT_EQ(headWhole->get_header_value("Content-Length"), total);
  // The connection is still in step after a body-less answer.
  httplib::Result page = client.Get("/tv/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
}

TEST_F(DownloadServerTest, SlowDownloadsTakeTheirTimeWhilePagesStayQuick) {
  constexpr std::uint64_t kRate = 64 * 1024;
  constexpr std::size_t kBytes = 128 * 1024;
  StartServer(kRate);

  // A few downloads that sit unread hold their connections for the whole
  // test; pages must still get a worker.
  std::vector<socket_t> idle;
  auto connectStart = Clock::now();
  for (int id : {1001, 1002, 1003, 1004, 1101, 1102, 1103, 1104, 1201, 1202, 1203, 1204}) {
    idle.push_back(OpenIdleDownload(id));
  }
  // With httplib's backlog of five, some of these would wait the second a
  // dropped SYN takes to be sent again.
  EXPECT_LT(SecondsSince(connectStart), 0.9);

  auto start = Clock::now();
  auto download = std::async(std::launch::async, [this] {
    httplib::Client client = Client();
    return client.Get("/download/1501.mp4", {{"Range", "bytes=0-" + std::to_string(kBytes - 1)}});
  });
  // Wait for the download to be under way before asking for a page.
  for (int i = 0; i < 5000 && LogLines().size() < 13; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  auto pageStart = Clock::now();
  httplib::Result page = Client().Get("/xiazai/");
  double pageSeconds = SecondsSince(pageStart);
  ASSERT_TRUE(page) << httplib::to_string(page.error());
  EXPECT_EQ(page->status, 200);
  EXPECT_LT(pageSeconds, 2.0);

  httplib::Result result = download.get();
  double seconds = SecondsSince(start);
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 206);
  EXPECT_EQ(result->body.size(), kBytes);
  EXPECT_TRUE(result->body == FilmFile(1501).Bytes().substr(0, kBytes));
  // A lower bound only: the first piece goes out at once, so allow for it
  // and a little more.
  EXPECT_GE(seconds, 0.75 * kBytes / kRate);

  for (socket_t sock : idle) CloseSocket(sock);
}

// Sockets open in this process, the server's included: a sender that goes
// on after its client left keeps its end open. Windows has no /proc to
// count them by: there 0, and the counts below check nothing.
int OpenSockets() {
  int count = 0;
#ifndef _WIN32
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(entry.path(), error);
    if (!error && target.string().starts_with("socket:")) ++count;
  }
#endif
  return count;
}

TEST_F(DownloadServerTest, ClientsLeavingMidDownloadFreeTheServer) {
  StartServer(32 * 1024);
  const int baseline = OpenSockets();
  std::vector<socket_t> leaving;
  for (int i = 0; i < 6; ++i) leaving.push_back(OpenIdleDownload(1701));
  for (int i = 0; i < 5000 && LogLines().size() < leaving.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(LogLines().size(), leaving.size());
#ifndef _WIN32
  EXPECT_GE(OpenSockets(), baseline + 2 * static_cast<int>(leaving.size()));
#endif
  for (socket_t sock : leaving) CloseSocket(sock);
  // Each sender notices at its next piece, a tenth of a second away.
  auto leftAt = Clock::now();
  while (OpenSockets() > baseline && SecondsSince(leftAt) < 10.0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(OpenSockets(), baseline) << "a sender outlived its client";

  httplib::Result page = Client().Get("/tv/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);

  // A download still running when the server stops ends with it.
  socket_t running = OpenIdleDownload(1804);
  for (int i = 0; i < 5000 && LogLines().size() < leaving.size() + 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  auto stopStart = Clock::now();
  server_.stop();
  listener_.join();
  // Generous: the senders nap 50 ms at a time and check for the stop.
  EXPECT_LT(SecondsSince(stopStart), 5.0);
  CloseSocket(running);
}

}  // namespace
}  // namespace site
