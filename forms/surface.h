// Persistent 32-bit pixel surfaces (the AutoRedraw images) and the portable
// block copies with GDI's kSrcCopy semantics. A backend may supply the memory
// (a DIB section on Windows) and its own copy routines; the pixels it produces
// must equal the portable ones.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "forms/types.h"

namespace forms {

// Memory behind a surface: width * height pixels, rows top-down, no padding.
class SurfaceMemory {
 public:
  virtual ~SurfaceMemory() = default;
  virtual Color* Bits() = 0;
  // The backend's handle for the memory (an HDC on Windows), or null.
  virtual void* Native() { return nullptr; }
};

class SurfaceAllocator {
 public:
  virtual ~SurfaceAllocator() = default;
  // Never returns null for width, height >= 1.
  virtual std::unique_ptr<SurfaceMemory> Allocate(int width, int height) = 0;
};

// Plain heap memory; what Linux and the tests use.
SurfaceAllocator& HeapSurfaces();

class Surface {
 public:
  explicit Surface(SurfaceAllocator& allocator = HeapSurfaces()) : allocator_(&allocator) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  Color* Bits() { return memory_ ? memory_->Bits() : nullptr; }
  const Color* Bits() const { return memory_ ? memory_->Bits() : nullptr; }
  void* Native() const { return memory_ ? memory_->Native() : nullptr; }

  Color Pixel(int x, int y) const { return Bits()[static_cast<std::size_t>(y) * width_ + x]; }
  void SetPixel(int x, int y, Color c) { Bits()[static_cast<std::size_t>(y) * width_ + x] = c; }

  // New size; every pixel becomes `fill`. Sizes below 1 leave an empty
  // surface (copies into or out of it do nothing).
  void Reset(int width, int height, Color fill);
  // New size keeping the overlapping pixels; new area gets `fill`.
  void Resize(int width, int height, Color fill);
  void Fill(Color c);
  // Takes a copy of a picture (rows top-down, width * height pixels).
  void Assign(int width, int height, const std::vector<Color>& pixels);

 private:
  SurfaceAllocator* allocator_;
  std::unique_ptr<SurfaceMemory> memory_;
  int width_ = 0;
  int height_ = 0;
};

// What portable code receives from a control's hDC.
using Dc = Surface*;

// The copy routines. Only kSrcCopy is supported; any other raster operation
// copies nothing and reports failure. Both return false when nothing could be
// copied (null surfaces, non-positive sizes).
//
// Pixels falling outside either surface are skipped, so a copy never reads or
// writes out of bounds. StretchBlt maps destination pixel i of a span of
// length dw onto source pixel floor(i * sw / dw); negative extents (GDI's
// mirroring) are not used by the program and copy nothing.
bool PortableBitBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy, std::uint32_t rop);
bool PortableStretchBlt(Dc dst, int x, int y, int w, int h, Dc src, int sx, int sy, int sw, int sh,
                        std::uint32_t rop);

}  // namespace forms
