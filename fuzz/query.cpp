// What the site decodes out of a query before it shows it: form fields, the
// percent-decoding under them, and the UTF-8 repair and control-byte
// filter every shown text goes through. Decoding undoes encoding exactly,
// repaired text is valid UTF-8 and leaves valid text alone, and shown text
// has no control byte but tab and line ends.
#include <algorithm>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "site/router.h"
#include "site/text.h"

namespace {

std::string EncodeAll(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  FUZZ_CHECK(site::PercentDecode(EncodeAll(text), true) == text);
  const std::string decoded = site::PercentDecode(text, false);
  FUZZ_CHECK(decoded.size() <= text.size());
  if (text.find('%') == std::string_view::npos) FUZZ_CHECK(decoded == text);

  const std::string valid = site::SanitizeUtf8(text);
  FUZZ_CHECK(fuzz::IsValidUtf8(valid));
  FUZZ_CHECK(site::SanitizeUtf8(valid) == valid);
  if (fuzz::IsValidUtf8(text)) FUZZ_CHECK(valid == text);

  const std::string shown = site::DisplayText(decoded);
  FUZZ_CHECK(fuzz::IsValidUtf8(shown));
  for (const char c : shown) {
    const auto b = static_cast<unsigned char>(c);
    FUZZ_CHECK((b >= 0x20 && b != 0x7F) || c == '\t' || c == '\n' || c == '\r');
  }

  const site::QueryParams params = site::ParseQuery(text);
  FUZZ_CHECK(params.size() <=
             static_cast<std::size_t>(std::count(text.begin(), text.end(), '&')) + 1);
  for (const auto& [name, value] : params) FUZZ_CHECK(name.size() + value.size() <= text.size());
  // A field sent encoded is found again under its decoded name.
  const std::string field = "keyboard=" + EncodeAll(text);
  const auto found = site::FindParam(site::ParseQuery(field), "keyboard");
  FUZZ_CHECK(found && *found == text);
  return 0;
}
