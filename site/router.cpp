#include "site/router.h"

#include <algorithm>

#include "site/catalog.h"
#include "site/download.h"
#include "site/pages.h"
#include "site/text.h"

namespace site {
namespace {

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

SiteResponse HtmlResponse(int status, std::string body) {
  SiteResponse response;
  response.status = status;
  response.headers = {
      {"Content-Type", "text/html; charset=utf-8"},
      // The desktop program watches which addresses get requested; a page
      // served from the browser's cache would hide a visit.
      {"Cache-Control", "no-store"},
  };
  response.body = std::move(body);
  return response;
}

SiteResponse NotFound(std::string_view message) {
  return HtmlResponse(404, RenderErrorPage(404, message));
}

}  // namespace

std::string_view SiteResponse::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringAsciiCase(key, name)) return value;
  }
  return {};
}

std::string NormalizePath(std::string_view decodedPath) {
  std::vector<std::string_view> segments;
  std::size_t pos = 0;
  while (pos <= decodedPath.size()) {
    std::size_t slash = std::min(decodedPath.find('/', pos), decodedPath.size());
    std::string_view segment = decodedPath.substr(pos, slash - pos);
    pos = slash + 1;
    if (segment.empty() || segment == ".") continue;  // "//" or "/./"
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(segment);
  }
  // Whatever the last segment was, a path ending in '/', "." or ".." names a
  // directory.
  std::string_view last = decodedPath.substr(decodedPath.rfind('/') + 1);
  bool directory = last.empty() || last == "." || last == "..";

  std::string out = "/";
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '/';
    out += segments[i];
  }
  if (directory && !segments.empty()) out += '/';
  return out;
}

Target ParseTarget(std::string_view rawTarget) {
  std::string_view target = rawTarget.substr(0, rawTarget.find('#'));
  for (std::string_view scheme : {"http://", "https://"}) {
    if (StartsWithIgnoringAsciiCase(target, scheme)) {
      std::size_t pathStart = target.find_first_of("/?", scheme.size());
      target = pathStart == std::string_view::npos ? std::string_view() : target.substr(pathStart);
      break;
    }
  }
  std::size_t question = target.find('?');
  Target result;
  result.path = NormalizePath(PercentDecode(target.substr(0, question), /*plusAsSpace=*/false));
  if (question != std::string_view::npos) {
    result.query = std::string(target.substr(question + 1));
  }
  return result;
}

QueryParams ParseQuery(std::string_view query) {
  QueryParams params;
  std::size_t pos = 0;
  while (pos <= query.size()) {
    std::size_t amp = query.find('&', pos);
    if (amp == std::string_view::npos) amp = query.size();
    std::string_view piece = query.substr(pos, amp - pos);
    pos = amp + 1;
    if (piece.empty()) continue;
    std::size_t equals = piece.find('=');
    std::string_view name = piece.substr(0, equals);
    std::string_view value =
        equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
    params.emplace_back(PercentDecode(name, /*plusAsSpace=*/true),
                        PercentDecode(value, /*plusAsSpace=*/true));
  }
  return params;
}

std::optional<std::string> FindParam(const QueryParams& params, std::string_view name) {
  for (const auto& [key, value] : params) {
    if (key == name) return value;
  }
  return {};
}

SiteResponse Route(std::string_view method, std::string_view rawTarget,
                   const RequestHeaders& headers) {
  if (method != "GET" && method != "HEAD") {
    SiteResponse response =
        HtmlResponse(405, RenderErrorPage(405, "本站只接受 GET 和 HEAD 请求。"));
    response.headers.emplace_back("Allow", "GET, HEAD");
    return response;
  }

  Target target = ParseTarget(rawTarget);
  const std::string& path = target.path;

  if (const Section* section = FindSection(path)) {
    return HtmlResponse(200, RenderSectionPage(*section));
  }
  if (auto id = IdBetween(path, "/film/", ".html")) {
    if (const Film* film = FindFilm(*id)) {
      return HtmlResponse(200, RenderFilmPage(*film));
    }
    return NotFound("没有这部影片，它可能已经下架。");
  }
  if (path == "/e/search/" || path == "/e/search") {
    QueryParams params = ParseQuery(target.query);
    return HtmlResponse(200, RenderSearchPage(FindParam(params, "keyboard")));
  }
  if (path == "/e/tool/gbook/" || path == "/e/tool/gbook") {
    QueryParams params = ParseQuery(target.query);
    if (FindParam(params, "bid") != "1") {
      return NotFound("没有这个留言板。");
    }
    return HtmlResponse(200, RenderGuestbookPage(FindParam(params, "lytext").has_value()));
  }
  if (auto id = DownloadIdFromPath(path)) {
    if (const Film* film = FindFilm(*id)) {
      return DownloadResponse(*film, headers);
    }
    return NotFound("没有这部影片的文件，它可能已经下架。");
  }
  if (path.starts_with("/download/")) {
    return NotFound("下载地址不对：影片文件的地址是 /download/编号.mp4。");
  }
  return NotFound("您访问的页面不存在，可能地址有误。");
}

}  // namespace site
