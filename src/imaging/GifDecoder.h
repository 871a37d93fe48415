#pragma once

#include <cstdint>
#include <span>

#include "imaging/Bitmap32.h"

namespace tw {

// Decodes the first frame of a GIF picture through giflib onto a canvas of
// the logical screen's size (the frame's own size when the screen claims
// none). The transparent colour of the frame's graphic control block, and
// every part of the canvas the frame leaves uncovered, get alpha 0. Raises
// EInvalidGraphic for corrupt or truncated data, a file without an image or a
// colour table, and a canvas or frame over `maxPixels`, refused from the
// descriptors before any pixel memory is allocated.
TBitmap32 DecodeGif(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);

}  // namespace tw
