// The site's watch over arriving request heads. However the bytes are cut
// into reads, the head is decided at the same byte; it is decided only at
// the end of a line (no input here is long enough to reach a limit); and it
// is decided exactly where a plain reading of the head rules says: blank
// lines before the request line are skipped up to four, a request line that
// isn't HTTP/1.x ends the head at once, otherwise the first blank header
// line does.
#include <cstddef>
#include <optional>
#include <string_view>

#include "fuzz_support.h"
#include "site/head_scanner.h"

namespace {

// The offset just past the byte at which the head is decided, if it is.
std::optional<std::size_t> Expected(std::string_view bytes) {
  bool inHeaders = false;
  int blanksBefore = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) return std::nullopt;
    std::string_view line = bytes.substr(start, lf - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    start = lf + 1;
    if (inHeaders) {
      if (line.empty()) return start;
    } else if (!line.empty() || ++blanksBefore == 4) {
      if (!site::HasHttp1Version(line)) return start;
      inHeaders = true;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::size_t chunk = 1 + input.Byte() % 16;
  const std::string_view bytes = input.Rest();
  if (bytes.size() >= 4096) return 0;  // the limits are the unit tests' business

  // Byte by byte: where the head is decided.
  site::HeadScanner single;
  std::optional<std::size_t> decided;
  for (std::size_t i = 0; i < bytes.size() && !decided; ++i) {
    if (single.Feed(bytes.substr(i, 1))) decided = i + 1;
  }
  FUZZ_CHECK(decided == Expected(bytes));
  if (decided) FUZZ_CHECK(bytes[*decided - 1] == '\n');
  FUZZ_CHECK(single.Started() == !bytes.empty());

  // In chunks, then all at once: the same answer.
  site::HeadScanner chunked;
  bool ready = false;
  for (std::size_t i = 0; i < bytes.size(); i += chunk) ready = chunked.Feed(bytes.substr(i, chunk));
  FUZZ_CHECK(ready == decided.has_value());
  site::HeadScanner whole;
  FUZZ_CHECK(whole.Feed(bytes) == decided.has_value());

  // A reset scanner starts over as if new.
  whole.Reset();
  FUZZ_CHECK(!whole.Ready() && !whole.Started());
  return 0;
}
