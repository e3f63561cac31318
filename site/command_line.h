// kivo-site [--host H] [--port P] [--log FILE] [--slow[=BYTES_PER_SECOND]]
//           [--idle-exit SECONDS]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace site {

inline constexpr std::string_view kUsage =
    "usage: kivo-site [--host H] [--port P] [--log FILE] [--slow[=RATE]]\n"
    "                 [--idle-exit SECONDS]\n"
    "  --host H       address to listen on (default 127.0.0.1)\n"
    "  --port P       TCP port, 0-65535; 0 picks a free one (default 8080)\n"
    "  --log FILE     append one line per request: METHOD TARGET STATUS\n"
    "  --slow[=RATE]  send film downloads at RATE bytes per second\n"
    "                 (default 262144); pages stay fast\n"
    "  --idle-exit SECONDS\n"
    "                 on a socket handed over by systemd: end once no\n"
    "                 request came for SECONDS and no connection is open\n"
    "  --help         show this text\n";

inline constexpr std::uint64_t kDefaultSlowRate = 256 * 1024;
inline constexpr std::uint64_t kMaxSlowRate = std::uint64_t{1} << 30;
inline constexpr int kMaxIdleExitSeconds = 24 * 60 * 60;

struct Options {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string logPath;                       // empty: no request log
  std::uint64_t downloadBytesPerSecond = 0;  // 0: downloads unthrottled
  int idleExitSeconds = 0;                   // 0: never; only with a handed-over socket
};

struct HelpRequested {};

struct UsageError {
  std::string message;
};

// `args` excludes the program name. Options take their value either as the
// next argument or after '=' ("--port=8080"); --slow's value is optional and
// so only ever follows '='.
std::variant<Options, HelpRequested, UsageError> ParseCommandLine(
    const std::vector<std::string>& args);

}  // namespace site
