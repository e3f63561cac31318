// The real server on an ephemeral loopback port, driven by httplib's client.
#include "site/server.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "site/access_log.h"

namespace site {
namespace {

class SiteServerTest : public testing::Test {
 protected:
  void SetUp() override {
    logPath_ = std::filesystem::path(testing::TempDir()) /
               ("kivo_site_server_" + std::to_string(::getpid()) + ".log");
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
    std::filesystem::remove(logPath_);
  }

  // Sends targets byte for byte, as a raw client would.
  httplib::Client RawClient() {
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    client.set_read_timeout(5, 0);
    return client;
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
    EXPECT_NE(result->body.find(step.bodyHas), std::string::npos) << step.target;
    if (step.method == "HEAD") {
      EXPECT_TRUE(result->body.empty());
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

}  // namespace
}  // namespace site
