#include "imaging/PngDecoder.h"

#include <png.h>

#include <bit>
#include <string>

#include "base/Exceptions.h"

namespace tw {

namespace {

// libpng's simplified reader reports errors through its return value and
// never jumps out through our frames, so exceptions stay on our side.
class PngImage {
public:
    PngImage() { image_.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
    png_image* operator->() noexcept { return &image_; }
    png_image* get() noexcept { return &image_; }

private:
    png_image image_{};
};

[[noreturn]] void RaiseCorrupt(const png_image& image) {
    throw EInvalidGraphic(std::string("Corrupt PNG picture: ") +
                          (image.message[0] ? image.message : "unknown error"));
}

}  // namespace

TBitmap32 DecodePng(std::span<const uint8_t> data, uint64_t maxPixels) {
    if (data.empty()) {
        throw EInvalidGraphic("Corrupt PNG picture: the data is empty");
    }
    PngImage image;
    if (!png_image_begin_read_from_memory(image.get(), data.data(), data.size())) {
        RaiseCorrupt(*image.get());
    }
    const bool hasAlpha = (image->format & PNG_FORMAT_FLAG_ALPHA) != 0;
    TBitmap32 bitmap = AllocateBitmap(image->width, image->height, maxPixels, TImageFormat::Png);
    bitmap.hasAlpha = hasAlpha;
    // libpng takes 16-bit data without a gamma chunk for linear light and
    // would brighten it on the way to 8 bits; such files are sRGB like any other.
    image->flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    // Bytes B, G, R, A on a little-endian machine are the integer 0xAARRGGBB.
    image->format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    if (!png_image_finish_read(image.get(), nullptr, bitmap.pixels.data(), 0, nullptr)) {
        RaiseCorrupt(*image.get());
    }
    return bitmap;
}

}  // namespace tw
