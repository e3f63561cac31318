// The search field's text on its way to an address: the keyword encoder and
// the search address around it. Whatever is typed, the keyword part holds
// only unreserved bytes and %XX escapes, decodes back to the text exactly,
// and the address is refused exactly when the encoding outgrows
// kMaxEncodedKeyword.
#include <string>
#include <string_view>

#include "browse/addresses.h"
#include "browse/search_rules.h"
#include "fuzz_support.h"

namespace {

bool Unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Checks the shape as it decodes, so a stray '%' or a byte that should have
// been escaped is caught where it stands.
std::string StrictDecode(std::string_view encoded) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      FUZZ_CHECK(Unreserved(encoded[i]));
      out += encoded[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < encoded.size());
    const int high = fuzz::HexDigit(encoded[i + 1]);
    const int low = fuzz::HexDigit(encoded[i + 2]);
    FUZZ_CHECK(high >= 0 && low >= 0);
    const char c = static_cast<char>(high * 16 + low);
    // Never an escape where the byte itself would do.
    FUZZ_CHECK(!Unreserved(c));
    out += c;
    i += 2;
  }
  return out;
}

void CheckSearch(std::string_view keyword, std::size_t encodedSize) {
  const auto address = browse::SearchAddress(keyword);
  FUZZ_CHECK(address.has_value() == (encodedSize <= browse::kMaxEncodedKeyword));
  if (!address) return;
  const std::string prefix = browse::AddressOf(browse::Destination::kSearch);
  FUZZ_CHECK(address->starts_with(prefix));
  FUZZ_CHECK(address->ends_with(browse::kSearchSuffix));
  FUZZ_CHECK(address->size() == prefix.size() + encodedSize + browse::kSearchSuffix.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string encoded = browse::PercentEncode(text);
  FUZZ_CHECK(StrictDecode(encoded) == text);
  CheckSearch(text, encoded.size());

  // The search button's gate: blank is spaces only, whatever else it holds.
  FUZZ_CHECK(browse::IsBlank(text) == (text.find_first_not_of(' ') == std::string_view::npos));
  FUZZ_CHECK(!browse::IsPrompt(text) || text.size() >= browse::kPromptMarker.size());

  return 0;
}
