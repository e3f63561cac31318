// Maps a request (method and raw request target, exactly as received) to the
// page it gets. No sockets here: the server hands over what arrived and sends
// back what this returns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "site/film_file.h"

namespace site {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Bytes of a film's file, read only while they are being sent.
struct FileSlice {
  FilmFile file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct SiteResponse {
  int status = 200;
  HeaderList headers;  // everything but Content-Length, which the sender adds
  std::string body;
  std::optional<FileSlice> file;  // when set, the body sent instead of `body`

  // The first header called `name` (ASCII case-insensitive), or "".
  std::string_view Header(std::string_view name) const;
};

struct Target {
  std::string path;   // decoded and normalised, always starting with '/'
  std::string query;  // still percent-encoded, without the '?'
};

// The path the way common servers see it: runs of '/' collapse to one and
// "." and ".." segments are resolved, so "//xiazai/" is "/xiazai/". A
// trailing slash is kept: "/tv" and "/tv/" stay distinct.
std::string NormalizePath(std::string_view decodedPath);

// Drops a fragment and an absolute-form "http://host" prefix, percent-decodes
// the path and normalises it. The query is left encoded so that an escaped
// '&' or '=' still belongs to its value when the query is split.
Target ParseTarget(std::string_view rawTarget);

using QueryParams = std::vector<std::pair<std::string, std::string>>;

// application/x-www-form-urlencoded: split on '&', then on the first '=',
// then decode each side with '+' as space. Empty pieces are skipped.
QueryParams ParseQuery(std::string_view query);

// The first value of `name`; none when the field is absent.
std::optional<std::string> FindParam(const QueryParams& params, std::string_view name);

// The request headers any page depends on. The sender collects them; Range
// is never left to the HTTP library, which would cut up every kind of
// response, error pages included.
struct RequestHeaders {
  std::optional<std::string> range;  // several Range lines joined with ", "
  bool hasIfRange = false;
};

SiteResponse Route(std::string_view method, std::string_view rawTarget,
                   const RequestHeaders& headers = {});

}  // namespace site
