// Resource decoding for the Win32 backend: bitmaps through GDI, GIFs through
// WIC, the cursor through its mask bitmap. Not yet: colour cursors and
// icons. Reads resources only; must not touch any window.
#include "platform/win32/picture_loader.h"

#include <vector>

namespace win32 {
namespace {

// Any bitmap as 32-bit top-down pixels; GetDIBits expands palettes for us.
std::optional<forms::Picture> PictureOfBitmap(HBITMAP bitmap) {
  BITMAP header{};
  if (!GetObjectW(bitmap, sizeof(header), &header) || header.bmWidth <= 0 || header.bmHeight <= 0) {
    return std::nullopt;
  }
  forms::Picture picture;
  picture.width = header.bmWidth;
  picture.height = header.bmHeight;
  picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
  BITMAPINFO info{TopDownHeader(picture.width, picture.height, 32), {}};
  ScreenDc screen(nullptr);
  if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(picture.height), picture.pixels.data(),
                &info, DIB_RGB_COLORS) != picture.height) {
    return std::nullopt;
  }
  // The fourth byte of a BI_RGB pixel means nothing; ours must be zero.
  for (auto& pixel : picture.pixels) pixel &= 0x00FFFFFF;
  return picture;
}

std::vector<BYTE> ResourceBytes(HINSTANCE instance, int id, LPCWSTR type) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(instance, found);
  const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  const DWORD size = SizeofResource(instance, found);
  if (!data || size == 0) return {};
  return std::vector<BYTE>(data, data + size);
}

// Mask bits of a monochrome bitmap, one byte per pixel (0 or 1), top-down.
std::vector<BYTE> MonochromeBits(HBITMAP bitmap, int width, int height) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{TopDownHeader(width, height, 1), {}};
  const std::size_t stride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
  std::vector<BYTE> packed(stride * height);
  ScreenDc screen(nullptr);
  if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(height), packed.data(),
                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != height) {
    return {};
  }
  // The colour table GetDIBits fills in says which bit value is white.
  const bool oneIsWhite = info.colors[1].rgbRed != 0;
  std::vector<BYTE> bits(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool set = (packed[y * stride + x / 8] >> (7 - x % 8)) & 1;
      bits[static_cast<std::size_t>(y) * width + x] = set == oneIsWhite ? 1 : 0;
    }
  }
  return bits;
}

}  // namespace

std::optional<forms::Picture> LoadBitmapPicture(HINSTANCE instance, int id) {
  // A DIB section keeps the resource's own colours whatever the display depth.
  Bitmap bitmap(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) return std::nullopt;
  return PictureOfBitmap(bitmap.Get());
}

std::optional<forms::Picture> LoadGifPicture(HINSTANCE instance, int id) {
  std::vector<BYTE> gif = ResourceBytes(instance, id, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (gif.empty()) return std::nullopt;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.PutVoid())) ||
      FAILED(factory->CreateStream(stream.Put())) ||
      FAILED(stream->InitializeFromMemory(gif.data(), static_cast<DWORD>(gif.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.Put())) ||
      FAILED(decoder->GetFrame(0, frame.Put())) ||
      FAILED(factory->CreateFormatConverter(converter.Put())) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return std::nullopt;
  }
  UINT width = 0;
  UINT height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > 16384 ||
      height > 16384) {
    return std::nullopt;
  }
  forms::Picture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.pixels.resize(static_cast<std::size_t>(width) * height);
  if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                   reinterpret_cast<BYTE*>(picture.pixels.data())))) {
    return std::nullopt;
  }
  // BGRA in memory is 0xAARRGGBB as a pixel: split the alpha off.
  picture.alpha.resize(picture.pixels.size());
  bool opaque = true;
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    picture.alpha[i] = static_cast<std::uint8_t>(picture.pixels[i] >> 24);
    picture.pixels[i] &= 0x00FFFFFF;
    opaque = opaque && picture.alpha[i] == 0xFF;
  }
  if (opaque) picture.alpha.clear();
  return picture;
}

std::optional<forms::Picture> LoadCursorPicture(HINSTANCE instance, int id) {
  // Size 0 without LR_DEFAULTSIZE: the resource's own size, not the system's.
  HCURSOR cursor = static_cast<HCURSOR>(
      LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_CURSOR, 0, 0, LR_DEFAULTCOLOR));
  if (!cursor) return std::nullopt;
  IconHandle owned(cursor);
  ICONINFO info{};
  if (!GetIconInfo(cursor, &info)) return std::nullopt;
  Bitmap mask(info.hbmMask);
  Bitmap color(info.hbmColor);
  BITMAP header{};
  if (!mask || color || !GetObjectW(mask.Get(), sizeof(header), &header)) {
    return std::nullopt;  // only monochrome cursors are stored with the program
  }
  // A monochrome cursor's mask holds the AND plane above the XOR plane.
  const int width = header.bmWidth;
  const int height = header.bmHeight / 2;
  if (width <= 0 || height <= 0) return std::nullopt;
  const std::vector<BYTE> bits = MonochromeBits(mask.Get(), width, height * 2);
  if (bits.empty()) return std::nullopt;
  forms::Picture picture;
  picture.width = width;
  picture.height = height;
  picture.hotspotX = static_cast<int>(info.xHotspot);
  picture.hotspotY = static_cast<int>(info.yHotspot);
  picture.pixels.resize(static_cast<std::size_t>(width) * height);
  picture.alpha.resize(picture.pixels.size());
  const std::size_t plane = picture.pixels.size();
  for (std::size_t i = 0; i < plane; ++i) {
    const bool andBit = bits[i] != 0;
    const bool xorBit = bits[plane + i] != 0;
    // AND 1 / XOR 0 leaves the screen alone; an inverting pixel (AND 1 /
    // XOR 1) has no picture equivalent and shows black.
    picture.alpha[i] = andBit && !xorBit ? 0 : 0xFF;
    picture.pixels[i] = !andBit && xorBit ? 0x00FFFFFF : 0;
  }
  return picture;
}

forms::Picture EnlargedBy(const forms::Picture& picture, int factor) {
  if (factor <= 1 || !picture.Valid()) return picture;
  forms::Picture big;
  big.width = picture.width * factor;
  big.height = picture.height * factor;
  big.hotspotX = picture.hotspotX * factor + factor / 2;
  big.hotspotY = picture.hotspotY * factor + factor / 2;
  const std::size_t count = static_cast<std::size_t>(big.width) * big.height;
  big.pixels.resize(count);
  if (!picture.alpha.empty()) big.alpha.resize(count);
  for (int y = 0; y < big.height; ++y) {
    for (int x = 0; x < big.width; ++x) {
      const std::size_t from = static_cast<std::size_t>(y / factor) * picture.width + x / factor;
      const std::size_t to = static_cast<std::size_t>(y) * big.width + x;
      big.pixels[to] = picture.pixels[from];
      if (!big.alpha.empty()) big.alpha[to] = picture.alpha[from];
    }
  }
  return big;
}

IconHandle CreateCursorFromPicture(const forms::Picture& picture) {
  if (!picture.Valid()) return {};
  BITMAPINFO info{TopDownHeader(picture.width, picture.height, 32), {}};
  void* bits = nullptr;
  ScreenDc screen(nullptr);
  Bitmap color(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!color || !bits) return {};
  auto* argb = static_cast<std::uint32_t*>(bits);
  // A monochrome mask, all zero: the alpha channel of the colour bitmap
  // decides which pixels show.
  const std::size_t stride = ((static_cast<std::size_t>(picture.width) + 15) / 16) * 2;
  std::vector<BYTE> maskBits(stride * picture.height, 0);
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    const std::uint32_t alpha = picture.alpha.empty() ? 0xFF : picture.alpha[i];
    argb[i] = (alpha << 24) | (picture.pixels[i] & 0x00FFFFFF);
    if (alpha == 0) {
      // Transparent pixels also set in the mask, for systems that ignore alpha.
      argb[i] = 0;
      const std::size_t x = i % picture.width;
      const std::size_t y = i / picture.width;
      maskBits[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
  }
  GdiFlush();
  Bitmap mask(CreateBitmap(picture.width, picture.height, 1, 1, maskBits.data()));
  if (!mask) return {};
  ICONINFO iconInfo{};
  iconInfo.fIcon = FALSE;
  iconInfo.xHotspot = static_cast<DWORD>(picture.hotspotX);
  iconInfo.yHotspot = static_cast<DWORD>(picture.hotspotY);
  iconInfo.hbmMask = mask.Get();
  iconInfo.hbmColor = color.Get();
  // The system copies both bitmaps; ours are freed on return.
  return IconHandle(CreateIconIndirect(&iconInfo));
}

}  // namespace win32
