#include "site/text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace site {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (keep(b)) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text, bool plusAsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      int high = HexValue(text[i + 1]);
      int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += (plusAsSpace && c == '+') ? ' ' : c;
  }
  return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      out += bytes[i++];
      continue;
    }
    // The allowed range of the first continuation byte depends on the lead:
    // that is what rules out overlong forms, surrogates and values past
    // U+10FFFF without decoding the code point.
    int needed = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
    } else if (lead == 0xE0) {
      needed = 2;
      low = 0xA0;
    } else if (lead == 0xED) {
      needed = 2;
      high = 0x9F;
    } else if (lead >= 0xE1 && lead <= 0xEF) {
      needed = 2;
    } else if (lead == 0xF0) {
      needed = 3;
      low = 0x90;
    } else if (lead == 0xF4) {
      needed = 3;
      high = 0x8F;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
      needed = 3;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    int seen = 0;
    while (seen < needed && end < bytes.size()) {
      auto next = static_cast<std::uint8_t>(bytes[end]);
      if (next < low || next > high) break;
      low = 0x80;
      high = 0xBF;
      ++end;
      ++seen;
    }
    if (seen == needed) {
      out.append(bytes.substr(i, end - i));
    } else {
      out += kReplacement;
    }
    i = end;
  }
  return out;
}

std::string DisplayText(std::string_view bytes) {
  std::string valid = SanitizeUtf8(bytes);
  std::string out;
  out.reserve(valid.size());
  for (char c : valid) {
    auto b = static_cast<std::uint8_t>(c);
    bool control = (b < 0x20 && c != '\t' && c != '\n' && c != '\r') || b == 0x7F;
    if (control) {
      out += kReplacement;
    } else {
      out += c;
    }
  }
  return out;
}

bool ContainsIgnoringAsciiCase(std::string_view haystack, std::string_view needle) {
  auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                        [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
  return it != haystack.end() || needle.empty();
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

std::optional<int> IdBetween(std::string_view path, std::string_view prefix,
                             std::string_view suffix) {
  if (path.size() < prefix.size() + suffix.size()) return {};
  if (!path.starts_with(prefix) || !path.ends_with(suffix)) return {};
  std::string_view digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
  if (digits.empty() || digits.size() > 9 || digits.front() == '0') return {};
  int id = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (error != std::errc() || end != digits.data() + digits.size()) return {};
  return id;
}

}  // namespace site
