// The real server on an ephemeral loopback port, driven by httplib's client
// and by raw sockets for what no well-behaved client would send.
#include "site/server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "site/access_log.h"
#include "site/head_scanner.h"
#include "tests/site/raw_socket.h"

namespace site {
namespace {

using Clock = std::chrono::steady_clock;
using namespace testing_sockets;

// The Windows browser control shows a page in its best mode only when it
// says so, in the head of the response and in the page itself.
constexpr std::string_view kEdgeHeader = "X-UA-Compatible: IE=edge\r\n";
constexpr std::string_view kEdgeMeta = "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">";

bool DeclaresEdge(const std::string& rawAnswer) {
  return rawAnswer.find(kEdgeHeader) != std::string::npos &&
         rawAnswer.find(kEdgeMeta) != std::string::npos;
}

class SiteServerTest : public testing::Test {
 protected:
  void SetUp() override { Start(SchedulerLimits{}); }

  void Start(const SchedulerLimits& limits) {
    server_.SetConnectionLimits(limits);
    logPath_ = std::filesystem::path(testing::TempDir()) /
               ("kivo_site_server_" + std::to_string(ProcessId()) + ".log");
    std::filesystem::remove(logPath_);
    std::string error;
    ASSERT_TRUE(log_.Open(logPath_.string(), &error)) << error;
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
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

  // Sends targets byte for byte, as a raw client would.
  httplib::Client RawClient() {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    client.set_read_timeout(5, 0);
    return client;
  }

  socket_t Connect() const { return ConnectLoopback(port_); }

  // Sends `request` on a fresh connection and reads until the server
  // closes (at most 5 s).
  std::string Exchange(std::string_view request, bool* closed) {
    socket_t sock = Connect();
    SendAll(sock, request);
    std::string answer = ReadAll(sock, 5000, closed);
    CloseSocket(sock);
    return answer;
  }

  // The server still answers an ordinary visitor.
  void ExpectStillServing() {
    httplib::Result result = RawClient().Get("/tv/");
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);
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

TEST_F(SiteServerTest, ServesPagesAndLogsRawTargets) {
  httplib::Client client = RawClient();
  struct Step {
    std::string method;
    std::string target;
    int status;
    std::string bodyHas;
    std::string logged;
  };
  const Step kSteps[] = {
      {"GET", "//xiazai/", 200, "<h1>热门影片</h1>", "GET //xiazai/ 200"},
      {"GET", "//xiazai", 200, "<h1>热门影片</h1>", "GET //xiazai 200"},
      {"GET", "/e/search/?searchget=1&keyboard=a%26b%20%231&show=title", 200,
       "<strong>a&amp;b #1</strong>",
       "GET /e/search/?searchget=1&keyboard=a%26b%20%231&show=title 200"},
      {"GET", "/e/search/?searchget=1&keyboard=%ZZ%FF&show=title", 200,
       "<strong>%ZZ\xEF\xBF\xBD</strong>",
       "GET /e/search/?searchget=1&keyboard=%ZZ%FF&show=title 200"},
      {"GET", "/xiazai/影片", 404, "404", "GET /xiazai/%E5%BD%B1%E7%89%87 404"},
      {"GET", "/film/1701.html", 200, "/download/1701.mp4", "GET /film/1701.html 200"},
      {"GET", "/e/tool/gbook/?bid=1", 200, "<h1>留言板</h1>", "GET /e/tool/gbook/?bid=1 200"},
      {"HEAD", "/tv/", 200, "", "HEAD /tv/ 200"},
      // A refused body is still read off the connection, so the requests
      // after it on the same connection are answered in step.
      {"POST", "//xiazai/", 405, "405", "POST //xiazai/ 405"},
      {"DELETE", "/tv/", 405, "405", "DELETE /tv/ 405"},
      {"GET", "/tv/", 200, "<h1>手机剧集</h1>", "GET /tv/ 200"},
  };
  std::size_t expectedLines = 0;
  for (const Step& step : kSteps) {
    httplib::Result result =
        step.method == "GET"    ? client.Get(step.target.c_str())
        : step.method == "HEAD" ? client.Head(step.target.c_str())
        : step.method == "POST"
            ? client.Post(step.target.c_str(), "lytext=hi", "application/x-www-form-urlencoded")
            : client.Delete(step.target.c_str());
    ASSERT_TRUE(result) << step.target << ": " << httplib::to_string(result.error());
    EXPECT_EQ(result->status, step.status) << step.target;
    EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store") << step.target;
    EXPECT_EQ(result->get_header_value("X-UA-Compatible"), "IE=edge") << step.target;
    EXPECT_NE(result->body.find(step.bodyHas), std::string::npos) << step.target;
    if (step.method == "HEAD") {
      EXPECT_TRUE(result->body.empty());
    } else {
      EXPECT_NE(result->body.find(kEdgeMeta), std::string::npos) << step.target;
    }

    // The line is there as soon as the response is.
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), ++expectedLines) << step.target;
    EXPECT_EQ(lines.back(), step.logged);
  }
}

TEST_F(SiteServerTest, AnswersAddressesLongerThanHttplibAllows) {
  std::string keyword;
  std::string encoded;
  while (keyword.size() < 64 * 1024) {
    keyword += "影";
    encoded += "%E5%BD%B1";
  }
  std::string target = "/e/search/?searchget=1&keyboard=" + encoded + "&show=title";
  ASSERT_GT(target.size(), 8192u);  // httplib's own limit

  httplib::Client client = RawClient();
  httplib::Result result = client.Get(target.c_str());
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
  EXPECT_NE(result->body.find("<strong>" + keyword + "</strong>"), std::string::npos);

  std::string tooLong(kMaxRequestLine, 'a');
  result = client.Get(("/" + tooLong).c_str());
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 414);

  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "GET " + target + " 200");
  EXPECT_TRUE(lines[1].starts_with("GET /aaaa"));
  EXPECT_TRUE(lines[1].ends_with(" 414"));
}

TEST_F(SiteServerTest, OverlongHeaderLineIsDroppedNotFatal) {
  httplib::Client client = RawClient();
  httplib::Headers headers = {{"Referer", std::string(20000, 'r')}};
  httplib::Result result = client.Get("//xiazai/", headers);
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
}

TEST_F(SiteServerTest, BadRequestLineGetsStyledErrorAndOneLogLine) {
  httplib::Client client = RawClient();
  httplib::Result result = client.Get("/a\x01z");
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 400);
  EXPECT_NE(result->body.find("<h1>400 请求无效</h1>"), std::string::npos);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"GET /a%01z 400"});
}

// The status of each response in `answer`, in order.
std::vector<int> Statuses(const std::string& answer) {
  std::vector<int> statuses;
  for (std::size_t at = answer.find("HTTP/1.1 "); at != std::string::npos;
       at = answer.find("HTTP/1.1 ", at + 1)) {
    statuses.push_back(std::atoi(answer.c_str() + at + 9));
  }
  return statuses;
}

TEST_F(SiteServerTest, HostileHeadsGetOneClearAnswerAndAClose) {
  std::string manyHeaders = "GET /tv/ HTTP/1.1\r\nHost: a\r\n";
  for (int i = 0; i < 10000; ++i) manyHeaders += "X-H" + std::to_string(i) + ": v\r\n";
  struct Case {
    std::string name;
    std::string request;
    int status;
  };
  const Case kCases[] = {
      {"2 MB request line", "GET /" + std::string(2 << 20, 'a') + " HTTP/1.1\r\n\r\n", 414},
      {"10,000 header lines", manyHeaders + "\r\n", 431},
      {"HTTP/0.9", "GET /\r\n", 400},
      {"HTTP/2 preface", std::string("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"), 400},
      {"NUL in path", std::string("GET /tv/\0x HTTP/1.1\r\nHost: a\r\n\r\n", 33), 400},
      // RFC 9112 section 6.1: the body after such a head must never be read
      // as a request of its own.
      {"length and chunked",
       "POST /tv/ HTTP/1.1\r\nHost: a\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n"
       "0\r\n\r\nGET /xiazai/ HTTP/1.1\r\nHost: a\r\n\r\n",
       400},
      {"differing lengths",
       "POST /tv/ HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\nContent-Length: 38\r\n\r\n"
       "GET /xiazai/ HTTP/1.1\r\nHost: a\r\n\r\n",
       400},
      {"a coding before chunked",
       "POST /tv/ HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n", 400},
      {"chunked in HTTP/1.0",
       "POST /tv/ HTTP/1.0\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
      {"folded header",
       "GET /tv/ HTTP/1.1\r\nHost: a\r\nX-A: b\r\n Transfer-Encoding: chunked\r\n\r\n", 400},
      {"space before colon", "POST /tv/ HTTP/1.1\r\nHost: a\r\nContent-Length : 5\r\n\r\nhello",
       400},
      {"bare CR in a value", "GET /tv/ HTTP/1.1\r\nHost: a\rX: b\r\n\r\n", 400},
      {"line without colon", "GET /tv/ HTTP/1.1\r\nHost a\r\n\r\n", 400},
      // Answered without waiting for a body the site would never use: one
      // trickled in must not hold a worker.
      {"body still to come", "POST /tv/ HTTP/1.1\r\nHost: a\r\nContent-Length: 100000\r\n\r\nx",
       405},
  };
  for (const Case& test : kCases) {
    bool closed = false;
    std::string answer = Exchange(test.request, &closed);
    EXPECT_EQ(Statuses(answer), std::vector<int>{test.status}) << test.name << ":\n" << answer;
    EXPECT_NE(answer.find("<h1>" + std::to_string(test.status)), std::string::npos) << test.name;
    EXPECT_TRUE(DeclaresEdge(answer)) << test.name;
    EXPECT_TRUE(closed) << test.name;
    ExpectStillServing();
  }
  // Each refused head is one log line; nothing smuggled behind one is.
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2 * std::size(kCases));
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    EXPECT_TRUE(lines[2 * i].ends_with(" " + std::to_string(kCases[i].status))) << lines[2 * i];
    EXPECT_EQ(lines[2 * i + 1], "GET /tv/ 200");
  }
}

TEST_F(SiteServerTest, FramingBrowsersSendIsAnswered) {
  // Bare LF endings and a stray CRLF between requests, pipelined on one
  // connection, stay in step.
  bool closed = false;
  std::string answer = Exchange(
      "GET /tv/ HTTP/1.1\nHost: a\n\n\r\n"
      "GET /xiazai/ HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n",
      &closed);
  EXPECT_EQ(Statuses(answer), (std::vector<int>{200, 200})) << answer;
  EXPECT_TRUE(closed);
  // A repeated identical length and a chunked body are understood, answered
  // (405: the site takes no bodies) and the connection closed: what follows
  // the body is never taken for a request.
  const std::string kWithBodies[] = {
      "POST /e/ HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\nContent-Length: 3, 003\r\n\r\nabc",
      "PUT /e/ HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nGET\r\n0\r\n\r\n",
  };
  for (const std::string& request : kWithBodies) {
    answer = Exchange(request + "GET /xiazai/ HTTP/1.1\r\nHost: a\r\n\r\n", &closed);
    EXPECT_EQ(Statuses(answer), std::vector<int>{405}) << answer;
    EXPECT_NE(answer.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(closed);
  }
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"GET /tv/ 200", "GET /xiazai/ 200",
                                                  "POST /e/ 405", "PUT /e/ 405"}));
}

TEST_F(SiteServerTest, PathsNeverLeaveTheSite) {
  struct Case {
    std::string target;
    int status;
  };
  // Climbing above the root stays at the root, so these land on site pages
  // or the site's 404, never on anything beside it.
  const Case kCases[] = {
      {"/../../../tv/", 200},
      {"/%2e%2e/%2E%2E/tv/", 200},
      {"/xiazai/..%2f..%2f..%2ftv/", 200},
      {"/../../etc/passwd", 404},
      {"/....//....//etc/passwd", 404},
      {"/..\\..\\etc\\passwd", 404},
      {"/%2e%2e%5c%2e%2e%5cetc%5cpasswd", 404},
      {"/%252e%252e/etc/passwd", 404},
      {"/tv/%00/../", 200},
      {"/tv/%00", 404},
      {"/\xff\xfe/%C0%AE%C0%AE/", 404},
  };
  for (const Case& test : kCases) {
    bool closed = false;
    std::string answer = Exchange(
        "GET " + test.target + " HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n", &closed);
    EXPECT_EQ(Statuses(answer), std::vector<int>{test.status}) << test.target;
    EXPECT_EQ(answer.find("root:"), std::string::npos) << test.target;
  }
  ExpectStillServing();
}

TEST_F(SiteServerTest, ThousandPipelinedRequestsAnsweredInOrder) {
  std::string requests;
  std::vector<int> expected;
  std::vector<std::string> expectedLog;
  for (int i = 0; i < 1000; ++i) {
    std::string target = i % 3 == 0   ? "/tv/"
                         : i % 3 == 1 ? "/nope" + std::to_string(i)
                                      : "/xiazai/";
    bool last = i == 999;
    requests += "GET " + target + " HTTP/1.1\r\nHost: a\r\n" +
                (last ? "Connection: close\r\n" : "") + "\r\n";
    expected.push_back(i % 3 == 1 ? 404 : 200);
    expectedLog.push_back("GET " + target + (i % 3 == 1 ? " 404" : " 200"));
  }
  socket_t sock = Connect();
  // The client writes while the server answers, as a real pipeliner would.
  std::thread writer([&] { SendAll(sock, requests); });
  bool closed = false;
  std::string answer = ReadAll(sock, 20000, &closed);
  writer.join();
  CloseSocket(sock);
  EXPECT_TRUE(closed);
  EXPECT_EQ(Statuses(answer), expected);
  EXPECT_EQ(LogLines(), expectedLog);
}

TEST_F(SiteServerTest, LogLinesAreNeverForged) {
  const std::string kTargets[] = {"/a\rGET /forged 200", "/a\x1b[2Kforged", std::string("/a\0b", 4),
                                  "/a\x7f\x85"};
  for (const std::string& target : kTargets) {
    bool closed = false;
    Exchange("GET " + target + " HTTP/1.1\r\nHost: a\r\n\r\n", &closed);
    EXPECT_TRUE(closed) << target;
  }
  // A LF ends the request line early: the rest is a header that is not
  // one, never a line of its own.
  bool closed = false;
  Exchange("GET /b\nGET /forged 200 HTTP/1.1\r\nHost: a\r\n\r\n", &closed);
  ExpectStillServing();

  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), std::size(kTargets) + 2);
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::ranges::all_of(line, [](char c) {
      return (c > 0x20 && c < 0x7F) || c == ' ';
    })) << line;
    EXPECT_EQ(std::ranges::count(line, ' '), 2) << line;
    EXPECT_FALSE(line.starts_with("GET /forged")) << line;
  }
  EXPECT_EQ(lines[0], "GET /a%0DGET%20/forged%20200 400");
  EXPECT_EQ(lines[4], "GET /b 400");
}

TEST(HeadScannerTest, ReadyExactlyWhenTheHeadIsComplete) {
  const std::string kHeads[] = {
      "GET / HTTP/1.1\r\nHost: a\r\n\r\n",
      "GET / HTTP/1.0\nHost: a\n\n",
      "\r\n\n\r\nGET / HTTP/1.1\r\n\r\n",  // blank lines before the request
      "\r\n\r\n\r\n\r\n",                  // four blank lines: an empty request line
      "GET /\r\n",                         // HTTP/0.9: no headers will follow
      "PRI * HTTP/2.0\r\n",                // nor after an HTTP/2 preface
      "GET / HTTP/1.1x\r\n",               // nor after a version that isn't one
      "GET / HTTP/1.1\r\r\n",              // the CR belongs to the line: refused
      "GET /" + std::string(kMaxRequestLine - 5, 'a') + "b",  // one byte too long
      "GET / HTTP/1.1\r\nX: " + std::string(kMaxHeaderBytes - 3, 'v') + "w",
      "GET / HTTP/1.1\r\nA: 1\r\nB: " + std::string(kMaxHeaderBytes - 12, 'v') + "\r\n\r\n",
  };
  for (const std::string& head : kHeads) {
    HeadScanner whole;
    EXPECT_TRUE(whole.Feed(head + "GET / HTTP/1.1\r\n")) << head.substr(0, 40);
    HeadScanner bytewise;
    std::size_t readyAt = 0;
    for (std::size_t i = 0; i < head.size() && !bytewise.Ready(); ++i) {
      if (bytewise.Feed(head.substr(i, 1))) readyAt = i + 1;
    }
    EXPECT_EQ(readyAt, head.size()) << head.substr(0, 40);
    EXPECT_TRUE(bytewise.Started());
  }
  HeadScanner fresh;
  EXPECT_FALSE(fresh.Feed("GET / HTTP/1.1\r\nHost: a\r\n"));
  EXPECT_FALSE(fresh.Feed(std::string(4, '\r')));
  fresh.Reset();
  EXPECT_FALSE(fresh.Started());
}

// Deadlines short enough for a test.
class SiteServerDeadlineTest : public SiteServerTest {
 protected:
  static constexpr std::chrono::milliseconds kHead{1500};

  void SetUp() override {
    SchedulerLimits limits;
    limits.head = kHead;
    limits.maxWaiting = 64;
    Start(limits);
  }
};

TEST_F(SiteServerDeadlineTest, SlowClientsCostNoWorkerAndMissTheirDeadline) {
  // Many more slow heads than there are workers, and more than may wait,
  // each holding a started head.
  std::vector<socket_t> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(Connect());
    SendAll(slow.back(), "GET /tv/ HTTP/1.1\r\nHo");
  }
  auto start = Clock::now();
  ExpectStillServing();
  // Within the deadline, a head that comes a byte at a time is answered.
  socket_t dribbler = Connect();
  std::string head = "GET /xiazai/ HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n";
  for (char c : head) {
    SendAll(dribbler, std::string(1, c));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  bool closed = false;
  EXPECT_EQ(Statuses(ReadAll(dribbler, 5000, &closed)), std::vector<int>{200});
  CloseSocket(dribbler);
  EXPECT_LT(Clock::now() - start, kHead) << "too slow to test the deadline";

  // The oldest beyond the waiting limit were dropped unanswered (unless a
  // loaded machine let their deadline pass first), the rest get 408 once
  // their deadline passes, and every one is closed.
  int dropped = 0;
  int timedOut = 0;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  for (socket_t sock : slow) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    std::string answer =
        ReadAll(sock, static_cast<int>(std::max<long long>(left.count(), 1)), &closed);
    EXPECT_TRUE(closed);
    if (answer.empty()) ++dropped;
    if (Statuses(answer) == std::vector<int>{408}) {
      ++timedOut;
      EXPECT_TRUE(DeclaresEdge(answer));
    }
    CloseSocket(sock);
  }
  EXPECT_EQ(dropped + timedOut, 200);
  EXPECT_GE(dropped, 100);
  EXPECT_GE(timedOut, 64 - 2);
  std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::ranges::count(lines, "GET /tv/ 408"), timedOut);
  ExpectStillServing();
}

}  // namespace
}  // namespace site
