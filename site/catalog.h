// The demo site's content: twelve sections and the invented films they list.
// Everything is compiled in so the site needs no files beside the binary.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace site {

struct Film {
  int id;
  std::string_view title;
  int year;
  std::string_view size;  // as the film page shows it, episodes included
  std::string_view summary;
  int sectionIndex;  // the section the film is filed under, into Sections()
};

struct Section {
  // The first address is the one the nav links to; the rest are the other
  // spellings that show the same page (a directory without its slash, and for
  // the home page the bare root).
  std::vector<std::string_view> paths;
  std::string_view title;
  std::string_view blurb;
  std::vector<int> filmIds;
  bool ranked;  // listed with rank badges
};

// In nav order; the first is the home page.
std::span<const Section> Sections();
std::span<const Film> Films();

// The section whose paths include `normalizedPath`, or nullptr.
const Section* FindSection(std::string_view normalizedPath);
const Film* FindFilm(int id);

}  // namespace site
