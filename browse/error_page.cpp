#include "browse/error_page.h"

#include <cstdio>

#include "frame/inventory.h"

namespace browse {
namespace {

using forms::NavigateFailure;

// The frame's own colours: its light body and the category column's blue.
constexpr forms::Color kColumnBlue = forms::Rgb(0, 153, 218);

std::string Css(forms::Color color) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%02x%02x%02x", forms::RedOf(color), forms::GreenOf(color),
                forms::BlueOf(color));
  return hex;
}

bool IsWebAddress(std::string_view address) {
  auto startsWith = [&](std::string_view scheme) {
    if (address.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      const char c = address[i];
      if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != scheme[i]) return false;
    }
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

std::string HttpSentence(int status) {
  if (status == 404 || status == 410) return "找不到这个页面，它可能已被删除，或者地址有误。";
  if (status == 401 || status == 403) return "网站拒绝了对这个页面的访问。";
  if (status >= 500) return "网站内部出了问题，暂时无法提供这个页面，请稍后再试。";
  return "网站无法提供这个页面。";
}

// Plain, readable from 850 pixels wide down; @ marks the blue, % the body.
constexpr std::string_view kStyle =
    "html,body{margin:0;padding:0;background:#fff;color:#333;"
    "font:15px/1.6 \"Noto Sans CJK SC\",\"WenQuanYi Micro Hei\",\"Microsoft YaHei\","
    "\"SimSun\",sans-serif}"
    "#bar{height:8px;background:@}"
    "#box{max-width:560px;margin:48px auto 24px;padding:0 24px}"
    "h1{margin:0 0 12px;font-size:24px;font-weight:bold;color:@}"
    "p{margin:0 0 16px}"
    "#addr{padding:8px 10px;background:%;color:#123;word-break:break-all;font-size:13px}"
    "#retry{display:inline-block;margin-top:8px;padding:6px 28px;background:@;color:#fff;"
    "text-decoration:none;font-size:15px;border-radius:3px}";

std::string Styled(std::string_view style, const std::string& blue, const std::string& body) {
  std::string out;
  for (const char c : style) {
    if (c == '@') {
      out += blue;
    } else if (c == '%') {
      out += body;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

FailureText DescribeFailure(NavigateFailure failure, int status) {
  switch (failure) {
    case NavigateFailure::kCancelled: return {};
    case NavigateFailure::kHttpStatus:
      return {"网站返回了错误（" + std::to_string(status) + "）", HttpSentence(status)};
    case NavigateFailure::kCannotConnect:
      return {"无法连接到网站", "网站没有接受连接，它可能暂时停止了服务。请稍后重试。"};
    case NavigateFailure::kNameNotResolved:
      return {"找不到网站", "无法查到这个网站的地址，请检查网络连接后重试。"};
    case NavigateFailure::kTimedOut:
      return {"连接超时", "网站长时间没有响应，请检查网络连接后重试。"};
    case NavigateFailure::kConnectionLost:
      return {"连接中断", "与网站的连接在加载时意外中断了，请重试。"};
    case NavigateFailure::kPageStopped:
      return {"网页意外停止了", "这个网页在显示时接连意外停止，已不再自动重新打开。请稍后重试。"};
    case NavigateFailure::kOther: break;
  }
  return {"无法打开网页", "加载这个网页时出现了问题，请稍后重试。"};
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Control characters have no business in an address shown to people.
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    }
  }
  return out;
}

std::string ErrorPageHtml(std::string_view address, NavigateFailure failure, int status) {
  const FailureText text = DescribeFailure(failure, status);
  const std::string shown = HtmlEscape(address);
  const std::string blue = Css(kColumnBlue);
  const std::string body = Css(frame::kBodyColor);
  std::string html;
  html.reserve(2048 + 2 * shown.size());
  html += "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>";
  html += HtmlEscape(text.headline);
  html += "</title><style>";
  html += Styled(kStyle, blue, body);
  html += "</style></head><body><div id=\"bar\"></div><div id=\"box\"><h1>";
  html += HtmlEscape(text.headline);
  html += "</h1><p>";
  html += HtmlEscape(text.sentence);
  html += "</p><p>网址：</p><div id=\"addr\">";
  html += shown;
  html += "</div>";
  // Only a web address is offered again: anything else could be a script.
  if (IsWebAddress(address)) {
    html += "<p><a id=\"retry\" href=\"";
    html += shown;
    html += "\">重试</a></p>";
  }
  html += "</div></body></html>";
  return html;
}

}  // namespace browse
