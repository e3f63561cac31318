#include "browse/addresses.h"

namespace browse {

std::string AddressOf(Destination destination) {
  for (const auto& entry : kAddresses) {
    if (entry.destination == destination) {
      std::string address(SiteBaseUrl);
      address += entry.path;
      return address;
    }
  }
  return std::string(SiteBaseUrl);
}

std::optional<Destination> CategoryDestination(int index) {
  if (index < kFirstCategory || index > kLastCategory) return std::nullopt;
  return static_cast<Destination>(static_cast<int>(Destination::kCategory2) + index - kFirstCategory);
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      out += ch;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::optional<std::string> SearchAddress(std::string_view keyword) {
  std::string encoded = PercentEncode(keyword);
  if (encoded.size() > kMaxEncodedKeyword) return std::nullopt;
  std::string address = AddressOf(Destination::kSearch);
  address += encoded;
  address += kSearchSuffix;
  return address;
}

}  // namespace browse
