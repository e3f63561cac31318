#include "test_support.h"

#include "app/main_mod.h"

namespace testing_support {

forms::Picture EncodedPicture(int tag, int width, int height) {
  forms::Picture p;
  p.width = width;
  p.height = height;
  p.pixels.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.pixels[static_cast<std::size_t>(y) * width + x] = Encode(tag, x, y);
  }
  return p;
}

void InstallSyntheticSkins(fake::FakePlatform& platform, int skinSet) {
  static constexpr int kSizes[6][2] = {{15, 100}, {64, 38}, {130, 468},
                                       {130, 468}, {130, 468}, {216, 28}};
  for (int i = 0; i < 6; ++i) {
    platform.bitmaps[skinSet * 100 + 101 + i] = EncodedPicture(i, kSizes[i][0], kSizes[i][1]);
  }
}

void InstallDesignPictures(fake::FakePlatform& platform) {
  platform.designPictures["logo"] = EncodedPicture(6, 180, 81);
  platform.designPictures["so"] = EncodedPicture(7, 303, 28);
  forms::Picture hand = EncodedPicture(8, 32, 32);
  hand.hotspotX = 6;
  platform.designPictures["hand"] = hand;
}

Harness::Harness(bool load, bool skins, bool pictures) {
  if (skins) InstallSyntheticSkins(platform);
  if (pictures) InstallDesignPictures(platform);
  if (load) {
    ba1 = Main_Mod::Main(platform);
  } else {
    ba1 = std::make_unique<frame::BA1>(platform);
    ba1->CreateNative();
  }
}

}  // namespace testing_support
