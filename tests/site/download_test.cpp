// The download route without sockets: which range a Range header picks,
// the file names offered, and the response Route() gives for each film.
#include "site/download.h"

#include <gtest/gtest.h>

#include <string>

#include "site/catalog.h"
#include "site/text.h"

namespace site {
namespace {

// The file name a client recovers from filename*=UTF-8''...
std::string DecodedExtendedName(std::string_view disposition) {
  constexpr std::string_view kMarker = "filename*=UTF-8''";
  std::size_t at = disposition.find(kMarker);
  if (at == std::string_view::npos) return "<none>";
  std::string_view encoded = disposition.substr(at + kMarker.size());
  encoded = encoded.substr(0, encoded.find(';'));
  // RFC 5987 values carry no raw spaces, quotes or non-ASCII.
  for (char c : encoded) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F ||
        c == '"') {
      return "<raw byte in value>";
    }
  }
  return PercentDecode(encoded, /*plusAsSpace=*/false);
}

TEST(ChooseRangeTest, PicksOneRangeOrIgnoresOrRefuses) {
  constexpr std::uint64_t kSize = 1000;
  struct Case {
    std::optional<std::string> header;
    RangeChoice::Kind kind;
    std::uint64_t first;
    std::uint64_t length;
  };
  const Case kCases[] = {
      {std::nullopt, RangeChoice::kWhole, 0, 0},
      {"bytes=0-0", RangeChoice::kPart, 0, 1},
      {"bytes=100-199", RangeChoice::kPart, 100, 100},
      {"bytes=500-", RangeChoice::kPart, 500, 500},
      {"bytes=-500", RangeChoice::kPart, 500, 500},
      {"bytes=-5000", RangeChoice::kPart, 0, 1000},  // suffix longer than the file
      {"bytes=999-", RangeChoice::kPart, 999, 1},
      {"bytes=990-5000", RangeChoice::kPart, 990, 10},  // last byte clamped
      {"bytes=0-99999999999999999999999", RangeChoice::kPart, 0, 1000},
      {"Bytes=1-2", RangeChoice::kPart, 1, 2},  // the unit is case-insensitive
      {" bytes=1-2 ", RangeChoice::kPart, 1, 2},
      {"bytes=1000-", RangeChoice::kUnsatisfiable, 0, 0},
      {"bytes=1000-2000", RangeChoice::kUnsatisfiable, 0, 0},
      {"bytes=99999999999999999999999-", RangeChoice::kUnsatisfiable, 0, 0},
      {"bytes=-0", RangeChoice::kUnsatisfiable, 0, 0},
      // Not understood, or more than one range: the whole file.
      {"", RangeChoice::kWhole, 0, 0},
      {"bytes", RangeChoice::kWhole, 0, 0},
      {"bytes=", RangeChoice::kWhole, 0, 0},
      {"bytes=-", RangeChoice::kWhole, 0, 0},
      {"bytes=abc", RangeChoice::kWhole, 0, 0},
      {"bytes=5-4", RangeChoice::kWhole, 0, 0},
      {"bytes=1-2-3", RangeChoice::kWhole, 0, 0},
      {"bytes=+1-2", RangeChoice::kWhole, 0, 0},
      {"bytes=1 -2", RangeChoice::kWhole, 0, 0},
      {"bytes=0-1,5-6", RangeChoice::kWhole, 0, 0},
      {"bytes=0-1, bytes=5-6", RangeChoice::kWhole, 0, 0},  // two Range lines joined
      {"items=0-1", RangeChoice::kWhole, 0, 0},
      {"0-1", RangeChoice::kWhole, 0, 0},
  };
  for (const Case& c : kCases) {
    std::string label = c.header.value_or("<no header>");
    RangeChoice choice =
        ChooseRange(c.header ? std::optional<std::string_view>(*c.header) : std::nullopt, kSize);
    EXPECT_EQ(choice.kind, c.kind) << label;
    if (c.kind == RangeChoice::kPart) {
      EXPECT_EQ(choice.first, c.first) << label;
      EXPECT_EQ(choice.length, c.length) << label;
    }
  }
}

TEST(DownloadNameTest, TitlesBecomeSafeNamesThatDecodeBack) {
  const std::pair<std::string, std::string> kNames[] = {
      {"蓝湖夏夜", "蓝湖夏夜"},
      {"青梧巷 第一季", "青梧巷 第一季"},
      {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"tab\there\x7F\x01", "tab_here__"},
      {"bad\xFFutf", "bad\xEF\xBF\xBDutf"},
      {"100% & more", "100% & more"},
  };
  for (const auto& [title, safe] : kNames) {
    EXPECT_EQ(SafeFileName(title), safe) << title;
    std::string header = ContentDisposition(42, title);
    EXPECT_TRUE(header.starts_with("attachment; filename=\"film-42.mp4\"; ")) << header;
    EXPECT_EQ(DecodedExtendedName(header), safe + ".mp4") << header;
  }
  // Nothing left of the title: the ASCII name stands in.
  EXPECT_EQ(DecodedExtendedName(ContentDisposition(7, "")), "film-7.mp4");
}

TEST(DownloadRouteTest, EveryFilmDownloadsUnderItsChineseTitle) {
  for (const Film& film : Films()) {
    std::string target = "/download/" + std::to_string(film.id) + ".mp4";
    for (std::string method : {"GET", "HEAD"}) {
      SiteResponse response = Route(method, target);
      ASSERT_EQ(response.status, 200) << method << " " << target;
      EXPECT_EQ(response.Header("Content-Type"), "video/mp4");
      EXPECT_EQ(response.Header("Accept-Ranges"), "bytes");
      EXPECT_EQ(response.Header("Cache-Control"), "no-store");
      EXPECT_EQ(DecodedExtendedName(response.Header("Content-Disposition")),
                std::string(film.title) + ".mp4");
      ASSERT_TRUE(response.file.has_value());
      EXPECT_EQ(response.file->file.Id(), film.id);
      EXPECT_EQ(response.file->offset, 0u);
      EXPECT_EQ(response.file->length, FilmFile(film.id).Size());
      EXPECT_TRUE(response.Header("Content-Range").empty());
    }
  }
}

TEST(DownloadRouteTest, RangesBecomePartsOrRefusals) {
  std::uint64_t size = FilmFile(1701).Size();
  std::string total = std::to_string(size);

  SiteResponse part = Route("GET", "//download//1701.mp4", {.range = "bytes=100-199"});
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.Header("Content-Range"), "bytes 100-199/" + total);
  ASSERT_TRUE(part.file.has_value());
  EXPECT_EQ(part.file->offset, 100u);
  EXPECT_EQ(part.file->length, 100u);

  SiteResponse refused = Route("GET", "/download/1701.mp4", {.range = "bytes=" + total + "-"});
  EXPECT_EQ(refused.status, 416);
  EXPECT_EQ(refused.Header("Content-Range"), "bytes */" + total);
  EXPECT_FALSE(refused.file.has_value());
  EXPECT_NE(refused.body.find("416"), std::string::npos);

  // An If-Range can't match: the site gives out no validators.
  SiteResponse whole =
      Route("GET", "/download/1701.mp4", {.range = "bytes=0-0", .hasIfRange = true});
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.file->length, size);

  // Pages never answer ranges.
  EXPECT_EQ(Route("GET", "/tv/", {.range = "bytes=0-0"}).status, 200);
}

TEST(DownloadRouteTest, AnythingButACatalogueFilmIsNotFound) {
  for (std::string target :
       {"/download/9999.mp4", "/download/1.mp4", "/download/01701.mp4", "/download/-1701.mp4",
        "/download/+1701.mp4", "/download/1701.MP4", "/download/1701.avi", "/download/1701",
        "/download/abc.mp4", "/download/.mp4", "/download/1701.mp4/", "/download/",
        "/download/99999999999.mp4", "/download/1701.html"}) {
    SiteResponse response = Route("GET", target);
    EXPECT_EQ(response.status, 404) << target;
    EXPECT_FALSE(response.file.has_value()) << target;
    EXPECT_NE(response.body.find("404 页面不存在"), std::string::npos) << target;
  }
  EXPECT_EQ(DownloadIdFromPath("/download/1701.mp4"), 1701);
  EXPECT_EQ(DownloadIdFromPath("/download/1701.mp4x"), std::nullopt);
}

}  // namespace
}  // namespace site
