#include "site/command_line.h"

#include <charconv>
#include <optional>

namespace site {
namespace {

std::optional<int> ParseWhole(std::string_view text, int lowest, int highest) {
  int number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      number < lowest || number > highest) {
    return {};
  }
  return number;
}

// A whole number of bytes per second, 1 to kMaxSlowRate.
std::optional<std::uint64_t> ParseRate(std::string_view text) {
  std::uint64_t rate = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || rate == 0 ||
      rate > kMaxSlowRate) {
    return {};
  }
  return rate;
}

}  // namespace

std::variant<Options, HelpRequested, UsageError> ParseCommandLine(
    const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") return HelpRequested{};

    std::string_view name = arg;
    std::optional<std::string> value;
    if (std::size_t equals = arg.find('=');
        arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = std::string(arg.substr(equals + 1));
    }
    if (name == "--slow") {
      std::optional<std::uint64_t> rate = value ? ParseRate(*value) : kDefaultSlowRate;
      if (!rate) {
        return UsageError{"invalid rate '" + *value +
                          "' for --slow (expected bytes per second, a whole number from 1 to " +
                          std::to_string(kMaxSlowRate) + ")"};
      }
      options.downloadBytesPerSecond = *rate;
      continue;
    }
    if (name != "--host" && name != "--port" && name != "--log" && name != "--idle-exit") {
      return UsageError{"unknown argument '" + std::string(arg) + "'"};
    }
    if (!value) {
      if (i + 1 == args.size()) {
        return UsageError{"missing value for " + std::string(name)};
      }
      value = args[++i];
    }

    if (name == "--host") {
      if (value->empty()) return UsageError{"--host needs an address"};
      options.host = *value;
    } else if (name == "--port") {
      std::optional<int> port = ParseWhole(*value, 0, 65535);
      if (!port) {
        return UsageError{"invalid port '" + *value + "' (expected a number from 0 to 65535)"};
      }
      options.port = *port;
    } else if (name == "--idle-exit") {
      std::optional<int> seconds = ParseWhole(*value, 1, kMaxIdleExitSeconds);
      if (!seconds) {
        return UsageError{"invalid time '" + *value + "' for --idle-exit (expected seconds, 1 to " +
                          std::to_string(kMaxIdleExitSeconds) + ")"};
      }
      options.idleExitSeconds = *seconds;
    } else {
      if (value->empty()) return UsageError{"--log needs a file name"};
      options.logPath = *value;
    }
  }
  return options;
}

}  // namespace site
