// kivo-site [--host H] [--port P] [--log FILE]
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace site {

inline constexpr std::string_view kUsage =
    "usage: kivo-site [--host H] [--port P] [--log FILE]\n"
    "  --host H    address to listen on (default 127.0.0.1)\n"
    "  --port P    TCP port, 0-65535; 0 picks a free one (default 8080)\n"
    "  --log FILE  append one line per request: METHOD TARGET STATUS\n"
    "  --help      show this text\n";

struct Options {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string logPath;  // empty: no request log
};

struct HelpRequested {};

struct UsageError {
  std::string message;
};

// `args` excludes the program name. Options take their value either as the
// next argument or after '=' ("--port=8080").
std::variant<Options, HelpRequested, UsageError> ParseCommandLine(
    const std::vector<std::string>& args);

}  // namespace site
