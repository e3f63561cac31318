#include "site/text.h"

#include <gtest/gtest.h>

#include <string>

namespace site {
namespace {

using namespace std::string_literals;

const std::string kFffd = "\xEF\xBF\xBD";

struct Case {
  std::string input;
  std::string expected;
};

TEST(HtmlEscapeTest, EscapesTheFiveSpecialCharactersOnly) {
  const Case kCases[] = {
      {"&<>\"'", "&amp;&lt;&gt;&quot;&#39;"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"&amp;", "&amp;amp;"},  // already-escaped text is escaped again
      {"热门影片 a+b=c %41", "热门影片 a+b=c %41"},
      {"", ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(HtmlEscape(c.input), c.expected) << c.input;
  }
}

TEST(PercentDecodeTest, DecodesValidEscapesAndKeepsBrokenOnes) {
  struct DecodeCase {
    std::string input;
    bool plusAsSpace;
    std::string expected;
  };
  const DecodeCase kCases[] = {
      {"a%26b%20%231", true, "a&b #1"},
      {"%E5%A4%9C", true, "夜"},
      {"%e5%a4%9c", true, "夜"},  // lower-case hex
      {"a+b", true, "a b"},
      {"a+b", false, "a+b"},  // paths keep '+'
      {"%2B", true, "+"},
      {"%00", true, "\0"s},
      {"%ZZ", true, "%ZZ"},
      {"%", true, "%"},
      {"%4", true, "%4"},
      {"100%", true, "100%"},
      {"%%41", true, "%A"},
      {"%G1%41", true, "%G1A"},
      {"%4%41", true, "%4A"},
  };
  for (const DecodeCase& c : kCases) {
    EXPECT_EQ(PercentDecode(c.input, c.plusAsSpace), c.expected)
        << c.input << " plusAsSpace=" << c.plusAsSpace;
  }
}

TEST(SanitizeUtf8Test, ReplacesEachMaximalInvalidSubpartWithOneFffd) {
  const Case kCases[] = {
      {"plain ascii", "plain ascii"},
      {"影片", "影片"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // 4-byte sequence
      {"\xFF", kFffd},
      {"\x80", kFffd},         // stray continuation
      {"a\xC3", "a" + kFffd},  // truncated at the end
      {"\xE5\xBD", kFffd},     // one subpart, one U+FFFD
      {"\xE5\xBD"
       "a",
       kFffd + "a"},  // next char survives
      {"\xE5\xBD\xE5\xBD\xB1", kFffd + "影"},
      {"\xC0\xAF", kFffd + kFffd},                          // overlong '/'
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},              // overlong 3-byte
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // surrogate U+D800
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // > U+10FFFF
      {"\xF5\x80", kFffd + kFffd},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(SanitizeUtf8(c.input), c.expected) << testing::PrintToString(c.input);
  }
}

TEST(DisplayTextTest, ReplacesControlsButKeepsWhitespace) {
  const Case kCases[] = {
      {"\0"s, kFffd},  {"a\tb\nc\rd", "a\tb\nc\rd"}, {"\x1B[31m", kFffd + "[31m"},
      {"\x7F", kFffd}, {"\xFF\x01", kFffd + kFffd},  {"夜", "夜"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(DisplayText(c.input), c.expected) << testing::PrintToString(c.input);
  }
}

TEST(ContainsIgnoringAsciiCaseTest, FoldsAsciiOnly) {
  struct ContainsCase {
    std::string haystack;
    std::string needle;
    bool expected;
  };
  const ContainsCase kCases[] = {
      {"手机MTV", "mtv", true},
      {"手机mtv", "MTV", true},
      {"蓝湖夏夜", "夏夜", true},
      {"蓝湖夏夜", "夜夏", false},
      {"abc", "abcd", false},
      {"abc", "", true},
      // Folding must not touch the bytes of multi-byte characters: "夜" and
      // "妖" share their lead byte.
      {"夜", "妖", false},
  };
  for (const ContainsCase& c : kCases) {
    EXPECT_EQ(ContainsIgnoringAsciiCase(c.haystack, c.needle), c.expected)
        << c.haystack << " / " << c.needle;
  }
}

}  // namespace
}  // namespace site
