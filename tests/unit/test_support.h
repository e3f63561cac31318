// Shared set-up for the unit tests: synthetic skins whose every pixel names
// its own picture and position, and a main window built on the fake.
#pragma once

#include <memory>

#include "fake_platform.h"
#include "frame/ba1.h"

namespace testing_support {

// Pixel colour of synthetic picture `tag` at (x, y); never 0.
constexpr forms::Color Encode(int tag, int x, int y) {
  return static_cast<forms::Color>(((tag + 1) << 19) | ((y & 0x7FF) << 8) | (x & 0xFF));
}
struct Decoded {
  int tag, x, y;
  bool operator==(const Decoded&) const = default;
};
constexpr Decoded Decode(forms::Color c) {
  return {static_cast<int>(c >> 19) - 1, static_cast<int>(c & 0xFF),
          static_cast<int>((c >> 8) & 0x7FF)};
}

forms::Picture EncodedPicture(int tag, int width, int height);

// The six skins at their real sizes, each pixel encoding (holder, x, y).
void InstallSyntheticSkins(fake::FakePlatform& platform, int skinSet = 0);
// The pictures stored with the window's design, at their real sizes.
void InstallDesignPictures(fake::FakePlatform& platform);

struct Harness {
  fake::FakePlatform platform;
  std::unique_ptr<frame::BA1> ba1;

  // Builds the window; with `load`, runs the start-up like the entry does.
  explicit Harness(bool load = true, bool skins = true, bool pictures = false);
  fake::FakeWindow& Window() { return platform.WindowOf(*ba1); }
  // The system resizing the window's client area, as on maximize.
  void Resize(int w, int h) { ba1->NativeSized(w, h); }
};

}  // namespace testing_support
