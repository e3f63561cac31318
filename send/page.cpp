#include "send/page.h"

#include <array>
#include <cstdio>
#include <utility>

#include "site/download.h"
#include "site/text.h"

namespace sender {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kTypes{{
    {".mp4", "video/mp4"},
    {".3gp", "video/3gpp"},
    {".mkv", "video/x-matroska"},
    {".avi", "video/x-msvideo"},
    {".rmvb", "application/vnd.rn-realmedia-vbr"},
    {".webm", "video/webm"},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         site::EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// ".mp4" from "/a/b.c/Film.MP4", lower-cased; "" when the last segment has
// no dot past its first character or the "extension" is implausibly long.
std::string Extension(std::string_view path) {
  std::string_view base = path.substr(path.rfind('/') + 1);
  std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || base.size() - dot > 8) return {};
  std::string ext;
  for (char c : base.substr(dot)) {
    bool plain = c == '.' || (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z');
    if (!plain) return {};
    ext += Lower(c);
  }
  return ext;
}

bool IsTrimmed(char c) { return c == ' ' || c == '.' || c == '_'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FileNameFor(std::string_view path, std::string_view displayName) {
  std::string ext = Extension(path);
  std::string name =
      site::SafeFileName(displayName.empty() ? path.substr(path.rfind('/') + 1) : displayName);
  if (!ext.empty() && EndsWithIgnoringCase(name, ext)) name.resize(name.size() - ext.size());
  // Leading and trailing dots and spaces: a name of dots would be read as
  // "." or ".." in the address, and file systems treat them badly anyway.
  std::string_view stem = name;
  while (!stem.empty() && (stem.front() == ' ' || stem.front() == '.')) stem.remove_prefix(1);
  while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.remove_suffix(1);
  return (stem.empty() ? std::string("video") : std::string(stem)) + ext;
}

std::string_view ContentTypeFor(std::string_view fileName) {
  for (const auto& [ext, type] : kTypes) {
    if (EndsWithIgnoringCase(fileName, ext)) return type;
  }
  return "application/octet-stream";
}

std::string ContentDisposition(std::string_view fileName) {
  std::string ext = Extension(fileName);
  std::string_view stemText = fileName.substr(0, fileName.size() - ext.size());
  std::string ascii;
  for (char c : stemText) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x80) continue;  // Chinese and the like live in filename* only
    bool plain = (b >= '0' && b <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '-' ||
                 c == '.' || c == ' ';
    char kept = plain ? c : '_';
    if (kept == '_' && !ascii.empty() && ascii.back() == '_') continue;
    ascii += kept;
  }
  std::string_view stem = Trim(ascii);
  std::string fallback = (stem.empty() ? std::string("video") : std::string(stem)) + ext;
  return "attachment; filename=\"" + fallback + "\"; filename*=UTF-8''" + PercentEncode(fileName);
}

std::string PercentEncode(std::string_view text) {
  return site::PercentEncode(text, [](unsigned char b) {
    // RFC 3986's unreserved characters, safe anywhere in a path.
    return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
           b == '-' || b == '.' || b == '_' || b == '~';
  });
}

std::string HumanSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  constexpr std::array<const char*, 5> kUnits{"KB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  // 1023.96 KB would print as "1024.0 KB": move up before rounding does.
  while (value >= 1023.95 && unit + 1 < kUnits.size()) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string RenderPage(std::string_view fileName, std::uint64_t size, std::string_view fileHref) {
  std::string name = site::HtmlEscape(fileName);
  std::string href = site::HtmlEscape(fileHref);
  std::string_view type = ContentTypeFor(fileName);
  std::string page = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  page += "<title>" + name + "</title>\n";
  page +=
      "<style>body{font-family:sans-serif;margin:1.5em;line-height:1.5}"
      "a.get{display:block;margin:1em 0;padding:.8em;text-align:center;background:#1a73e8;"
      "color:#fff;border-radius:.4em;text-decoration:none;font-size:1.2em}"
      "video{width:100%}</style></head>\n";
  page += "<body>\n<h1>" + name + "</h1>\n";
  page += "<p>大小：" + HumanSize(size) + "</p>\n";
  page += "<a class=\"get\" href=\"" + href + "\" download>下载到手机</a>\n";
  if (type == "video/mp4" || type == "video/webm") {
    page += "<video controls preload=\"none\" src=\"" + href + "\"></video>\n";
  }
  page += "<p>文件由电脑上的 Kivo 直接发送，请保持两台设备在同一网络。</p>\n</body></html>\n";
  return page;
}

}  // namespace sender
