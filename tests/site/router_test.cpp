#include "site/router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "site/catalog.h"
#include "site/text.h"

namespace site {
namespace {

// The twelve sections as the desktop program links to them, in nav order.
const std::vector<std::pair<std::string, std::string>> kNav = {
    {"/xiazai/", "热门影片"},       {"/xiazai/2.html", "今日更新"},
    {"/xiazai/3.html", "下载排行"}, {"/xiazais/index.html", "手机电影"},
    {"/tv/", "手机剧集"},           {"/animation/", "手机动漫"},
    {"/mtv/", "手机MTV"},           {"/arts/", "手机综艺"},
    {"/drama/", "高清电影"},        {"/action/", "手机动作片"},
    {"/romance/", "手机爱情片"},    {"/horror/", "手机恐怖片"},
};

std::string Heading(const std::string& html) {
  std::smatch match;
  static const std::regex kH1("<h1>([^<]*)</h1>");
  return std::regex_search(html, match, kH1) ? match[1].str() : "";
}

std::vector<int> FilmLinks(const std::string& html) {
  static const std::regex kLink("href=\"/film/([0-9]+)\\.html\"");
  std::vector<int> ids;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), kLink);
       it != std::sregex_iterator(); ++it) {
    ids.push_back(std::stoi((*it)[1].str()));
  }
  return ids;
}

// What the page shows as the searched keyword.
std::string ShownKeyword(const std::string& html) {
  std::size_t start = html.find("<strong>");
  std::size_t end = html.find("</strong>");
  if (start == std::string::npos || end == std::string::npos) return "<none>";
  start += 8;
  return html.substr(start, end - start);
}

std::string SearchTarget(const std::string& encodedKeyword) {
  return "/e/search/?searchget=1&keyboard=" + encodedKeyword + "&show=title";
}

TEST(RouteTest, EveryAddressReachesItsPage) {
  struct RouteCase {
    std::string target;
    int status;
    std::string heading;
  };
  const RouteCase kCases[] = {
      {"/xiazai/", 200, "热门影片"},
      {"//xiazai/", 200, "热门影片"},
      {"//xiazai", 200, "热门影片"},
      {"/xiazai", 200, "热门影片"},
      {"/", 200, "热门影片"},
      {"///xiazai//", 200, "热门影片"},
      {"/xiazai/2.html", 200, "今日更新"},
      {"//xiazai//2.html", 200, "今日更新"},
      {"/xiazai/%32.html", 200, "今日更新"},  // escaped path bytes decode
      {"/xiazai/3.html", 200, "下载排行"},
      {"/xiazais/index.html", 200, "手机电影"},
      {"/tv/", 200, "手机剧集"},
      {"/tv", 200, "手机剧集"},
      {"/animation/", 200, "手机动漫"},
      {"/mtv/", 200, "手机MTV"},
      {"/arts/", 200, "手机综艺"},
      {"/drama/", 200, "高清电影"},
      {"/action/", 200, "手机动作片"},
      {"/romance/", 200, "手机爱情片"},
      {"/horror/", 200, "手机恐怖片"},
      {"/tv/../horror/", 200, "手机恐怖片"},
      {"/tv/?page=2#top", 200, "手机剧集"},
      {"http://127.0.0.1:8080//xiazai/", 200, "热门影片"},  // absolute form
      {"/film/1701.html", 200, "蓝湖夏夜"},
      {"//film//1001.html", 200, "雾港疑云"},
      {"/e/tool/gbook/?bid=1", 200, "留言板"},
      {"//e/tool/gbook/?bid=1", 200, "留言板"},
      {"/e/tool/gbook/?bid=1&lyname=a&lytext=b", 200, "留言板"},
      {SearchTarget("x"), 200, "搜索结果"},
      {"//e/search/?searchget=1&keyboard=x&show=title", 200, "搜索结果"},
      {"/e/search/", 200, "搜索结果"},
      {"/e/tool/gbook/?bid=2", 404, "404 页面不存在"},
      {"/e/tool/gbook/", 404, "404 页面不存在"},
      {"/film/9999.html", 404, "404 页面不存在"},
      {"/film/01701.html", 404, "404 页面不存在"},
      {"/film/1701", 404, "404 页面不存在"},
      {"/download/9999.mp4", 404, "404 页面不存在"},
      {"/download/1701.avi", 404, "404 页面不存在"},
      {"/xiazai/4.html", 404, "404 页面不存在"},
      {"/tvx/", 404, "404 页面不存在"},
      {"/nope", 404, "404 页面不存在"},
      {"*", 404, "404 页面不存在"},
  };
  for (const RouteCase& c : kCases) {
    for (std::string method : {"GET", "HEAD"}) {
      SiteResponse response = Route(method, c.target);
      EXPECT_EQ(response.status, c.status) << method << " " << c.target;
      EXPECT_EQ(Heading(response.body), c.heading) << method << " " << c.target;
    }
  }
}

TEST(RouteTest, EveryPageHasSiteHeadingNavAndNoStore) {
  const std::string kTargets[] = {
      "/xiazai/",         "/tv/",       "/film/1101.html", "/e/tool/gbook/?bid=1",
      SearchTarget("夜"), "/e/search/", "/nope",           "/download/1.mp4",
  };
  for (const std::string& target : kTargets) {
    SiteResponse response = Route("GET", target);
    EXPECT_EQ(response.Header("Content-Type"), "text/html; charset=utf-8") << target;
    EXPECT_EQ(response.Header("cache-control"), "no-store") << target;
    EXPECT_NE(response.body.find("Kivo手机电影</a>"), std::string::npos) << target;
    std::size_t navStart = response.body.find("<nav");
    std::size_t navEnd = response.body.find("</nav>");
    ASSERT_NE(navStart, std::string::npos) << target;
    std::string nav = response.body.substr(navStart, navEnd - navStart);
    for (const auto& [path, title] : kNav) {
      EXPECT_NE(nav.find("<a href=\"" + path + "\""), std::string::npos)
          << target << " lacks nav link " << path;
      EXPECT_NE(nav.find(title), std::string::npos) << target << " " << title;
    }
  }
  SiteResponse refused = Route("POST", "/xiazai/");
  EXPECT_EQ(refused.Header("Cache-Control"), "no-store");
}

TEST(RouteTest, RefusesEveryMethodButGetAndHead) {
  for (std::string method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "TRACE", "get", "FOO"}) {
    for (std::string target : {"/xiazai/", "/nope"}) {
      SiteResponse response = Route(method, target);
      EXPECT_EQ(response.status, 405) << method << " " << target;
      EXPECT_EQ(response.Header("Allow"), "GET, HEAD") << method;
    }
  }
}

TEST(RouteTest, SectionPagesListThreeToFiveFilmsThatExist) {
  for (const auto& [path, title] : kNav) {
    std::vector<int> ids = FilmLinks(Route("GET", path).body);
    EXPECT_GE(ids.size(), 3u) << path;
    EXPECT_LE(ids.size(), 5u) << path;
    for (int id : ids) {
      std::string filmPath = "/film/" + std::to_string(id) + ".html";
      EXPECT_EQ(Route("GET", filmPath).status, 200) << path << " -> " << filmPath;
    }
  }
}

TEST(CatalogTest, EveryFilmIsListedUnderItsOwnSection) {
  std::set<int> seen;
  for (const Film& film : Films()) {
    EXPECT_TRUE(seen.insert(film.id).second) << "duplicate id " << film.id;
    ASSERT_GE(film.sectionIndex, 3) << film.title;  // not a list page
    ASSERT_LT(film.sectionIndex, static_cast<int>(Sections().size()));
    const Section& section = Sections()[film.sectionIndex];
    std::vector<int> listed = FilmLinks(Route("GET", std::string(section.paths.front())).body);
    EXPECT_NE(std::find(listed.begin(), listed.end(), film.id), listed.end())
        << film.title << " missing from " << section.title;
  }
}

TEST(NormalizePathTest, CollapsesSlashesAndResolvesDots) {
  const std::pair<std::string, std::string> kCases[] = {
      {"//xiazai/", "/xiazai/"},
      {"//xiazai", "/xiazai"},
      {"/xiazai//2.html", "/xiazai/2.html"},
      {"", "/"},
      {"/", "/"},
      {"////", "/"},
      {"/a//b///c", "/a/b/c"},
      {"/a/./b", "/a/b"},
      {"/a/../b/", "/b/"},
      {"/../../a", "/a"},
      {"/a/..", "/"},
      {"/a/b/..", "/a/"},
      {"/tv/.", "/tv/"},
      {"/a/..b/", "/a/..b/"},
      {"xiazai/", "/xiazai/"},
  };
  for (const auto& [input, expected] : kCases) {
    EXPECT_EQ(NormalizePath(input), expected) << input;
  }
}

TEST(ParseQueryTest, KeywordDecodesAsOneField) {
  struct QueryCase {
    std::string query;
    std::optional<std::string> keyboard;
  };
  const QueryCase kCases[] = {
      {"searchget=1&keyboard=a%26b%20%231&show=title", "a&b #1"},
      {"keyboard=a+b", "a b"},
      {"keyboard=a%2Bb", "a+b"},
      {"keyboard=%E5%A4%9C", "夜"},
      {"keyboard=a=b", "a=b"},
      {"keyboard=%ZZ%", "%ZZ%"},
      {"keyboard=", ""},
      {"keyboard", ""},
      {"&&keyboard=x&keyboard=y", "x"},  // first one wins
      {"%6Beyboard=z", "z"},             // names decode too
      {"keyboards=x&Keyboard=y", std::nullopt},
      {"searchget=1&show=title", std::nullopt},
      {"", std::nullopt},
  };
  for (const QueryCase& c : kCases) {
    EXPECT_EQ(FindParam(ParseQuery(c.query), "keyboard"), c.keyboard) << c.query;
  }
}

TEST(SearchTest, ShowsKeywordEscapedAndValid) {
  const std::string kFffd = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> kCases[] = {
      {"a%26b%20%231", "a&amp;b #1"},
      {"a+b", "a b"},
      {"%3Cscript%3Ealert(1)%3C%2Fscript%3E", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"%22%27%3E", "&quot;&#39;&gt;"},
      {"%ZZ", "%ZZ"},
      {"%E5%A4", kFffd},          // cut-off character
      {"%FFok", kFffd + "ok"},    // invalid byte
      {"%C0%AF", kFffd + kFffd},  // overlong encoding
      {"a%00b", "a" + kFffd + "b"},
      {"%", "%"},
  };
  for (const auto& [encoded, shown] : kCases) {
    SiteResponse response = Route("GET", SearchTarget(encoded));
    EXPECT_EQ(response.status, 200) << encoded;
    EXPECT_EQ(ShownKeyword(response.body), shown) << encoded;
    EXPECT_EQ(SanitizeUtf8(response.body), response.body) << encoded;
    EXPECT_EQ(response.body.find("<script>"), std::string::npos) << encoded;
  }
}

TEST(SearchTest, FindsFilmsWhoseTitleContainsTheKeyword) {
  const std::pair<std::string, std::vector<int>> kCases[] = {
      {"%E5%A4%9C", {1103, 1604, 1701, 1802}},           // 夜
      {"%E8%93%9D%E6%B9%96%E5%A4%8F%E5%A4%9C", {1701}},  // 蓝湖夏夜
      {"%E7%AC%AC%E4%B8%80%E5%AD%A3", {1101}},           // 第一季
      {"+", {1101}},                                     // the only title with a space
      {"%E6%B2%A1%E6%9C%89", {}},                        // 没有
      {"%FF", {}},                                       // a repaired keyword matches nothing
  };
  for (const auto& [encoded, ids] : kCases) {
    std::string body = Route("GET", SearchTarget(encoded)).body;
    EXPECT_EQ(FilmLinks(body), ids) << encoded;
    EXPECT_EQ(body.find("没有找到") != std::string::npos, ids.empty()) << encoded;
  }
}

TEST(SearchTest, EmptyOrMissingKeywordSaysSo) {
  for (std::string target : {"/e/search/?searchget=1&show=title", "/e/search/",
                             "/e/search/?searchget=1&keyboard=&show=title"}) {
    SiteResponse response = Route("GET", target);
    EXPECT_EQ(response.status, 200) << target;
    EXPECT_NE(response.body.find("关键字为空"), std::string::npos) << target;
    EXPECT_TRUE(FilmLinks(response.body).empty()) << target;
  }
}

TEST(SearchTest, SixtyFourKilobyteKeyword) {
  std::string keyword;
  std::string encoded;
  while (keyword.size() < 64 * 1024) {
    keyword += "影";
    encoded += "%E5%BD%B1";
  }
  keyword += "<&>";
  encoded += "%3C%26%3E";
  SiteResponse response = Route("GET", SearchTarget(encoded));
  EXPECT_EQ(response.status, 200);
  std::string expected = keyword.substr(0, keyword.size() - 3) + "&lt;&amp;&gt;";
  EXPECT_EQ(ShownKeyword(response.body), expected);
  EXPECT_NE(response.body.find("没有找到"), std::string::npos);
}

}  // namespace
}  // namespace site
