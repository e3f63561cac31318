// The download route, /download/<id>.mp4: which byte range to answer, the
// Chinese file name a browser should save under, and the response that puts
// them together. The bytes themselves come from FilmFile when sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "site/router.h"

namespace site {

struct Film;

// "/download/<id>.mp4" with a plain decimal id, like film pages.
std::optional<int> DownloadIdFromPath(std::string_view normalizedPath);

struct RangeChoice {
  enum Kind {
    kWhole,          // 200 with everything: no Range, or one we ignore
    kPart,           // 206 with [first, first + length)
    kUnsatisfiable,  // 416
  };
  Kind kind = kWhole;
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};

// One "bytes=" range as RFC 9110 §14.1 spells it, against a body of `size`
// bytes. A header that doesn't parse, names another unit or asks for more
// than one range is ignored (the whole body is sent): a server may always
// do that, and it is safer than guessing.
RangeChoice ChooseRange(std::optional<std::string_view> rangeHeader, std::uint64_t size);

// The title as a file name: characters that some file system refuses
// (/ \ : * ? " < > |) and control characters become '_', invalid UTF-8 is
// repaired. Empty titles give "".
std::string SafeFileName(std::string_view title);

// attachment; filename="film-<id>.mp4"; filename*=UTF-8''<title>.mp4, the
// title percent-encoded per RFC 5987 so old clients still get an ASCII name.
std::string ContentDisposition(int id, std::string_view title);

// The response for a film's file; HEAD gets the same and the sender leaves
// out the body.
SiteResponse DownloadResponse(const Film& film, const RequestHeaders& headers);

}  // namespace site
