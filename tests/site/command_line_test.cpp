#include "site/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace site {
namespace {

TEST(CommandLineTest, AcceptsOptionsInBothSpellings) {
  struct OkCase {
    std::vector<std::string> args;
    std::string host;
    int port;
    std::string logPath;
  };
  const OkCase kCases[] = {
      {{}, "127.0.0.1", 8080, ""},
      {{"--port", "18080"}, "127.0.0.1", 18080, ""},
      {{"--port=0"}, "127.0.0.1", 0, ""},
      {{"--port", "65535"}, "127.0.0.1", 65535, ""},
      {{"--host", "0.0.0.0", "--log", "/tmp/a.log"}, "0.0.0.0", 8080, "/tmp/a.log"},
      {{"--log=x.log", "--host=::1", "--port=1"}, "::1", 1, "x.log"},
      {{"--port", "1", "--port", "2"}, "127.0.0.1", 2, ""},  // last wins
  };
  for (const OkCase& c : kCases) {
    auto result = ParseCommandLine(c.args);
    const Options* options = std::get_if<Options>(&result);
    ASSERT_NE(options, nullptr) << testing::PrintToString(c.args);
    EXPECT_EQ(options->host, c.host);
    EXPECT_EQ(options->port, c.port);
    EXPECT_EQ(options->logPath, c.logPath);
  }
}

TEST(CommandLineTest, RejectsBadArgumentsWithAReason) {
  const std::vector<std::string> kCases[] = {
      {"--port"},     {"--port", "65536"}, {"--port", "-1"}, {"--port", "80x"},
      {"--port", ""}, {"--port="},         {"--host"},       {"--host", ""},
      {"--log"},      {"--log="},          {"--verbose"},    {"8080"},
      {"-p", "8080"},
  };
  for (const auto& args : kCases) {
    auto result = ParseCommandLine(args);
    const UsageError* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr) << testing::PrintToString(args);
    EXPECT_FALSE(error->message.empty());
  }
}

TEST(CommandLineTest, HelpWinsWhereverItStands) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"--port", "1", "--help"}}) {
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(ParseCommandLine(args)));
  }
}

}  // namespace
}  // namespace site
