// The names a download is saved under. On the program's side the server's
// suggestion becomes the name offered in the save dialog and shown in the
// download list; on the site's side a title becomes the Content-Disposition
// a browser reads. Neither may carry a separator, a control byte or broken
// UTF-8, whatever came in.
#include <string>
#include <string_view>

#include "forms/downloads.h"
#include "fuzz_support.h"
#include "site/download.h"

namespace {

void CheckProgramName(std::string_view suggested) {
  const std::string name = forms::SafeFileName(suggested);
  FUZZ_CHECK(!name.empty() && name.size() <= 200);
  FUZZ_CHECK(name != "." && name != "..");
  // Hidden or dropped by some systems: a dot in front, a dot or space behind.
  FUZZ_CHECK(name.front() != '.' && name.front() != ' ');
  FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    FUZZ_CHECK(b >= 0x20 && b != 0x7F);
    FUZZ_CHECK(std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos);
  }
  // The toolkits take names as UTF-8 and refuse or mangle anything else.
  FUZZ_CHECK(fuzz::IsValidUtf8(name));
  // A safe name is kept as it is.
  FUZZ_CHECK(forms::SafeFileName(name) == name);
}

void CheckSiteName(int id, std::string_view title) {
  const std::string name = site::SafeFileName(title);
  FUZZ_CHECK(fuzz::IsValidUtf8(name));
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    FUZZ_CHECK(b >= 0x20 && b != 0x7F);
    FUZZ_CHECK(std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos);
  }
  const std::string header = site::ContentDisposition(id, title);
  FUZZ_CHECK(header.starts_with("attachment; filename=\""));
  // One header line of visible ASCII: nothing a client could split on.
  for (const char c : header) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
  const std::size_t star = header.find("; filename*=UTF-8''");
  FUZZ_CHECK(star != std::string::npos);
  const std::string_view encoded = std::string_view(header).substr(star + 19);
  FUZZ_CHECK(encoded.find_first_of(" \";\\") == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const int id = static_cast<int>(input.Number(4) & 0x7FFFFFFF);
  const std::string_view text = input.Rest();
  CheckProgramName(text);
  CheckSiteName(id, text);
  return 0;
}
