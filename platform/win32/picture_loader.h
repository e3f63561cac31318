// Decoding kivo.exe's own resources into forms::Picture, and turning a
// cursor picture back into an HCURSOR. Implemented: bitmaps, the GIF of the
// search field, the monochrome hand cursor. Not yet: icons as pictures (the
// tray will want them). Reads resources only; must not touch any window.
#pragma once

#include <optional>

#include "forms/picture.h"
#include "platform/win32/win32_util.h"
#include "platform/win32/windows_api.h"

namespace win32 {

// A BITMAP resource of any depth as 32-bit pixels; opaque.
std::optional<forms::Picture> LoadBitmapPicture(HINSTANCE instance, int id);
// An RCDATA resource holding a GIF; the transparent index becomes alpha 0.
// Needs COM initialised on the calling thread (the decoder is WIC's).
std::optional<forms::Picture> LoadGifPicture(HINSTANCE instance, int id);
// A CURSOR resource: black, white and transparent pixels plus its hot spot.
std::optional<forms::Picture> LoadCursorPicture(HINSTANCE instance, int id);

// The picture with each pixel made a `factor` x `factor` square, its hot
// spot moved along; the picture itself for a factor of 1 or less.
forms::Picture EnlargedBy(const forms::Picture& picture, int factor);

// A cursor showing `picture` with its hot spot; empty when it is not valid.
IconHandle CreateCursorFromPicture(const forms::Picture& picture);

}  // namespace win32
