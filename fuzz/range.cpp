// The Range header a download client sends, against files of any size:
// a part answered always lies inside the file and is never empty, a suffix
// range ends at the file's end, and anything but one "bytes" range is
// ignored rather than guessed at.
#include <optional>
#include <string_view>

#include "fuzz_support.h"
#include "site/download.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t shape = input.Byte();
  // Small files, empty ones and the very largest all matter.
  std::uint64_t fileSize = input.Number(8);
  if (shape & 1) fileSize &= 0xFFFF;
  const std::string_view header = input.Rest();
  const auto given = (shape & 2) ? std::nullopt : std::optional<std::string_view>(header);

  const site::RangeChoice choice = site::ChooseRange(given, fileSize);
  if (!given) FUZZ_CHECK(choice.kind == site::RangeChoice::kWhole);
  if (choice.kind == site::RangeChoice::kPart) {
    FUZZ_CHECK(choice.length > 0);
    FUZZ_CHECK(choice.first < fileSize);
    FUZZ_CHECK(choice.length <= fileSize - choice.first);
    const std::size_t equals = header.find('=');
    FUZZ_CHECK(equals != std::string_view::npos);
    if (header.find_first_not_of(" \t", equals + 1) == header.find('-', equals + 1)) {
      FUZZ_CHECK(choice.first + choice.length == fileSize);
    }
  }
  if (given &&
      (header.find(',') != std::string_view::npos || header.find('=') == std::string_view::npos)) {
    FUZZ_CHECK(choice.kind == site::RangeChoice::kWhole);
  }
  return 0;
}
