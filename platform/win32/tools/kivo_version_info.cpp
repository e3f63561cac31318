// Test tool for the Wine end-to-end runs, never shipped: prints a file's
// version resource the way Windows itself reads it (GetFileVersionInfoW and
// VerQueryValueW), so a test can compare it with what the build put in.
//
//   kivo_version_info FILE
//
// Output, UTF-8, one line each:
//   translation LLLL CCCC      the first language and code page pair
//   fixed A.B.C.D A.B.C.D      the binary file and product versions
//   NAME VALUE                 each string of that pair's StringFileInfo
// Exit status 1 when the file has no version resource or no translation.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(size - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::string Quad(DWORD high, DWORD low) {
  char text[64];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(high)),
                static_cast<unsigned long>(LOWORD(high)), static_cast<unsigned long>(HIWORD(low)),
                static_cast<unsigned long>(LOWORD(low)));
  return text;
}

// The names Explorer shows on the details page; a missing one prints nothing,
// so the test sees it missing.
constexpr const wchar_t* kNames[] = {L"CompanyName",  L"FileDescription", L"FileVersion",
                                     L"InternalName", L"LegalCopyright",  L"OriginalFilename",
                                     L"ProductName",  L"ProductVersion"};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    Print("usage: kivo_version_info FILE");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  if (size == 0) {
    Print("error: no version resource");
    return 1;
  }
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, data.data())) {
    Print("error: GetFileVersionInfoW failed");
    return 1;
  }
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation)) {
    Print("error: no translation");
    return 1;
  }
  char pair[16];
  std::snprintf(pair, sizeof pair, "%04x%04x", translations[0].language, translations[0].codePage);
  Print(std::string("translation ") + std::string(pair, 4) + " " + std::string(pair + 4, 4));

  VS_FIXEDFILEINFO* fixed = nullptr;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
      length >= sizeof(VS_FIXEDFILEINFO) && fixed->dwSignature == 0xFEEF04BD) {
    Print("fixed " + Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + " " +
          Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  wchar_t block[64];
  for (const wchar_t* name : kNames) {
    std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
                  translations[0].codePage, name);
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&value), &length) &&
        length > 0) {
      Print(Utf8(name) + " " + Utf8(value));
    }
  }
  return 0;
}
