#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imaging/Bitmap32.h"

namespace tw {

// The format the first bytes announce (PNG, JPEG, GIF, BMP, ICO), or Unknown.
TImageFormat DetectImageFormat(std::span<const uint8_t> data) noexcept;

// The format a file name's extension promises, ignoring case: .png; .jpg,
// .jpeg, .jpe, .jfif; .gif; .bmp, .dib; .ico. Unknown for anything else.
TImageFormat ImageFormatFromExtension(std::string_view fileName);

// Decodes by content alone. Raises EInvalidGraphic for data in no supported
// format and for every decoder error.
TBitmap32 DecodeImage(std::span<const uint8_t> data, uint64_t maxPixels = kMaxImagePixels);

// Loads a picture file. The extension must name a supported format and the
// content must be that format: a file whose name lies about its content is
// refused, like a corrupt one, with EInvalidGraphic. A file that cannot be
// read raises EInOutError.
TBitmap32 LoadPicture(const std::string& fileName, uint64_t maxPixels = kMaxImagePixels);

}  // namespace tw
