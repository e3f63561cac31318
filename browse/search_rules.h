// When the search box counts as empty and when it holds a prompt.
#pragma once

#include <string_view>

namespace browse {

inline constexpr std::string_view kPromptMarker = "请输入";

// Empty once leading and trailing U+0020 are removed; tabs and other white
// space count as content.
constexpr bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

constexpr bool IsPrompt(std::string_view text) {
  return text.find(kPromptMarker) != std::string_view::npos;
}

}  // namespace browse
