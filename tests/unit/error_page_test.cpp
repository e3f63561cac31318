// Our page for failed navigations: raised by the browser, built in Chinese
// with the address escaped and a retry link to that very address, shown
// in the browser; cancelled loads show nothing.
#include "browse/error_page.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>

#include "test_support.h"

namespace {

using forms::NavigateFailure;
using testing_support::Harness;

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What a browser reads back from an attribute value written by HtmlEscape.
std::string Unescape(std::string text) {
  const std::pair<std::string, std::string> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, ch] : entities) {
      if (text.compare(i, entity.size(), entity) == 0) {
        out += ch;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The retry link's target, as the browser would follow it; empty without one.
std::string RetryTarget(const std::string& html) {
  const std::string start = "<a id=\"retry\" href=\"";
  const auto at = html.find(start);
  if (at == std::string::npos) return "";
  const auto end = html.find('"', at + start.size());
  return Unescape(html.substr(at + start.size(), end - at - start.size()));
}

TEST(ErrorPage, AFailedNavigationShowsOurPageForThatAddress) {
  Harness h;
  const std::string address = "http://127.0.0.1:8080/tv/";
  h.platform.NavigateError(*h.ba1, address, NavigateFailure::kCannotConnect);
  auto& pages = h.Window().errorPages;
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].first, address);
  const std::string& html = pages[0].second;
  EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(html.find("<title>无法连接到网站</title>"), std::string::npos);
  EXPECT_NE(html.find("<h1>无法连接到网站</h1>"), std::string::npos);
  EXPECT_NE(html.find(">重试</a>"), std::string::npos);
  EXPECT_NE(html.find(">" + address + "</div>"), std::string::npos);
  EXPECT_EQ(RetryTarget(html), address);
  // In the frame's colours, with no script at all.
  EXPECT_NE(html.find("#0099da"), std::string::npos);
  EXPECT_NE(html.find("#76cfe9"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  // Nothing was navigated: the page stands in the failed address's place.
  EXPECT_EQ(h.Window().navigations.size(), 1u);  // the home page at start
}

TEST(ErrorPage, AnErrorStatusIsNamedWithItsNumber) {
  Harness h;
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/mtv/", NavigateFailure::kHttpStatus, 404);
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/arts/", NavigateFailure::kHttpStatus,
                           503);
  // The first error status and the first server error.
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/a/", NavigateFailure::kHttpStatus, 400);
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/b/", NavigateFailure::kHttpStatus, 500);
  auto& pages = h.Window().errorPages;
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_NE(pages[2].second.find("<p>网站无法提供这个页面。</p>"), std::string::npos);
  EXPECT_NE(pages[3].second.find("网站内部出了问题"), std::string::npos);
  EXPECT_EQ(h.platform.Events({"error-page"}),
            (std::vector<std::string>{
                "error-page http://127.0.0.1:8080/mtv/", "error-page http://127.0.0.1:8080/arts/",
                "error-page http://127.0.0.1:8080/a/", "error-page http://127.0.0.1:8080/b/"}));
  EXPECT_NE(pages[0].second.find("<h1>网站返回了错误（404）</h1>"), std::string::npos);
  EXPECT_NE(pages[0].second.find("找不到这个页面"), std::string::npos);
  EXPECT_NE(pages[1].second.find("<h1>网站返回了错误（503）</h1>"), std::string::npos);
  EXPECT_NE(pages[1].second.find("稍后再试"), std::string::npos);
  // Gone reads as not found, unauthorised as refused.
  const auto sentence = [](int status) {
    return browse::DescribeFailure(NavigateFailure::kHttpStatus, status).sentence;
  };
  EXPECT_EQ(sentence(410), sentence(404));
  EXPECT_EQ(sentence(401), sentence(403));
  EXPECT_NE(sentence(401), sentence(400));
}

TEST(ErrorPage, CancelledLoadsAndSuccessfulStatusesShowNothing) {
  Harness h;
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/tv/", NavigateFailure::kCancelled);
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/tv/", NavigateFailure::kHttpStatus, 200);
  h.platform.NavigateError(*h.ba1, "http://127.0.0.1:8080/tv/", NavigateFailure::kHttpStatus, 399);
  EXPECT_TRUE(h.Window().errorPages.empty());
  EXPECT_TRUE(browse::DescribeFailure(NavigateFailure::kCancelled, 0).headline.empty());
}

TEST(ErrorPage, EveryFailureHasItsOwnHeadlineAndSentence) {
  const NavigateFailure failures[] = {
      NavigateFailure::kHttpStatus,      NavigateFailure::kCannotConnect,
      NavigateFailure::kNameNotResolved, NavigateFailure::kTimedOut,
      NavigateFailure::kConnectionLost,  NavigateFailure::kPageStopped,
      NavigateFailure::kOther};
  std::set<std::string> headlines;
  for (NavigateFailure failure : failures) {
    const auto text = browse::DescribeFailure(failure, 500);
    EXPECT_FALSE(text.headline.empty());
    EXPECT_FALSE(text.sentence.empty());
    headlines.insert(text.headline);
  }
  EXPECT_EQ(headlines.size(), std::size(failures));
}

TEST(ErrorPage, AHostileAddressCannotInjectMarkup) {
  Harness h;
  const std::string address =
      "http://127.0.0.1:8080/x\"><script>alert(1)</script><img src=x onerror='a()'>&amp;\x01";
  h.platform.NavigateError(*h.ba1, address, NavigateFailure::kOther);
  ASSERT_EQ(h.Window().errorPages.size(), 1u);
  const std::string& html = h.Window().errorPages[0].second;
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("'a()'"), std::string::npos);
  EXPECT_EQ(html.find('\x01'), std::string::npos);
  EXPECT_NE(html.find("x&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("&amp;amp;"), std::string::npos);
  // One link, one quoted attribute value each: nothing broke out of them.
  EXPECT_EQ(Occurrences(html, "<a "), 1);
  EXPECT_EQ(Occurrences(html, "<div"), 3);
  // The retry still asks for the address as it came, less the control byte.
  EXPECT_EQ(RetryTarget(html), address.substr(0, address.size() - 1));
}

TEST(ErrorPage, OnlyAWebAddressIsOfferedAgain) {
  for (const std::string address :
       {"javascript:alert(1)", "data:text/html,<b>x</b>", "file:///etc/passwd", "", "http:"}) {
    const std::string html = browse::ErrorPageHtml(address, NavigateFailure::kOther, 0);
    EXPECT_EQ(RetryTarget(html), "") << address;
    EXPECT_EQ(html.find("<b>"), std::string::npos) << address;
  }
  for (const std::string address : {"HTTP://Site/", "https://site/a?b=1&c=2"}) {
    EXPECT_EQ(RetryTarget(browse::ErrorPageHtml(address, NavigateFailure::kOther, 0)), address);
  }
}

}  // namespace
