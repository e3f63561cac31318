// The site's request line and the access-log line written from it. The
// split loses nothing (method, target and version put back together are
// the line), and the log line is one line of three space-separated fields
// of visible ASCII, each of which reads back to what was sent, so no
// request can forge or split an entry.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "site/access_log.h"

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = line.find(' ', start);
    fields.push_back(line.substr(start, space - start));
    if (space == std::string_view::npos) return fields;
    start = space + 1;
  }
}

std::string Unescape(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size() && fuzz::HexDigit(field[i + 1]) >= 0 &&
        fuzz::HexDigit(field[i + 2]) >= 0) {
      out += static_cast<char>(fuzz::HexDigit(field[i + 1]) * 16 + fuzz::HexDigit(field[i + 2]));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

void CheckField(std::string_view logged, std::string_view raw) {
  if (raw.empty()) {
    FUZZ_CHECK(logged == "-");
    return;
  }
  FUZZ_CHECK(logged == site::EscapeForLog(raw));
  // Only a '%' that was sent makes an escape ambiguous.
  if (raw.find('%') == std::string_view::npos) FUZZ_CHECK(Unescape(logged) == raw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const int status = static_cast<int>(input.Number(2)) - 100;
  const std::string_view line = input.Rest();

  const site::RequestLineParts parts = site::SplitRequestLine(line);
  FUZZ_CHECK(parts.method.find(' ') == std::string_view::npos);
  FUZZ_CHECK(parts.version.find(' ') == std::string_view::npos);
  std::string joined(parts.method);
  if (line.find(' ') != std::string_view::npos) {
    joined += ' ';
    joined += parts.target;
    if (line.find(' ') != line.rfind(' ')) {
      joined += ' ';
      joined += parts.version;
    }
  }
  FUZZ_CHECK(joined == line);

  const std::string logged = site::FormatLogLine(parts.method, parts.target, status);
  for (const char c : logged) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
  const std::vector<std::string_view> fields = Fields(logged);
  FUZZ_CHECK(fields.size() == 3);
  CheckField(fields[0], parts.method);
  CheckField(fields[1], parts.target);
  FUZZ_CHECK(fields[2] == (status > 0 ? std::to_string(status) : "-"));
  return 0;
}
