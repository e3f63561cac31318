#include "site/pages.h"

#include <string>

#include "site/text.h"

namespace site {
namespace {

// Spacing comes from margins, not `gap`: the Windows browser control (IE11
// at its best) lays out flexbox but knows no flex gaps. Without flexbox at
// all the nav still runs as a line of links and the year floats right.
constexpr std::string_view kStyle = R"(
*{box-sizing:border-box}
body{margin:0;background:#eaf4fc;color:#24405a;font:14px/1.7 "Microsoft YaHei","WenQuanYi Micro Hei","PingFang SC",sans-serif}
a{color:#1f6fb2;text-decoration:none}
a:hover{color:#e07b00;text-decoration:underline}
.wrap{max-width:960px;margin:0 auto;padding:0 12px}
.site-head{background:linear-gradient(#63b0ea,#3a89d0);color:#fff}
.site-head .wrap{display:flex;flex-wrap:wrap;align-items:center;justify-content:space-between;min-height:64px}
.site-title{margin:8px 8px 8px 0;font-size:24px;letter-spacing:2px}
.search{margin:8px 0}
.site-title a{color:#fff;text-decoration:none}
.search input[type=text]{width:220px;padding:5px 8px;border:1px solid #9cc8ee;border-radius:3px}
.search button,.gbook button{padding:5px 14px;border:0;border-radius:3px;background:#ff9f2e;color:#fff;cursor:pointer}
.site-nav{background:#d3e8f9;border-bottom:1px solid #b3d4f0}
.site-nav .wrap{display:flex;flex-wrap:wrap}
.site-nav a{display:inline-block;padding:7px 10px;color:#1d5d96}
.site-nav a.on{background:#fff;font-weight:bold}
main{background:#fff;border:1px solid #cbe1f4;margin:12px auto;padding:6px 18px 18px}
h1{font-size:18px;color:#2a72b8;border-bottom:2px solid #d3e8f9;padding-bottom:6px}
.lead{color:#5b7a96}
ul.films{list-style:none;margin:0;padding:0}
ul.films li{display:flex;justify-content:space-between;padding:7px 4px;border-bottom:1px dashed #d3e8f9}
.meta{float:right;margin-left:12px;color:#7c93a8;white-space:nowrap}
.rank{display:inline-block;width:20px;margin-right:6px;border-radius:3px;background:#3a89d0;color:#fff;font-size:12px;text-align:center}
.notice{background:#f2f8fe;border-left:4px solid #63b0ea;padding:8px 12px;word-break:break-all}
.download{display:inline-block;margin:8px 0;padding:7px 22px;border-radius:4px;background:#3a89d0;color:#fff}
.message{border-bottom:1px dashed #d3e8f9;padding:6px 0}
.reply{color:#7c93a8}
.gbook textarea{width:100%;height:80px}
footer{color:#7c93a8;text-align:center;font-size:12px;padding-bottom:16px}
)";

std::string FilmUrl(const Film& film) { return "/film/" + std::to_string(film.id) + ".html"; }

const Section& SectionOf(const Film& film) {
  return Sections()[static_cast<std::size_t>(film.sectionIndex)];
}

// `activePath` marks the nav entry of the current section; `searchValue` is
// escaped text to pre-fill the search box with.
std::string Layout(std::string_view title, std::string_view activePath,
                   std::string_view searchValue, std::string_view content) {
  std::string html;
  html.reserve(content.size() + 4096);
  html +=
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n"
      "<meta charset=\"utf-8\">\n"
      // Must come before anything but <title> and other <meta> to count.
      "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, "
      "initial-scale=1\">\n<title>";
  html += title;
  html += " - ";
  html += kSiteName;
  html += "</title>\n<style>";
  html += kStyle;
  html +=
      "</style>\n</head>\n<body>\n<header class=\"site-head\"><div "
      "class=\"wrap\">\n<p class=\"site-title\"><a href=\"/xiazai/\">";
  html += kSiteName;
  html +=
      "</a></p>\n<form class=\"search\" action=\"/e/search/\" "
      "method=\"get\"><input type=\"hidden\" name=\"searchget\" "
      "value=\"1\"><input type=\"text\" name=\"keyboard\" value=\"";
  html += searchValue;
  html +=
      "\" placeholder=\"输入影片名称\"><input type=\"hidden\" "
      "name=\"show\" value=\"title\"><button "
      "type=\"submit\">搜索</button></form>\n</div></header>\n"
      "<nav class=\"site-nav\"><div class=\"wrap\">\n";
  for (const Section& section : Sections()) {
    std::string_view path = section.paths.front();
    html += "<a href=\"";
    html += path;
    html += path == activePath ? "\" class=\"on\">" : "\">";
    html += section.title;
    html += "</a>\n";
  }
  html += "</div></nav>\n<main class=\"wrap\">\n";
  html += content;
  html +=
      "</main>\n<footer class=\"wrap\">演示站点 · 影片均为虚构，下载的只是"
      "演示文件 · <a href=\"/e/tool/gbook/?bid=1\">留言板</a></footer>\n"
      "</body>\n</html>\n";
  return html;
}

void AppendFilmList(std::string& html, const std::vector<int>& ids, bool ranked) {
  html += "<ul class=\"films\">\n";
  int rank = 0;
  for (int id : ids) {
    const Film* film = FindFilm(id);
    if (film == nullptr) continue;
    html += "<li><span>";
    if (ranked) {
      html += "<span class=\"rank\">" + std::to_string(++rank) + "</span>";
    }
    html += "<a href=\"" + FilmUrl(*film) + "\">";
    html += film->title;
    html += "</a></span><span class=\"meta\">";
    html += std::to_string(film->year);
    html += " · ";
    html += SectionOf(*film).title;
    html += "</span></li>\n";
  }
  html += "</ul>\n";
}

}  // namespace

std::string RenderSectionPage(const Section& section) {
  std::string content = "<h1>";
  content += section.title;
  content += "</h1>\n<p class=\"lead\">";
  content += section.blurb;
  content += "</p>\n";
  AppendFilmList(content, section.filmIds, section.ranked);
  return Layout(section.title, section.paths.front(), "", content);
}

std::string RenderFilmPage(const Film& film) {
  const Section& section = SectionOf(film);
  std::string content = "<h1>";
  content += film.title;
  content += "</h1>\n<p class=\"meta\">分类：<a href=\"";
  content += section.paths.front();
  content += "\">";
  content += section.title;
  content += "</a> · 年份：" + std::to_string(film.year) + " · 格式：MP4 · 大小：";
  content += film.size;
  content += "</p>\n<p>";
  content += film.summary;
  content += "</p>\n<p><a class=\"download\" href=\"/download/" + std::to_string(film.id) +
             ".mp4\">下载 MP4</a></p>\n"
             "<p class=\"notice\">这是演示站点：下载的是一段几百 KB 到 2 MB 的演示视频，"
             "不是完整的影片。</p>\n";
  return Layout(film.title, section.paths.front(), "", content);
}

std::string RenderSearchPage(const std::optional<std::string>& keyword) {
  // Matching uses the repaired text too, so a keyword shown with U+FFFD
  // never matches on bytes the visitor cannot see.
  std::string text = keyword ? DisplayText(*keyword) : "";
  std::string shown = HtmlEscape(text);
  std::string content = "<h1>搜索结果</h1>\n";
  if (shown.empty()) {
    content += "<p class=\"notice\">搜索关键字为空，请输入影片名称后再搜索。</p>\n";
    return Layout("搜索结果", "", "", content);
  }
  content += "<p class=\"notice\">关键字：<strong>" + shown + "</strong></p>\n";
  std::vector<int> found;
  for (const Film& film : Films()) {
    if (ContainsIgnoringAsciiCase(film.title, text)) {
      found.push_back(film.id);
    }
  }
  if (found.empty()) {
    content += "<p>没有找到相关影片，换个关键字试试。</p>\n";
  } else {
    content += "<p>共找到 " + std::to_string(found.size()) + " 部影片：</p>\n";
    AppendFilmList(content, found, false);
  }
  return Layout("搜索结果", "", shown, content);
}

std::string RenderGuestbookPage(bool submitted) {
  std::string content = "<h1>留言板</h1>\n";
  if (submitted) {
    content += "<p class=\"notice\">感谢留言！演示站点不会保存留言内容。</p>\n";
  }
  content +=
      "<div class=\"message\"><strong>小林</strong> <span "
      "class=\"meta\">2024-05-02</span><p>《蓝湖夏夜》在手机上看很清楚，"
      "希望多更新这类片子。</p><p class=\"reply\">管理员回复：收到，"
      "会继续更新。</p></div>\n"
      "<div class=\"message\"><strong>路过的影迷</strong> <span "
      "class=\"meta\">2024-04-18</span><p>下载排行能不能按周统计？</p>"
      "<p class=\"reply\">管理员回复：已经在做了。</p></div>\n"
      "<form class=\"gbook\" action=\"/e/tool/gbook/\" method=\"get\">\n"
      "<input type=\"hidden\" name=\"bid\" value=\"1\">\n"
      "<p>昵称：<input type=\"text\" name=\"lyname\" maxlength=\"20\"></p>\n"
      "<p>内容：<textarea name=\"lytext\" maxlength=\"500\"></textarea></p>\n"
      "<p><button type=\"submit\">提交留言</button></p>\n</form>\n";
  return Layout("留言板", "", "", content);
}

std::string RenderErrorPage(int status, std::string_view message) {
  std::string title = std::to_string(status);
  switch (status) {
    case 400: title += " 请求无效"; break;
    case 404: title += " 页面不存在"; break;
    case 405: title += " 不支持的请求方法"; break;
    case 408: title += " 请求超时"; break;
    case 413: title += " 请求内容过大"; break;
    case 414: title += " 地址过长"; break;
    case 416: title += " 请求的范围无效"; break;
    case 431: title += " 请求头过大"; break;
    default: title += " 出错了"; break;
  }
  std::string content = "<h1>" + title + "</h1>\n<p class=\"notice\">";
  content += message;
  content += "</p>\n<p><a href=\"/xiazai/\">返回首页</a></p>\n";
  return Layout(title, "", "", content);
}

}  // namespace site
