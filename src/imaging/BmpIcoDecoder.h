#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"

namespace tw {

// Windows bitmaps and icons are decoded by Qt's image reader; the headers are
// checked here first, so an absurd size or a file cut short is refused before
// Qt allocates or reads anything. Both raise EInvalidGraphic.
TBitmap32 DecodeBmp(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);
// The icon's first image.
TBitmap32 DecodeIco(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);

}  // namespace tw
