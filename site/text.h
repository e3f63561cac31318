// Text handling the pages share: escaping for HTML, decoding what a browser
// put into a query, and turning arbitrary request bytes into text that is
// safe to show.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace site {

// Escapes & < > " ' so the result is safe both as element text and inside a
// quoted attribute value.
std::string HtmlEscape(std::string_view text);

// Percent-decoding as browsers encode addresses and forms. A '%' that is not
// followed by two hex digits is kept literally: a broken escape is shown to
// the visitor, never dropped or guessed at. With plusAsSpace, '+' becomes a
// space (form fields); paths keep their '+'.
std::string PercentDecode(std::string_view text, bool plusAsSpace);
// Every byte for which `keep` is false as %XX (upper-case hex).
std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char));

// Valid UTF-8: each maximal ill-formed subsequence becomes one U+FFFD, the
// way browsers decode, so a stray byte never swallows the character after it.
std::string SanitizeUtf8(std::string_view bytes);

// SanitizeUtf8, then C0 controls other than tab, LF and CR, and DEL, also
// become U+FFFD: a decoded %00 must not reach the page as a NUL.
std::string DisplayText(std::string_view bytes);

// Substring test that folds ASCII letters only; Chinese titles compare as
// bytes, which is exact for UTF-8.
bool ContainsIgnoringAsciiCase(std::string_view haystack, std::string_view needle);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The plain decimal id (no sign, no leading zero, at most nine digits) a
// path holds between `prefix` and `suffix`, so each thing has exactly one
// address; none for any other path.
std::optional<int> IdBetween(std::string_view path, std::string_view prefix,
                             std::string_view suffix);

}  // namespace site
