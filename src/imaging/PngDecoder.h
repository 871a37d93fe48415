#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"

namespace tw {

// Decodes a PNG picture through libpng. Raises EInvalidGraphic for anything
// libpng refuses (bad signature, bad CRC of a critical chunk, truncated image
// data) and for a picture over `maxPixels`, refused from its header.
TBitmap32 DecodePng(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);

}  // namespace tw
