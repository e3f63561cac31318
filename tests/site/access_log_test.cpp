#include "site/access_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/site/raw_socket.h"

namespace site {
namespace {

using namespace std::string_literals;

TEST(EscapeForLogTest, EscapesControlsSpaceAndNonAsciiOnly) {
  const std::pair<std::string, std::string> kCases[] = {
      {"//xiazai/", "//xiazai/"},
      {"/e/search/?searchget=1&keyboard=a%26b%20%231&show=title",
       "/e/search/?searchget=1&keyboard=a%26b%20%231&show=title"},
      {"/a b", "/a%20b"},
      {"/\r\n", "/%0D%0A"},
      {"/\x01\x1F\x7F", "/%01%1F%7F"},
      {"/x\0y"s, "/x%00y"},
      {"/影", "/%E5%BD%B1"},
      {"/\xFF\x80", "/%FF%80"},
      {"/%E5", "/%E5"},  // an escape already in the target stays as sent
      {"!\"#$&'()*+,:;<=>?@[\\]^_`{|}~", "!\"#$&'()*+,:;<=>?@[\\]^_`{|}~"},
  };
  for (const auto& [raw, logged] : kCases) {
    EXPECT_EQ(EscapeForLog(raw), logged) << testing::PrintToString(raw);
  }
}

TEST(FormatLogLineTest, ThreeFieldsOnOneLine) {
  struct LineCase {
    std::string method;
    std::string target;
    int status;
    std::string expected;
  };
  const LineCase kCases[] = {
      {"GET", "//xiazai/", 200, "GET //xiazai/ 200"},
      {"HEAD", "/tv/", 200, "HEAD /tv/ 200"},
      {"POST", "/x y", 405, "POST /x%20y 405"},
      {"GARBAGE", "", 400, "GARBAGE - 400"},
      {"", "", 400, "- - 400"},
      {"GET", "/x", 0, "GET /x -"},
      {"G\nT", "/\n", 400, "G%0AT /%0A 400"},
  };
  for (const LineCase& c : kCases) {
    EXPECT_EQ(FormatLogLine(c.method, c.target, c.status), c.expected);
  }

  // Whatever bytes arrive, the line keeps exactly two separating spaces.
  std::string everyByte;
  for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
  std::string line = FormatLogLine(everyByte, everyByte, 400);
  EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 2);
  EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) {
    auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b >= 0x7F;
  }));
}

TEST(SplitRequestLineTest, TargetIsEverythingBetweenFirstAndLastSpace) {
  struct SplitCase {
    std::string line;
    std::string method, target, version;
  };
  const SplitCase kCases[] = {
      {"GET //xiazai/ HTTP/1.1", "GET", "//xiazai/", "HTTP/1.1"},
      {"GET /a b HTTP/1.1", "GET", "/a b", "HTTP/1.1"},
      {"GET /x", "GET", "/x", ""},
      {"GARBAGE", "GARBAGE", "", ""},
      {"", "", "", ""},
      {"GET  HTTP/1.1", "GET", "", "HTTP/1.1"},
  };
  for (const SplitCase& c : kCases) {
    RequestLineParts parts = SplitRequestLine(c.line);
    EXPECT_EQ(parts.method, c.method) << c.line;
    EXPECT_EQ(parts.target, c.target) << c.line;
    EXPECT_EQ(parts.version, c.version) << c.line;
  }
}

class AccessLogTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::path(testing::TempDir()) /
            ("kivo_site_log_" + std::to_string(testing_sockets::ProcessId()) + ".log");
    std::filesystem::remove(path_);
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::string Contents() const {
    std::ifstream in(path_);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
  }

  std::filesystem::path path_;
};

TEST_F(AccessLogTest, AppendsWholeLinesVisibleAtOnce) {
  std::string error;
  {
    AccessLog first;
    ASSERT_TRUE(first.Open(path_.string(), &error)) << error;
    first.Write("GET / 200");
    // Visible before the log is closed: the tests of the desktop program
    // read it while the site runs.
    EXPECT_EQ(Contents(), "GET / 200\n");
  }
  AccessLog second;
  ASSERT_TRUE(second.Open(path_.string(), &error)) << error;
  second.Write("GET //xiazai/ 200");
  EXPECT_EQ(Contents(), "GET / 200\nGET //xiazai/ 200\n");
}

TEST_F(AccessLogTest, ReportsAFileThatCannotBeOpened) {
  AccessLog log;
  std::string error;
  EXPECT_FALSE(log.Open((path_ / "no" / "such.log").string(), &error));
  EXPECT_FALSE(error.empty());
  log.Write("GET / 200");  // harmless without a file
}

}  // namespace
}  // namespace site
