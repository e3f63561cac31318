// Our page for a top-level navigation that failed, in the program's
// language and colours: what happened, the address, and a button that
// loads the address again. Plain HTML without script.
#pragma once

#include <string>
#include <string_view>

#include "forms/control.h"

namespace browse {

struct FailureText {
  std::string headline;  // a few words, also the page's title
  std::string sentence;  // what it means for the user
};

// Empty texts for kCancelled: a cancelled load is no failure.
FailureText DescribeFailure(forms::NavigateFailure failure, int status);

// `text` safe inside HTML text and quoted attribute values.
std::string HtmlEscape(std::string_view text);

std::string ErrorPageHtml(std::string_view address, forms::NavigateFailure failure, int status);

}  // namespace browse
