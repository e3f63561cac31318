// The request target as the site resolves it: whatever the client sends
// (absolute form, escapes, dot segments, NULs), the path starts at the root,
// never climbs above it, has no empty or dot segment, and resolving it again
// changes nothing.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "site/router.h"
#include "site/text.h"

namespace {

void CheckPath(const std::string& path) {
  FUZZ_CHECK(path.starts_with('/'));
  std::size_t start = 1;
  while (start < path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::string_view segment =
        std::string_view(path).substr(start, slash == std::string::npos ? slash : slash - start);
    FUZZ_CHECK(!segment.empty() && segment != "." && segment != "..");
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  FUZZ_CHECK(site::NormalizePath(path) == path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);

  CheckPath(site::NormalizePath(raw));

  const site::Target target = site::ParseTarget(raw);
  CheckPath(target.path);
  // The query stays as sent: what follows the path's '?', short of a fragment.
  FUZZ_CHECK(target.query.find('#') == std::string::npos);
  if (!target.query.empty()) FUZZ_CHECK(raw.find("?" + target.query) != std::string_view::npos);
  // A target without escapes, dots or doubled slashes is its own path.
  if (raw.starts_with('/') && raw.find_first_of("%?#.") == std::string_view::npos &&
      raw.find("//") == std::string_view::npos) {
    FUZZ_CHECK(target.path == raw);
  }
  return 0;
}
