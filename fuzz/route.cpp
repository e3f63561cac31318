// The whole site behind the HTTP layer: any method, target and Range header
// a client sends gets one of the site's answers. Pages are valid UTF-8 with
// a type, the film file's slice lies inside the file, and a 206 says which
// bytes it carries.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "site/router.h"

namespace {

constexpr std::string_view kMethods[] = {"GET", "HEAD", "POST", "get", "", "OPTIONS"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t shape = input.Byte();
  const std::string_view method = kMethods[shape % std::size(kMethods)];
  site::RequestHeaders headers;
  headers.hasIfRange = (shape & 0x80) != 0;
  // "target\nrange", the range header only when there is a line for it.
  const std::string_view target = input.Until('\n');
  if (input.Rest().data() != target.data() + target.size()) headers.range = input.Rest();

  const site::SiteResponse response = site::Route(method, target, headers);
  constexpr int kStatuses[] = {200, 206, 404, 405, 416};
  FUZZ_CHECK(std::ranges::find(kStatuses, response.status) != std::end(kStatuses));
  FUZZ_CHECK(!response.Header("Content-Type").empty());
  FUZZ_CHECK(response.Header("Content-Length").empty());
  if (response.status == 405) FUZZ_CHECK(!response.Header("Allow").empty());
  if (response.file) {
    const site::FileSlice& slice = *response.file;
    FUZZ_CHECK(slice.offset <= slice.file.Size());
    FUZZ_CHECK(slice.length <= slice.file.Size() - slice.offset);
    FUZZ_CHECK((response.status == 206) == !response.Header("Content-Range").empty());
    FUZZ_CHECK(response.status != 206 || slice.length > 0);
    if (response.status == 200) FUZZ_CHECK(slice.length == slice.file.Size());
  } else {
    FUZZ_CHECK(response.Header("Content-Type").starts_with("text/html"));
    FUZZ_CHECK(fuzz::IsValidUtf8(response.body));
  }
  return 0;
}
