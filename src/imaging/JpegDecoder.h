#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"

namespace tw {

// Decodes a JPEG picture through libjpeg (greyscale, YCbCr, RGB, CMYK).
// Raises EInvalidGraphic for every error and every sign of corrupt data
// libjpeg reports (a truncated file included, where libjpeg itself would only
// warn and fill the rest grey), and for a picture over `maxPixels`, refused
// from its header.
TBitmap32 DecodeJpeg(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);

}  // namespace tw
