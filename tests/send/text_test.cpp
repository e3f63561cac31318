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

RandomSource Filled(std::uint8_t value) {
  return [value](std::span<std::uint8_t> out) {
    std::ranges::fill(out, value);
    return true;
  };
}

TEST(Token, Holds128RandomBitsIn22UrlSafeCharacters) {
  std::string error;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) seen.insert(NewToken({}, &error).value_or(""));
  EXPECT_EQ(seen.size(), 50u);
  for (const std::string& token : seen) {
    EXPECT_EQ(token.size(), kTokenLength);
    EXPECT_EQ(
        token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
        std::string::npos)
        << token;
  }
  // Every bit reaches the text: the last character carries the last two.
  EXPECT_EQ(NewToken(Filled(0xFF), &error), std::string(21, '_') + "w");
  EXPECT_EQ(NewToken(Filled(0x00), &error), std::string(22, 'A'));
  EXPECT_FALSE(NewToken([](std::span<std::uint8_t>) { return false; }, &error));
  EXPECT_NE(error.find("随机"), std::string::npos) << error;
}

TEST(Token, ComparesWholeStrings) {
  EXPECT_TRUE(TokensEqual("abcDEF-_", "abcDEF-_"));
  EXPECT_TRUE(TokensEqual("", ""));
  for (auto [a, b] : {std::pair{"abcDEF-_", "abcDEF-a"},
                      {"xbcDEF-_", "abcDEF-_"},
                      {"abc", "abcd"},
                      {"abcd", "abc"},
                      {"", "a"}}) {
    EXPECT_FALSE(TokensEqual(a, b)) << a << " " << b;
  }
}

TEST(FileName, KeepsTheNameAndExtensionSafelyAndGivesTheType) {
  EXPECT_EQ(FileNameFor("/home/u/下载/a.mp4", "流浪地球"), "流浪地球.mp4");
  EXPECT_EQ(FileNameFor("/x/a.MKV", "流浪地球.mkv"), "流浪地球.mkv");
  EXPECT_EQ(FileNameFor("/x/无间道.rmvb", ""), "无间道.rmvb");
  EXPECT_EQ(FileNameFor("/x/a.mp4", "../../etc/passwd"), "_.._etc_passwd.mp4");
  EXPECT_EQ(FileNameFor("/x/a.mp4", "a\"b\r\nSet-Cookie: x"), "a_b__Set-Cookie_ x.mp4");
  EXPECT_EQ(FileNameFor("/x/a.mp4", ".."), "video.mp4");  // never a "." or ".." segment
  EXPECT_EQ(FileNameFor("/x/noext", ".."), "video");
  EXPECT_EQ(FileNameFor("/x/a.mp4", "\xff\xfe"), "\uFFFD\uFFFD.mp4");

  for (auto [name, type] : {std::pair{"a.mp4", "video/mp4"},
                            {"a.3GP", "video/3gpp"},
                            {"a.mkv", "video/x-matroska"},
                            {"a.avi", "video/x-msvideo"},
                            {"a.rmvb", "application/vnd.rn-realmedia-vbr"},
                            {"a.webm", "video/webm"},
                            {"a.mp4.exe", "application/octet-stream"},
                            {"mp4", "application/octet-stream"}}) {
    EXPECT_EQ(ContentTypeFor(name), type);
  }
}

TEST(FileName, TravelsInContentDispositionWithAPlainAsciiFallback) {
  EXPECT_EQ(ContentDisposition("流浪地球 2.mp4"),
            "attachment; filename=\"2.mp4\"; "
            "filename*=UTF-8''%E6%B5%81%E6%B5%AA%E5%9C%B0%E7%90%83%202.mp4");
  EXPECT_EQ(ContentDisposition("无间道.mkv"),
            "attachment; filename=\"video.mkv\"; filename*=UTF-8''%E6%97%A0%E9%97%B4%E9%81%93.mkv");
  // Whatever a name holds, the fallback can't end its quotes or the header.
  EXPECT_EQ(ContentDisposition("a\"b\\c;d%22\r\n=x'.mp4"),
            "attachment; filename=\"a_b_c_d_22_x.mp4\"; "
            "filename*=UTF-8''a%22b%5Cc%3Bd%2522%0D%0A%3Dx%27.mp4");
}

TEST(Page, ShowsTheEscapedNameTheSizeAndTheLink) {
  EXPECT_EQ(HumanSize(1023), "1023 B");
  EXPECT_EQ(HumanSize(1024), "1.0 KB");
  EXPECT_EQ(HumanSize(1024 * 1024 - 1), "1.0 MB");
  EXPECT_EQ(HumanSize(367'420'211), "350.4 MB");
  EXPECT_EQ(HumanSize(1'288'490'189), "1.2 GB");

  std::string page = RenderPage("<b>&\"片\".mp4", 1536, "/tok/f/%3Cb%3E.mp4");
  for (const char* part :
       {"<meta charset=\"utf-8\">", "name=\"viewport\"", "1.5 KB",
        "<h1>&lt;b&gt;&amp;&quot;片&quot;.mp4</h1>", "href=\"/tok/f/%3Cb%3E.mp4\""}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(page.find("<b>"), std::string::npos);
}

TEST(LocalAddressList, PutsTheDefaultRouteFirstAndLeavesOutWhatPhonesCantReach) {
  // /proc/net/route as the kernel writes it. wlan0's default route has the
  // lower metric; docker0's is not up (flags without RTF_UP).
  const std::string routes =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "wlan0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
      "docker0\t00000000\t010011AC\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";
  std::vector<InterfaceAddress> found{
      {"lo", "127.0.0.1", true, true},        {"eth0", "192.168.1.5", true, false},
      {"docker0", "172.17.0.1", true, false}, {"wlan0", "10.0.0.7", true, false},
      {"eth1", "192.168.9.9", false, false},  {"wlan0", "10.0.0.7", true, false},
  };
  auto addresses = [](const std::vector<LocalAddress>& list) {
    std::string text;
    for (const LocalAddress& local : list) text += local.interface + "=" + local.address + " ";
    return text;
  };
  EXPECT_EQ(addresses(OrderLocalAddresses(routes, found)),
            "wlan0=10.0.0.7 eth0=192.168.1.5 docker0=172.17.0.1 ");
  // No default route, or a table that makes no sense: the order found.
  EXPECT_EQ(addresses(OrderLocalAddresses("garbage\nx y\n\n", found)),
            "eth0=192.168.1.5 docker0=172.17.0.1 wlan0=10.0.0.7 ");
  EXPECT_TRUE(OrderLocalAddresses(routes, {found[0]}).empty());
  for (const LocalAddress& local : LocalAddresses())
    EXPECT_FALSE(local.address.starts_with("127."));
}

}  // namespace
}  // namespace sender
