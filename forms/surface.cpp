#include "forms/surface.h"

#include <algorithm>
#include <cstring>

namespace forms {
namespace {

class HeapMemory final : public SurfaceMemory {
 public:
  explicit HeapMemory(std::size_t count) : pixels_(count) {}
  Color* Bits() override { return pixels_.data(); }

 private:
  std::vector<Color> pixels_;
};

class HeapAllocator final : public SurfaceAllocator {
 public:
  std::unique_ptr<SurfaceMemory> Allocate(int width, int height) override {
    return std::make_unique<HeapMemory>(static_cast<std::size_t>(width) * height);
  }
};

}  // namespace

SurfaceAllocator& HeapSurfaces() {
  static HeapAllocator allocator;
  return allocator;
}

void Surface::Reset(int width, int height, Color fill) {
  if (width <= 0 || height <= 0) {
    memory_.reset();
    width_ = height_ = 0;
    return;
  }
  if (width != width_ || height != height_ || !memory_) {
    memory_ = allocator_->Allocate(width, height);
    width_ = width;
    height_ = height;
  }
  Fill(fill);
}

void Surface::Resize(int width, int height, Color fill) {
  if (width == width_ && height == height_) return;
  Surface old(*allocator_);
  std::swap(old.memory_, memory_);
  std::swap(old.width_, width_);
  std::swap(old.height_, height_);
  Reset(width, height, fill);
  PortableBitBlt(this, 0, 0, std::min(width_, old.width_), std::min(height_, old.height_), &old, 0,
                 0, kSrcCopy);
}

void Surface::Fill(Color c) {
  if (Empty()) return;
  // Seed a few pixels, then double the filled part with memcpy: several
  // times faster than a pixel loop on a frame-sized image.
  Color* bits = Bits();
  const std::size_t total = static_cast<std::size_t>(width_) * height_;
  std::size_t done = std::min<std::size_t>(total, 16);
  std::fill_n(bits, done, c);
  while (done < total) {
    const std::size_t chunk = std::min(done, total - done);
    std::memcpy(bits + done, bits, chunk * sizeof(Color));
    done += chunk;
  }
}

void Surface::Assign(int width, int height, const std::vector<Color>& pixels) {
  if (width <= 0 || height <= 0 ||
      pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    Reset(0, 0, 0);
    return;
  }
  Reset(width, height, 0);
  std::memcpy(Bits(), pixels.data(), static_cast<std::size_t>(width) * height * sizeof(Color));
}

bool PortableBitBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy, std::uint32_t rop) {
  if (rop != kSrcCopy || !dst || !src || dst->Empty() || src->Empty() || w <= 0 || h <= 0) {
    return false;
  }
  // Clip the rectangle against both surfaces, moving source and destination
  // together so every copied pixel keeps its offset.
  int left = std::max({0, -x, -sx});
  int top = std::max({0, -y, -sy});
  int right = std::min({w, dst->Width() - x, src->Width() - sx});
  int bottom = std::min({h, dst->Height() - y, src->Height() - sy});
  if (left >= right || top >= bottom) return true;
  const auto rowBytes = static_cast<std::size_t>(right - left) * sizeof(Color);
  for (int row = top; row < bottom; ++row) {
    Color* to = dst->Bits() + static_cast<std::size_t>(y + row) * dst->Width() + (x + left);
    const Color* from = src->Bits() + static_cast<std::size_t>(sy + row) * src->Width() + (sx + left);
    std::memmove(to, from, rowBytes);
  }
  return true;
}

bool PortableStretchBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy, int sw, int sh,
                        std::uint32_t rop) {
  if (rop != kSrcCopy || !dst || !src || dst->Empty() || src->Empty() || w <= 0 || h <= 0 ||
      sw <= 0 || sh <= 0) {
    return false;
  }
  if (w == sw && h == sh) return PortableBitBlt(dst, x, y, w, h, src, sx, sy, rop);
  const int dstW = dst->Width();
  const int dstH = dst->Height();
  const int i0 = std::max(0, -x);
  const int i1 = std::min(w, dstW - x);
  const int j0 = std::max(0, -y);
  const int j1 = std::min(h, dstH - y);
  if (i0 >= i1 || j0 >= j1) return true;

  // Destination columns grouped into runs that read the same source column:
  // enlarging copies then fill whole runs, which the compiler vectorises.
  struct Run {
    int from, length, srcCol;
  };
  thread_local std::vector<Run> runs;
  runs.clear();
  const int srcW = src->Width();
  for (int i = i0; i < i1; ++i) {
    const int srcCol = sx + static_cast<int>(static_cast<std::int64_t>(i) * sw / w);
    if (srcCol < 0 || srcCol >= srcW) continue;
    if (!runs.empty() && runs.back().srcCol == srcCol && runs.back().from + runs.back().length == i) {
      ++runs.back().length;
    } else {
      runs.push_back({i, 1, srcCol});
    }
  }
  const int srcH = src->Height();
  for (int j = j0; j < j1; ++j) {
    const int srcRow = sy + static_cast<int>(static_cast<std::int64_t>(j) * sh / h);
    if (srcRow < 0 || srcRow >= srcH) continue;
    const Color* from = src->Bits() + static_cast<std::size_t>(srcRow) * srcW;
    Color* to = dst->Bits() + static_cast<std::size_t>(y + j) * dstW + x;
    for (const Run& run : runs) std::fill_n(to + run.from, run.length, from[run.srcCol]);
  }
  return true;
}

}  // namespace forms
