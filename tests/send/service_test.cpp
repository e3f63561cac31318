// The sender's real server on 127.0.0.1, driven by httplib's client and by
// raw sockets for phones that stall and clients that misbehave.
#include "send/service.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace sender {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint64_t kSmall = 1 << 20;
// Far more than loopback's socket buffers hold, so a phone that reads
// nothing stalls its transfer; sparse, so it costs no disk.
constexpr std::uint64_t kBig = 64ull << 20;
// "流浪地球.mp4", the name every send here is saved under unless told.
constexpr char kEncodedName[] = "%E6%B5%81%E6%B5%AA%E5%9C%B0%E7%90%83.mp4";

// -1 with errno set when the connection is refused.
int Connect(int port, int receiveBuffer = 0) {
  int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receiveBuffer > 0) {
    ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    ::close(sock);
    errno = error;
    return -1;
  }
  return sock;
}

void SendAll(int sock, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(sock, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may answer before reading it all
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Polls `done` for up to ten seconds.
bool Eventually(const std::function<bool()>& done) {
  for (auto deadline = Clock::now() + 10s; Clock::now() < deadline;) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

class SendServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) / ("kivo_send_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    small_ = MakeFile("small.mp4", kSmall, false);
    big_ = MakeFile("big.mp4", kBig, true);
    Restart(3s);
  }

  void TearDown() override {
    service_.reset();
    fs::remove_all(dir_);
  }

  void Restart(std::chrono::milliseconds writeTimeout) {
    service_.reset();
    ServiceOptions options;
    options.allowLoopbackForTests = true;
    options.writeTimeout = writeTimeout;
    options.now = [this] { return Clock::time_point(24h) + elapsed_.load(); };
    service_ = std::make_unique<Service>(options);
  }

  // Bytes that differ from offset to offset, so a wrong range can't pass.
  std::string MakeFile(const std::string& name, std::uint64_t size, bool sparse) {
    fs::path path = dir_ / name;
    std::ofstream(path).close();
    if (sparse) {
      fs::resize_file(path, size);
    } else {
      contents_.resize(size);
      for (std::uint64_t i = 0; i < size; ++i) contents_[i] = static_cast<char>((i * 7) ^ (i >> 8));
      std::ofstream(path, std::ios::binary) << contents_;
    }
    return path.string();
  }

  SendHandle Open(const std::string& path, const std::string& name = "流浪地球") {
    Opened opened = service_->Open(path, name, "127.0.0.1");
    EXPECT_NE(opened.handle, 0u) << opened.error;
    std::string url = service_->Url(opened.handle);
    port_ = std::stoi(url.substr(std::string("http://127.0.0.1:").size()));
    return opened.handle;
  }

  // "/<token>/" and "/<token>/f/<name>".
  std::string PagePath(SendHandle handle) {
    std::string url = service_->Url(handle);
    return url.substr(url.find('/', std::string("http://").size()));
  }
  std::string FilePath(SendHandle handle, const std::string& encodedName = kEncodedName) {
    return PagePath(handle) + "f/" + encodedName;
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    client.set_read_timeout(10, 0);
    return client;
  }
  int GetStatus(const std::string& path, const std::string& range = "") {
    httplib::Result result =
        range.empty() ? Client().Get(path) : Client().Get(path, {{"Range", range}});
    return result ? result->status : -1;
  }

  // Sends `request` on a fresh connection; what came back before the
  // server closed it (at most ten seconds).
  std::string Exchange(const std::string& request) {
    int sock = Connect(port_);
    SendAll(sock, request);
    std::string received;
    char buffer[64 * 1024];
    pollfd entry{sock, POLLIN, 0};
    for (ssize_t n = 1; n > 0 && ::poll(&entry, 1, 10'000) > 0;) {
      n = ::recv(sock, buffer, sizeof buffer, 0);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(sock);
    return received;
  }

  // A phone that asks for the file and then reads nothing.
  int StalledPhone(const std::string& path) {
    int sock = Connect(port_, 4096);
    SendAll(sock, "GET " + path + " HTTP/1.1\r\nHost: phone\r\n\r\n");
    return sock;
  }

  SendStatus StatusOf(SendHandle handle) { return service_->Status(handle).value_or(SendStatus{}); }

  fs::path dir_;
  std::string small_, big_, contents_;
  std::atomic<std::chrono::nanoseconds> elapsed_{0ns};
  std::unique_ptr<Service> service_;
  int port_ = 0;
};

TEST_F(SendServiceTest, ServesThePageAndExactlyTheFile) {
  SendHandle handle = Open(small_, "流浪地球&2");
  EXPECT_EQ(service_->Url(handle), "http://127.0.0.1:" + std::to_string(port_) + PagePath(handle));
  EXPECT_EQ(PagePath(handle).size(), 1 + kTokenLength + 1);

  httplib::Result page = Client().Get(PagePath(handle));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<h1>流浪地球&amp;2.mp4</h1>"), std::string::npos);
  EXPECT_NE(page->body.find("1.0 MB"), std::string::npos);
  std::string file = FilePath(handle, "%E6%B5%81%E6%B5%AA%E5%9C%B0%E7%90%83%262.mp4");
  EXPECT_NE(page->body.find("href=\"" + file + "\""), std::string::npos);

  httplib::Result head = Client().Head(file);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(kSmall));
  EXPECT_TRUE(head->body.empty());

  httplib::Result got = Client().Get(file);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->status, 200);
  EXPECT_TRUE(got->body == contents_);
  EXPECT_EQ(got->get_header_value("Content-Type"), "video/mp4");
  EXPECT_EQ(got->get_header_value("Accept-Ranges"), "bytes");
  // httplib's client percent-decodes header values as it reads them.
  EXPECT_EQ(got->get_header_value("Content-Disposition"),
            "attachment; filename=\"2.mp4\"; filename*=UTF-8''流浪地球&2.mp4");

  // The slot is free again once the transfer is over; HEAD and the page
  // were never counted.
  EXPECT_TRUE(Eventually([&] { return StatusOf(handle).completed == 1; }));
  SendStatus status = StatusOf(handle);
  EXPECT_EQ(status.phones, 0);
  EXPECT_EQ(status.bytesSent, kSmall);
  EXPECT_EQ(status.bytesPerSecond, kSmall / 2);  // the clock stood still
  EXPECT_FALSE(status.fileGone || status.expired);
  elapsed_ = 3s;
  EXPECT_EQ(StatusOf(handle).bytesPerSecond, 0u);
}

TEST_F(SendServiceTest, AnswersOneRangeAndRefusesRangesPastTheEnd) {
  SendHandle handle = Open(small_);
  std::string etag = Client().Head(FilePath(handle))->get_header_value("ETag");
  EXPECT_TRUE(etag.starts_with('"') && etag.size() > 2) << etag;
  std::string size = std::to_string(kSmall);
  struct Case {
    std::string range, ifRange;
    int status;
    std::string contentRange;
    std::uint64_t first, length;
  };
  for (const Case& c : std::vector<Case>{
           {"bytes=10-19", "", 206, "bytes 10-19/" + size, 10, 10},
           {"bytes=-5", "", 206, "bytes 1048571-1048575/" + size, kSmall - 5, 5},
           {"bytes=" + size + "-", "", 416, "bytes */" + size, 0, 0},
           {"bytes=0-1,5-6", "", 200, "", 0, kSmall},  // a list: the whole file
           // Resuming: the rest only from the same version of the file.
           {"bytes=1000-", etag, 206, "bytes 1000-1048575/" + size, 1000, kSmall - 1000},
           {"bytes=1000-", "\"other\"", 200, "", 0, kSmall},
       }) {
    SCOPED_TRACE(c.range + " " + c.ifRange);
    httplib::Headers headers{{"Range", c.range}};
    if (!c.ifRange.empty()) headers.emplace("If-Range", c.ifRange);
    httplib::Result result = Client().Get(FilePath(handle), headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    EXPECT_EQ(result->get_header_value("Content-Range"), c.contentRange);
    if (c.status != 416) {
      EXPECT_TRUE(result->body == contents_.substr(c.first, c.length));
    }
  }
  // Only the whole-file answers count as downloads.
  EXPECT_TRUE(Eventually([&] { return StatusOf(handle).completed == 2; }));
}

TEST_F(SendServiceTest, AnswersEverythingButALiveSendsTwoAddressesWithTheSame404) {
  SendHandle handle = Open(small_);
  SendHandle closed = Open(big_, "other");
  std::string page = PagePath(handle);
  std::string token = page.substr(1, kTokenLength);
  std::string wrong = token;
  wrong.back() = wrong.back() == 'A' ? 'B' : 'A';
  std::string closedFile = FilePath(closed, "other.mp4");
  service_->Close(closed);

  for (const std::string& path :
       {std::string("/"), "/" + wrong + "/", "/" + token.substr(0, 21) + "/", "/" + token + "x/",
        page + "../", page + "f/../../../etc/passwd", page + "f/%2e%2e%2f%2e%2e%2fetc%2fpasswd",
        page + "f/big.mp4", page + "f/small.mp4", page + "small.mp4", page + "f/", closedFile}) {
    for (std::string method : {"GET", "HEAD", "POST"}) {
      std::string answer =
          Exchange(method + " " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
      EXPECT_TRUE(answer.starts_with("HTTP/1.1 404 ")) << method << " " << path << answer;
      EXPECT_TRUE(answer.ends_with(method == "HEAD" ? "\r\n\r\n" : "\r\n\r\n404 Not Found\n"));
    }
  }
  // The live one still answers, with or without its trailing slash.
  EXPECT_EQ(GetStatus(page.substr(0, page.size() - 1)), 200);
  EXPECT_EQ(GetStatus(page + "?from=qr"), 200);
}

TEST_F(SendServiceTest, ExpiresHalfAnHourAfterTheLastRequest) {
  SendHandle handle = Open(small_);
  std::string page = PagePath(handle);
  elapsed_ = 29min;
  EXPECT_EQ(GetStatus(page), 200);
  elapsed_ = 58min;  // 29 minutes after that request
  EXPECT_EQ(GetStatus(page), 200);
  EXPECT_FALSE(StatusOf(handle).expired);
  elapsed_ = 88min + 1s;
  EXPECT_TRUE(StatusOf(handle).expired);
  EXPECT_EQ(GetStatus(page), 404);
  EXPECT_EQ(GetStatus(FilePath(handle)), 404);
  elapsed_ = 0s;  // no way back once expired
  EXPECT_EQ(GetStatus(page), 404);
}

TEST_F(SendServiceTest, TheFifthPhoneWaitsAndStalledPhonesLoseTheirSlots) {
  SendHandle handle = Open(big_);
  std::string file = FilePath(handle);
  // Someone trickling a head in, a byte at a time, all through.
  std::atomic<bool> trickling = true;
  std::thread trickler([&] {
    int sock = Connect(port_);
    std::string head = "GET " + file + " HTTP/1.1\r\nHost: slow\r\n";
    for (std::size_t i = 0; trickling && i < 1000; ++i) {
      SendAll(sock, head.substr(i % head.size(), 1));
      std::this_thread::sleep_for(5ms);
    }
    ::close(sock);
  });

  std::vector<int> phones;
  for (int i = 0; i < 4; ++i) phones.push_back(StalledPhone(file));
  EXPECT_TRUE(Eventually([&] { return StatusOf(handle).phones == 4; }));

  httplib::Result fifth = Client().Get(file, {{"Range", "bytes=0-9"}});
  ASSERT_TRUE(fifth);
  EXPECT_EQ(fifth->status, 503);
  EXPECT_EQ(fifth->get_header_value("Retry-After"), "10");
  EXPECT_FALSE(fifth->has_header("Content-Disposition"));
  EXPECT_EQ(GetStatus(PagePath(handle)), 200);
  EXPECT_EQ(Client().Head(file)->status, 200);

  // Three seconds without a write getting through: each stalled transfer
  // is given up and its slot comes free.
  EXPECT_TRUE(Eventually([&] { return StatusOf(handle).phones == 0; }));
  EXPECT_EQ(GetStatus(file, "bytes=0-9"), 206);
  EXPECT_EQ(StatusOf(handle).completed, 0);
  trickling = false;
  trickler.join();
  for (int sock : phones) ::close(sock);
}

TEST_F(SendServiceTest, AFileRemovedReplacedOrChangedIsNoLongerServed) {
  using Change = std::function<void(const fs::path&)>;
  for (const auto& [what, change] : std::vector<std::pair<std::string, Change>>{
           {"removed", [](const fs::path& p) { fs::remove(p); }},
           // The old file lives on under another name, still linked.
           {"replaced",
            [this](const fs::path& p) {
              fs::rename(p, dir_ / "old.mp4");
              MakeFile(p.filename(), kSmall, false);
            }},
           {"appended to", [](const fs::path& p) { std::ofstream(p, std::ios::app) << "more"; }},
       }) {
    SCOPED_TRACE(what);
    std::string path = MakeFile("victim.mp4", kSmall, false);
    SendHandle handle = Open(path);
    EXPECT_EQ(GetStatus(FilePath(handle), "bytes=0-0"), 206);
    change(path);
    httplib::Result result = Client().Get(FilePath(handle));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 410);
    EXPECT_NE(result->body.find("删除或替换"), std::string::npos);
    EXPECT_EQ(GetStatus(PagePath(handle)), 410);
    EXPECT_TRUE(StatusOf(handle).fileGone);
    service_->Close(handle);
  }
}

TEST_F(SendServiceTest, SurvivesHostileHeadsAndKeepsServing) {
  SendHandle handle = Open(small_);
  std::string page = PagePath(handle);
  std::string manyHeaders = "GET " + page + " HTTP/1.1\r\n";
  for (int i = 0; i < 10'000; ++i) manyHeaders += "X-" + std::to_string(i) + ": y\r\n";

  for (const auto& [request, answer] : std::vector<std::pair<std::string, std::string>>{
           {"GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\nConnection: close\r\n\r\n",
            "HTTP/1.1 404 "},
           {"GET /" + std::string(2 << 20, 'a'), "HTTP/1.1 414 "},
           {manyHeaders + "\r\n", "HTTP/1.1 431 "},
       }) {
    std::string received = Exchange(request);
    EXPECT_TRUE(received.starts_with(answer)) << received.substr(0, 200);
    EXPECT_EQ(received.find("流浪地球"), std::string::npos);
    EXPECT_EQ(GetStatus(page), 200);
  }
}

TEST_F(SendServiceTest, RefusesWhatCantBeSentWithAReason) {
  auto error = [&](const std::string& path, const std::string& address) {
    Opened opened = service_->Open(path, "", address);
    EXPECT_EQ(opened.handle, 0u) << path << " " << address;
    return opened.error;
  };
  Service strict;  // as the window has it: no loopback
  EXPECT_NE(strict.Open(small_, "", "127.0.0.1").error.find("回环"), std::string::npos);
  EXPECT_NE(strict.Open(small_, "", "").error.find("地址"), std::string::npos);
  for (const char* address :
       {"localhost", "0.0.0.0", "224.0.0.1", "192.168.1.300", "127.0.0.1\n"}) {
    EXPECT_NE(error(small_, address), "");
  }
  for (const std::string& path : {(dir_ / "missing.mp4").string(), dir_.string(), std::string()}) {
    EXPECT_NE(error(path, "127.0.0.1"), "");
  }
  ServiceOptions noRandom;
  noRandom.allowLoopbackForTests = true;
  noRandom.random = [](std::span<std::uint8_t>) { return false; };
  EXPECT_NE(Service(noRandom).Open(small_, "", "127.0.0.1").error.find("随机"), std::string::npos);

  // One listening address at a time; unknown handles are no send.
  SendHandle handle = Open(small_);
  EXPECT_NE(error(small_, "127.0.0.2").find("127.0.0.1"), std::string::npos);
  EXPECT_FALSE(service_->Status(handle + 1));
  EXPECT_EQ(service_->Url(handle + 1), "");
  service_->Close(handle + 1);
  EXPECT_EQ(GetStatus(PagePath(handle)), 200);
}

TEST_F(SendServiceTest, StopsServingWhenTheLastSendClosesOrTheServiceGoes) {
  // Stopping joins the server's threads, so each stop below would take the
  // whole write timeout if a stalled transfer still held its worker.
  Restart(30s);
  SendHandle first = Open(small_);
  SendHandle second = Open(big_);
  int stalled = StalledPhone(FilePath(second));
  EXPECT_TRUE(Eventually([&] { return StatusOf(second).phones == 1; }));
  service_->Close(second);
  EXPECT_EQ(GetStatus(PagePath(first)), 200);
  auto start = Clock::now();
  service_->Close(first);
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_EQ(Connect(port_), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
  ::close(stalled);

  // Open again: a new server; then the Service itself goes.
  SendHandle third = Open(big_);
  stalled = StalledPhone(FilePath(third));
  EXPECT_TRUE(Eventually([&] { return StatusOf(third).phones == 1; }));
  start = Clock::now();
  service_.reset();
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_EQ(Connect(port_), -1);
  ::close(stalled);
}

}  // namespace
}  // namespace sender
