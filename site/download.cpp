// The download route: range choice, file names and the response headers.
#include "site/download.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "site/catalog.h"
#include "site/pages.h"
#include "site/text.h"

namespace site {
namespace {

constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();

bool IsBytesUnit(std::string_view unit) {
  return std::ranges::equal(unit, std::string_view("bytes"), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Digits only, at least one. A number too large for 64 bits is as good as
// infinite here: a first byte past any file, a last byte clamped to its end.
std::optional<std::uint64_t> ParsePosition(std::string_view digits) {
  if (digits.empty()) return {};
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return {};
    std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    value = value > (kHuge - digit) / 10 ? kHuge : value * 10 + digit;
  }
  return value;
}

bool IsAttrChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         (c != '\0' && std::strchr("!#$&+-.^_`|~", c) != nullptr);
}

std::string Rfc5987Encode(std::string_view text) { return PercentEncode(text, IsAttrChar); }

}  // namespace

std::optional<int> DownloadIdFromPath(std::string_view path) {
  return IdBetween(path, "/download/", ".mp4");
}

RangeChoice ChooseRange(std::optional<std::string_view> rangeHeader, std::uint64_t size) {
  if (!rangeHeader) return {};
  std::string_view value = TrimSpaces(*rangeHeader);
  std::size_t equals = value.find('=');
  if (equals == std::string_view::npos || !IsBytesUnit(value.substr(0, equals))) {
    return {};
  }
  std::string_view byteRange = value.substr(equals + 1);
  // One range only; a list (even "0-1, 5-6") is ignored as a whole rather
  // than answered as multipart/byteranges.
  std::size_t dash = byteRange.find('-');
  if (dash == std::string_view::npos || byteRange.find(',') != std::string_view::npos) return {};
  std::string_view firstText = byteRange.substr(0, dash);
  std::string_view lastText = byteRange.substr(dash + 1);

  if (firstText.empty()) {  // suffix: the last N bytes
    std::optional<std::uint64_t> suffix = ParsePosition(lastText);
    if (!suffix) return {};
    if (*suffix == 0 || size == 0) return {RangeChoice::kUnsatisfiable};
    std::uint64_t length = std::min(*suffix, size);
    return {RangeChoice::kPart, size - length, length};
  }
  std::optional<std::uint64_t> first = ParsePosition(firstText);
  if (!first) return {};
  std::uint64_t last = kHuge;
  if (!lastText.empty()) {
    std::optional<std::uint64_t> parsed = ParsePosition(lastText);
    if (!parsed || *parsed < *first) return {};
    last = *parsed;
  }
  if (*first >= size) return {RangeChoice::kUnsatisfiable};
  last = std::min(last, size - 1);
  return {RangeChoice::kPart, *first, last - *first + 1};
}

std::string SafeFileName(std::string_view title) {
  std::string name;
  for (char c : SanitizeUtf8(title)) {
    auto b = static_cast<unsigned char>(c);
    bool unsafe = b < 0x20 || b == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
    name += unsafe ? '_' : c;
  }
  return name;
}

std::string ContentDisposition(int id, std::string_view title) {
  std::string ascii = "film-" + std::to_string(id) + ".mp4";
  std::string name = SafeFileName(title);
  std::string header = "attachment; filename=\"" + ascii + "\"";
  header += "; filename*=UTF-8''" + Rfc5987Encode(name.empty() ? ascii : name + ".mp4");
  return header;
}

SiteResponse DownloadResponse(const Film& film, const RequestHeaders& headers) {
  FilmFile file(film.id);
  std::uint64_t size = file.Size();
  // The site hands out no validators, so an If-Range can never match the
  // file the client has: it gets the whole file again.
  RangeChoice range = headers.hasIfRange ? RangeChoice{} : ChooseRange(headers.range, size);

  SiteResponse response;
  response.headers = {{"Cache-Control", "no-store"}, {"Accept-Ranges", "bytes"}};
  if (range.kind == RangeChoice::kUnsatisfiable) {
    response.status = 416;
    response.headers.emplace_back("Content-Type", "text/html; charset=utf-8");
    response.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    response.body = RenderErrorPage(416, "请求的范围超出了文件的大小。");
    return response;
  }
  response.headers.emplace_back("Content-Type", "video/mp4");
  response.headers.emplace_back("Content-Disposition", ContentDisposition(film.id, film.title));
  if (range.kind == RangeChoice::kPart) {
    response.status = 206;
    response.headers.emplace_back("Content-Range",
                                  "bytes " + std::to_string(range.first) + "-" +
                                      std::to_string(range.first + range.length - 1) + "/" +
                                      std::to_string(size));
    response.file = FileSlice{file, range.first, range.length};
  } else {
    response.file = FileSlice{file, 0, size};
  }
  return response;
}

}  // namespace site
