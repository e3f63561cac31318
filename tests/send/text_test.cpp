// The sender's pure parts: tokens, the names and headers a phone is given,
// the page, and the choice of local addresses.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "send/page.h"
#include "send/service.h"
#include "send/token.h"

namespace sender {
namespace {

TEST(Token, Is22Base64UrlCharactersFromTheSourceAndDiffersEachTime) {
  std::string error;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::optional<std::string> token = NewToken({}, &error);
    ASSERT_TRUE(token) << error;
    EXPECT_EQ(token->size(), kTokenLength);
    EXPECT_EQ(token->find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos)
        << *token;
    seen.insert(*token);
  }
  EXPECT_EQ(seen.size(), 50u);

  // All 128 bits reach the text: all-ones and all-zeros bytes give the
  // alphabet's last and first characters, the last one holding two bits.
  auto fill = [](std::uint8_t value) {
    return [value](std::span<std::uint8_t> out) {
      std::ranges::fill(out, value);
      return true;
    };
  };
  EXPECT_EQ(NewToken(fill(0xFF), &error), std::string(21, '_') + "w");
  EXPECT_EQ(NewToken(fill(0x00), &error), std::string(22, 'A'));

  EXPECT_FALSE(NewToken([](std::span<std::uint8_t>) { return false; }, &error));
  EXPECT_NE(error.find("随机"), std::string::npos) << error;
}

TEST(Token, ComparesWholeStrings) {
  EXPECT_TRUE(TokensEqual("abcDEF-_", "abcDEF-_"));
  EXPECT_TRUE(TokensEqual("", ""));
  EXPECT_FALSE(TokensEqual("abcDEF-_", "abcDEF-a"));  // last byte
  EXPECT_FALSE(TokensEqual("xbcDEF-_", "abcDEF-_"));  // first byte
  EXPECT_FALSE(TokensEqual("abc", "abcd"));           // a prefix is not enough
  EXPECT_FALSE(TokensEqual("abcd", "abc"));
  EXPECT_FALSE(TokensEqual("", "a"));
}

TEST(FileName, KeepsTheChineseNameAndTheFilesExtensionAndNeverLeavesASegment) {
  EXPECT_EQ(FileNameFor("/home/u/下载/a.mp4", "流浪地球"), "流浪地球.mp4");
  EXPECT_EQ(FileNameFor("/x/a.MKV", "流浪地球.mkv"), "流浪地球.mkv");
  EXPECT_EQ(FileNameFor("/x/无间道.rmvb", ""), "无间道.rmvb");
  EXPECT_EQ(FileNameFor("/x/a.mp4", "../../etc/passwd"), "_.._etc_passwd.mp4");
  EXPECT_EQ(FileNameFor("/x/a.mp4", "a\"b\r\nSet-Cookie: x"), "a_b__Set-Cookie_ x.mp4");
  EXPECT_EQ(FileNameFor("/x/a.mp4", ".."), "video.mp4");
  EXPECT_EQ(FileNameFor("/x/noext", ".."), "video");
  EXPECT_EQ(FileNameFor("/x/a.mp4", std::string("\xff\xfe", 2)), "\xEF\xBF\xBD\xEF\xBF\xBD.mp4");
}

TEST(FileName, GivesTheTypeByExtension) {
  EXPECT_EQ(ContentTypeFor("a.mp4"), "video/mp4");
  EXPECT_EQ(ContentTypeFor("a.3GP"), "video/3gpp");
  EXPECT_EQ(ContentTypeFor("a.mkv"), "video/x-matroska");
  EXPECT_EQ(ContentTypeFor("a.avi"), "video/x-msvideo");
  EXPECT_EQ(ContentTypeFor("a.rmvb"), "application/vnd.rn-realmedia-vbr");
  EXPECT_EQ(ContentTypeFor("a.webm"), "video/webm");
  EXPECT_EQ(ContentTypeFor("a.mp4.exe"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor("mp4"), "application/octet-stream");
}

TEST(ContentDispositionHeader, CarriesTheUtf8NameAndAPlainAsciiFallback) {
  EXPECT_EQ(ContentDisposition("流浪地球 2.mp4"),
            "attachment; filename=\"2.mp4\"; "
            "filename*=UTF-8''%E6%B5%81%E6%B5%AA%E5%9C%B0%E7%90%83%202.mp4");
  EXPECT_EQ(ContentDisposition("无间道.mkv"),
            "attachment; filename=\"video.mkv\"; filename*=UTF-8''%E6%97%A0%E9%97%B4%E9%81%93.mkv");
  // Whatever a name holds, the fallback can't end its quotes or the header.
  std::string header = ContentDisposition("a\"b\\c;d%22\r\n=x'.mp4");
  std::string fallback = header.substr(0, header.find("; filename*="));
  EXPECT_EQ(fallback, "attachment; filename=\"a_b_c_d_22_x.mp4\"");
  EXPECT_EQ(header.find_first_of("\r\n"), std::string::npos);
  EXPECT_NE(header.find("filename*=UTF-8''a%22b%5Cc%3Bd%2522%0D%0A%3Dx%27.mp4"), std::string::npos);
}

TEST(Page, ShowsTheEscapedNameTheSizeAndTheLink) {
  EXPECT_EQ(HumanSize(0), "0 B");
  EXPECT_EQ(HumanSize(1023), "1023 B");
  EXPECT_EQ(HumanSize(1024), "1.0 KB");
  EXPECT_EQ(HumanSize(367'420'211), "350.4 MB");
  EXPECT_EQ(HumanSize(1'288'490'189), "1.2 GB");
  EXPECT_EQ(HumanSize(1024 * 1024 - 1), "1.0 MB");

  std::string page = RenderPage("<b>&\"片\".mp4", 1536, "/tok/f/%3Cb%3E.mp4");
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_NE(page.find("name=\"viewport\""), std::string::npos);
  EXPECT_NE(page.find("<h1>&lt;b&gt;&amp;&quot;片&quot;.mp4</h1>"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("1.5 KB"), std::string::npos);
  EXPECT_NE(page.find("href=\"/tok/f/%3Cb%3E.mp4\""), std::string::npos);
}

// /proc/net/route as the kernel writes it: tab-separated, addresses in hex.
constexpr char kRoutes[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "wlan0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
    "docker0\t00000000\t010011AC\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";

TEST(LocalAddressList, PutsTheDefaultRouteFirstAndLeavesOutWhatPhonesCantReach) {
  std::vector<InterfaceAddress> found{
      {"lo", "127.0.0.1", true, true},        {"eth0", "192.168.1.5", true, false},
      {"docker0", "172.17.0.1", true, false}, {"wlan0", "10.0.0.7", true, false},
      {"eth1", "192.168.9.9", false, false},  {"wlan0", "10.0.0.7", true, false},
  };
  // wlan0's default route has the lower metric; docker0's is not up.
  std::vector<LocalAddress> ordered = OrderLocalAddresses(kRoutes, found);
  ASSERT_EQ(ordered.size(), 3u);
  EXPECT_EQ(ordered[0].address, "10.0.0.7");
  EXPECT_EQ(ordered[0].interface, "wlan0");
  EXPECT_EQ(ordered[1].address, "192.168.1.5");
  EXPECT_EQ(ordered[2].address, "172.17.0.1");

  // No default route, or a table that makes no sense: the order found.
  ordered = OrderLocalAddresses("garbage\nx y\n\n", found);
  ASSERT_EQ(ordered.size(), 3u);
  EXPECT_EQ(ordered[0].address, "192.168.1.5");

  EXPECT_TRUE(OrderLocalAddresses(kRoutes, {{"lo", "127.0.0.1", true, true}}).empty());
  // The real machine: whatever it has, never a loopback address.
  for (const LocalAddress& local : LocalAddresses()) {
    EXPECT_FALSE(local.address.starts_with("127.")) << local.address;
  }
}

}  // namespace
}  // namespace sender
