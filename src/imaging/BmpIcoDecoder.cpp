#include "imaging/BmpIcoDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <optional>
#include <string>

#include "base/Exceptions.h"

namespace tw {

namespace {

uint32_t Le16(std::span<const uint8_t> d, size_t at) {
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8;
}
uint32_t Le32(std::span<const uint8_t> d, size_t at) {
    return Le16(d, at) | Le16(d, at + 2) << 16;
}
uint32_t Be32(std::span<const uint8_t> d, size_t at) {
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 |
           uint32_t(d[at + 3]);
}

[[noreturn]] void Raise(const char* format, const std::string& why) {
    throw EInvalidGraphic(std::string("Corrupt ") + format + " picture: " + why);
}

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The device-independent bitmap behind a bitmap file header, which also makes
// up most icon images: checks its size and, when uncompressed, that all of
// its rows are present. `pixelsAt` is where the rows start, counted from the
// bitmap header; an icon image's rows follow its colour table, and its height
// counts the transparency mask's rows too.
void CheckDib(std::span<const uint8_t> dib, std::optional<uint64_t> pixelsAt, bool icon,
              uint64_t maxPixels, const char* format) {
    if (dib.size() < 12) {
        Raise(format, "the bitmap header is cut short");
    }
    const uint32_t headerSize = Le32(dib, 0);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitCount = 0;
    uint32_t compression = 0;
    uint64_t paletteBytes = 0;
    if (headerSize == 12) {
        width = Le16(dib, 4);
        height = Le16(dib, 6);
        bitCount = Le16(dib, 10);
        paletteBytes = bitCount <= 8 ? (uint64_t(1) << bitCount) * 3 : 0;
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (dib.size() < 40) {
            Raise(format, "the bitmap header is cut short");
        }
        width = int32_t(Le32(dib, 4));
        height = int32_t(Le32(dib, 8));
        bitCount = Le16(dib, 14);
        compression = Le32(dib, 16);
        const uint64_t used = Le32(dib, 32);
        paletteBytes = (used != 0 ? used : bitCount <= 8 ? uint64_t(1) << bitCount : 0) * 4;
    } else {
        Raise(format, "unknown bitmap header size " + std::to_string(headerSize));
    }
    if (width <= 0 || height == 0) {
        Raise(format, "bad size " + std::to_string(width) + " x " + std::to_string(height));
    }
    const uint64_t rows = uint64_t(height < 0 ? -height : height) / (icon ? 2 : 1);
    CheckImageSize(uint64_t(width), rows, maxPixels, format);
    switch (bitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            Raise(format, "unsupported colour depth " + std::to_string(bitCount));
    }
    // Uncompressed (BI_RGB) and bit-field rows can be counted; run-length
    // data is left to the reader.
    if (compression == 0 || compression == 3) {
        const uint64_t rowBytes = (uint64_t(width) * bitCount + 31) / 32 * 4;
        const uint64_t start = pixelsAt.value_or(headerSize + paletteBytes);
        if (start + rowBytes * rows > dib.size()) {
            Raise(format, "the file is cut short");
        }
    }
}

void CheckBmp(std::span<const uint8_t> data, uint64_t maxPixels) {
    if (data.size() < 14 + 12 || data[0] != 'B' || data[1] != 'M') {
        Raise("BMP", "not a Windows bitmap or cut short");
    }
    const uint64_t offBits = Le32(data, 10);
    const auto dib = data.subspan(14);
    const uint64_t headerSize = Le32(dib, 0);
    if (offBits < 14 + headerSize || offBits > data.size()) {
        Raise("BMP", "bad offset of the pixel data");
    }
    CheckDib(dib, offBits - 14, false, maxPixels, "BMP");
}

void CheckIco(std::span<const uint8_t> data, uint64_t maxPixels) {
    if (data.size() < 6 || Le16(data, 0) != 0 || Le16(data, 2) != 1) {
        Raise("ICO", "not a Windows icon or cut short");
    }
    const uint32_t count = Le16(data, 4);
    if (count == 0) {
        Raise("ICO", "the icon holds no image");
    }
    const uint64_t directoryEnd = 6 + uint64_t(count) * 16;
    if (directoryEnd > data.size()) {
        Raise("ICO", "the file is cut short");
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = 6 + size_t(i) * 16;
        const uint64_t size = Le32(data, entry + 8);
        const uint64_t offset = Le32(data, entry + 12);
        if (size == 0 || offset < directoryEnd || offset + size > data.size()) {
            Raise("ICO", "image " + std::to_string(i + 1) + " lies outside the file");
        }
        const auto image = data.subspan(size_t(offset), size_t(size));
        if (image.size() >= 24 &&
            std::equal(std::begin(kPngSignature), std::end(kPngSignature), image.begin())) {
            CheckImageSize(Be32(image, 16), Be32(image, 20), maxPixels, "ICO");
        } else {
            CheckDib(image, std::nullopt, true, maxPixels, "ICO");
        }
    }
}

TBitmap32 ReadWithQt(std::span<const uint8_t> data, const char* qtFormat, TImageFormat format,
                     uint64_t maxPixels) {
    const char* name = ImageFormatName(format);
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtFormat);
    reader.setDecideFormatFromContent(false);
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        Raise(name, reader.errorString().toStdString());
    }
    CheckImageSize(uint64_t(image.width()), uint64_t(image.height()), maxPixels, name);
    TBitmap32 bitmap;
    bitmap.width = image.width();
    bitmap.height = image.height();
    bitmap.format = format;
    bitmap.hasAlpha = image.hasAlphaChannel();
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    bitmap.pixels.resize(size_t(bitmap.width) * size_t(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) {
        const auto* line = reinterpret_cast<const uint32_t*>(argb.constScanLine(y));
        std::copy(line, line + bitmap.width, bitmap.pixels.begin() + ptrdiff_t(y) * bitmap.width);
    }
    return bitmap;
}

}  // namespace

TBitmap32 DecodeBmp(std::span<const uint8_t> data, uint64_t maxPixels) {
    CheckBmp(data, maxPixels);
    return ReadWithQt(data, "bmp", TImageFormat::Bmp, maxPixels);
}

TBitmap32 DecodeIco(std::span<const uint8_t> data, uint64_t maxPixels) {
    CheckIco(data, maxPixels);
    return ReadWithQt(data, "ico", TImageFormat::Ico, maxPixels);
}

}  // namespace tw
