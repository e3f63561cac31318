// Our page for a failed navigation, built around an address the page or
// the user supplied: the address may add no markup. Whatever it holds, the
// page has exactly the tags, quotes and control bytes of the same page for
// a plain address, and the retry link only ever points at a web address.
#include "browse/error_page.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace {

struct Markup {
  std::size_t lt, gt, quote, apostrophe, controls;
  bool operator==(const Markup&) const = default;
};

Markup Count(std::string_view html) {
  Markup m{};
  for (const char c : html) {
    m.lt += c == '<';
    m.gt += c == '>';
    m.quote += c == '"';
    m.apostrophe += c == '\'';
    m.controls += static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  }
  return m;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
           return p == (t >= 'A' && t <= 'Z' ? static_cast<char>(t - 'A' + 'a') : t);
         });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const auto failure = static_cast<forms::NavigateFailure>(
      input.Byte() % (static_cast<int>(forms::NavigateFailure::kOther) + 1));
  const int status = static_cast<int>(input.Number(2)) - 1000;
  const std::string_view address = input.Rest();

  const std::string shown = browse::HtmlEscape(address);
  FUZZ_CHECK((Count(shown) == Markup{}));

  const std::string html = browse::ErrorPageHtml(address, failure, status);
  const Markup plain = Count(browse::ErrorPageHtml("about:blank", failure, status));
  const Markup web = Count(browse::ErrorPageHtml("http://x/", failure, status));
  const Markup got = Count(html);
  FUZZ_CHECK(got == plain || got == web);
  FUZZ_CHECK(html.find(shown) != std::string::npos);

  constexpr std::string_view kRetry = "<a id=\"retry\" href=\"";
  const std::size_t retry = html.find(kRetry);
  if (retry != std::string::npos) {
    const std::string_view target = std::string_view(html).substr(retry + kRetry.size());
    FUZZ_CHECK(StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://"));
    FUZZ_CHECK(StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://"));
  }

  const browse::FailureText text = browse::DescribeFailure(failure, status);
  FUZZ_CHECK(text.headline.empty() == (failure == forms::NavigateFailure::kCancelled));
  return 0;
}
