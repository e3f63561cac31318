// HTML for every page of the site. Each page shares one layout: the site
// heading with a search box, the nav with all twelve sections, the content.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/catalog.h"

namespace site {

inline constexpr std::string_view kSiteName = "Kivo手机电影";

std::string RenderSectionPage(const Section& section);
std::string RenderFilmPage(const Film& film);

// `keyword` is what the visitor searched for as decoded bytes; none when the
// query had no keyboard field at all. It may be any bytes: the page shows it
// through DisplayText and HtmlEscape.
std::string RenderSearchPage(const std::optional<std::string>& keyword);

// `submitted`: the visitor just sent the form; the demo only thanks them.
std::string RenderGuestbookPage(bool submitted);

// A page for any error status, in the same layout as the rest of the site.
// `message` is HTML we wrote ourselves, never request text.
std::string RenderErrorPage(int status, std::string_view message);

}  // namespace site
