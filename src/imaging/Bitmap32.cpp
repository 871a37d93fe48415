#include "imaging/Bitmap32.h"

#include <limits>
#include <string>

#include "base/Exceptions.h"

namespace tw {

const char* ImageFormatName(TImageFormat format) noexcept {
    switch (format) {
        case TImageFormat::Png:
            return "PNG";
        case TImageFormat::Jpeg:
            return "JPEG";
        case TImageFormat::Gif:
            return "GIF";
        case TImageFormat::Bmp:
            return "BMP";
        case TImageFormat::Ico:
            return "ICO";
        case TImageFormat::Unknown:
            break;
    }
    return "unknown";
}

void CheckImageSize(uint64_t width, uint64_t height, uint64_t maxPixels, const char* what) {
    if (width == 0 || height == 0) {
        throw EInvalidGraphic(std::string(what) + " picture has no pixels (" +
                              std::to_string(width) + " x " + std::to_string(height) + ")");
    }
    // Each side is held to an int first, so the product cannot wrap.
    const uint64_t intMax = uint64_t(std::numeric_limits<int>::max());
    if (width > intMax || height > intMax || width * height > maxPixels) {
        throw EInvalidGraphic(std::string(what) + " picture is too large: " +
                              std::to_string(width) + " x " + std::to_string(height) +
                              " pixels, at most " + std::to_string(maxPixels) + " are allowed");
    }
}

TBitmap32 AllocateBitmap(uint32_t width, uint32_t height, uint64_t maxPixels, TImageFormat format) {
    CheckImageSize(width, height, maxPixels, ImageFormatName(format));
    TBitmap32 bitmap;
    bitmap.width = int(width);
    bitmap.height = int(height);
    bitmap.format = format;
    bitmap.pixels.assign(size_t(width) * size_t(height), MakeArgb(255, 0, 0, 0));
    return bitmap;
}

}  // namespace tw
