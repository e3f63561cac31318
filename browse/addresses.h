// Every address the program sends the browser to: the site's base address and
// one table of the paths joined to it. Addresses are the base followed
// directly by the path; only a search keyword is ever escaped.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#ifndef KIVO_SITE_HOST
#define KIVO_SITE_HOST "127.0.0.1"
#endif

namespace browse {

inline constexpr std::string_view SiteBaseUrl = "http://" KIVO_SITE_HOST ":8080/";

#ifndef KIVO_OFFICIAL_SITE_URL
#define KIVO_OFFICIAL_SITE_URL "http://" KIVO_SITE_HOST ":8080/"
#endif
// The program's own web site, opened in the desktop's browser from the tray.
inline constexpr std::string_view OfficialSiteUrl = KIVO_OFFICIAL_SITE_URL;

enum class Destination {
  kHomeAtLoad,
  kCategory2,
  kCategory3,
  kCategory4,
  kCategory5,
  kCategory6,
  kCategory7,
  kCategory8,
  kCategory9,
  kCategory10,
  kCategory11,
  kCategory12,
  kCategory13,
  kGuestbook,
  kSearch,  // prefix; the keyword and kSearchSuffix follow
  kHomeCommand,
};

struct AddressEntry {
  Destination destination;
  std::string_view path;
  std::string_view pictureText;  // category buttons: the label in their skin cell
};

inline constexpr std::array<AddressEntry, 16> kAddresses{{
    {Destination::kHomeAtLoad, "/xiazai/", ""},
    {Destination::kCategory2, "xiazai/", "热门影片"},
    {Destination::kCategory3, "xiazai/2.html", "今日更新"},
    {Destination::kCategory4, "xiazai/3.html", "下载排行"},
    {Destination::kCategory5, "xiazais/index.html", "手机电影"},
    {Destination::kCategory6, "tv/", "手机剧集"},
    {Destination::kCategory7, "animation/", "手机动漫"},
    {Destination::kCategory8, "mtv/", "手机MTV"},
    {Destination::kCategory9, "arts/", "手机综艺"},
    {Destination::kCategory10, "drama/", "高清电影"},
    {Destination::kCategory11, "action/", "手机动作片"},
    {Destination::kCategory12, "romance/", "手机爱情片"},
    {Destination::kCategory13, "horror/", "手机恐怖片"},
    {Destination::kGuestbook, "e/tool/gbook/?bid=1", ""},
    {Destination::kSearch, "e/search/?searchget=1&keyboard=", ""},
    {Destination::kHomeCommand, "/xiazai", ""},
}};

inline constexpr std::string_view kSearchSuffix = "&show=title";

inline constexpr int kFirstCategory = 2;
inline constexpr int kLastCategory = 13;

// SiteBaseUrl followed by the destination's path.
std::string AddressOf(Destination destination);
// The destination of category button npc(index); none outside 2..13.
std::optional<Destination> CategoryDestination(int index);

// UTF-8 bytes outside the unreserved set (letters, digits, - . _ ~) become
// %XX, so a keyword can carry & # % + = and spaces into the query intact.
std::string PercentEncode(std::string_view text);

// Longest keyword, in encoded bytes, we hand to the browser; beyond that the
// search is refused rather than sent as an address no server accepts.
inline constexpr std::size_t kMaxEncodedKeyword = 1 << 20;

// The site search for `keyword` exactly as typed, or none when refused.
std::optional<std::string> SearchAddress(std::string_view keyword);

}  // namespace browse
