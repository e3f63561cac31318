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
    std::uint64_t rate = 0;
    int idleExit = 0;
  };
  const OkCase kCases[] = {
      {{}, "127.0.0.1", 8080, ""},
      {{"--port", "18080"}, "127.0.0.1", 18080, ""},
      {{"--port=0"}, "127.0.0.1", 0, ""},
      {{"--port", "65535"}, "127.0.0.1", 65535, ""},
      {{"--host", "0.0.0.0", "--log", "/tmp/a.log"}, "0.0.0.0", 8080, "/tmp/a.log"},
      {{"--log=x.log", "--host=::1", "--port=1"}, "::1", 1, "x.log"},
      {{"--port", "1", "--port", "2"}, "127.0.0.1", 2, ""},  // last wins
      {{"--slow"}, "127.0.0.1", 8080, "", kDefaultSlowRate},
      {{"--slow=1000"}, "127.0.0.1", 8080, "", 1000},
      {{"--slow=1", "--port=9"}, "127.0.0.1", 9, "", 1},
      {{"--slow", "--port", "9"}, "127.0.0.1", 9, "", kDefaultSlowRate},  // takes no next arg
      {{"--slow=1073741824"}, "127.0.0.1", 8080, "", kMaxSlowRate},
      {{"--idle-exit", "300"}, "127.0.0.1", 8080, "", 0, 300},
      {{"--idle-exit=86400"}, "127.0.0.1", 8080, "", 0, kMaxIdleExitSeconds},
  };
  for (const OkCase& c : kCases) {
    auto result = ParseCommandLine(c.args);
    const Options* options = std::get_if<Options>(&result);
    ASSERT_NE(options, nullptr) << testing::PrintToString(c.args);
    EXPECT_EQ(options->host, c.host);
    EXPECT_EQ(options->port, c.port);
    EXPECT_EQ(options->logPath, c.logPath);
    EXPECT_EQ(options->downloadBytesPerSecond, c.rate);
    EXPECT_EQ(options->idleExitSeconds, c.idleExit);
  }
}

TEST(CommandLineTest, RejectsBadArgumentsWithAReason) {
  const std::vector<std::string> kCases[] = {
      {"--port"},
      {"--port", "65536"},
      {"--port", "-1"},
      {"--port", "80x"},
      {"--port", ""},
      {"--port="},
      {"--host"},
      {"--host", ""},
      {"--log"},
      {"--log="},
      {"--verbose"},
      {"8080"},
      {"-p", "8080"},
      {"--slow="},
      {"--slow=0"},
      {"--slow=-5"},
      {"--slow=abc"},
      {"--slow=10k"},
      {"--slow=1073741825"},
      {"--slow=99999999999999999999999"},
      {"--slow", "1000"},  // the rate only ever follows '='
      {"--idle-exit"},
      {"--idle-exit", "0"},
      {"--idle-exit", "86401"},
      {"--idle-exit=5s"},
  };
  for (const auto& args : kCases) {
    auto result = ParseCommandLine(args);
    const UsageError* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr) << testing::PrintToString(args);
    EXPECT_FALSE(error->message.empty());
    if (args.front().starts_with("--slow=")) {
      EXPECT_NE(error->message.find("--slow"), std::string::npos) << error->message;
      EXPECT_NE(error->message.find("bytes per second"), std::string::npos) << error->message;
    }
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
