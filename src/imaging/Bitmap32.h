#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

// Where a decoded picture came from; the skinned controls treat a PNG with
// transparency differently from every other picture.
enum class TImageFormat { Unknown, Png, Jpeg, Gif, Bmp, Ico };

const char* ImageFormatName(TImageFormat format) noexcept;

// Pictures larger than this are refused from their header, before any pixel
// memory is allocated: 64 megapixels, 256 MB at four bytes a pixel.
inline constexpr uint64_t kMaxImagePixels = 64'000'000;

// A decoded picture: 32 bits a pixel, rows top to bottom, no padding.
// Each pixel is the integer 0xAARRGGBB (alpha in the high byte, blue in the
// low one), straight (not premultiplied) alpha: the layout of
// QImage::Format_ARGB32, on every byte order. Opaque sources give alpha 255.
struct TBitmap32 {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // The source carries transparency: an alpha channel, a transparent
    // palette entry or colour key, or parts of the canvas no pixel covers.
    bool hasAlpha = false;
    TImageFormat format = TImageFormat::Unknown;

    bool Empty() const noexcept { return width == 0 || height == 0; }
    uint32_t Pixel(int x, int y) const { return pixels.at(size_t(y) * size_t(width) + size_t(x)); }
};

constexpr uint32_t MakeArgb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) noexcept {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Raises EInvalidGraphic unless width x height is a non-empty picture of at
// most `maxPixels` pixels; `what` names the format in the message.
void CheckImageSize(uint64_t width, uint64_t height, uint64_t maxPixels, const char* what);

// An opaque-black bitmap of the size, after CheckImageSize.
TBitmap32 AllocateBitmap(uint32_t width, uint32_t height, uint64_t maxPixels, TImageFormat format);

}  // namespace tw
