#include "imaging/GifDecoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"

namespace tw {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

// giflib treats a short count as a read failure, which is how a truncated
// file ends up as an error.
int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const size_t count = std::min(size_t(length), reader->size - reader->position);
    std::memcpy(buffer, reader->data + reader->position, count);
    reader->position += count;
    return int(count);
}

struct CloseGif {
    void operator()(GifFileType* gif) const noexcept {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

[[noreturn]] void RaiseCorrupt(int errorCode) {
    const char* text = GifErrorString(errorCode);
    throw EInvalidGraphic(std::string("Corrupt GIF picture: ") + (text ? text : "unknown error"));
}

void Check(GifFileType* gif, int result) {
    if (result == GIF_ERROR) {
        RaiseCorrupt(gif->Error);
    }
}

// Reads one extension block; a graphic control block sets `control`.
void ReadExtension(GifFileType* gif, GraphicsControlBlock& control) {
    int code = 0;
    GifByteType* block = nullptr;
    Check(gif, DGifGetExtension(gif, &code, &block));
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr &&
        DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR) {
        throw EInvalidGraphic("Corrupt GIF picture: bad graphic control block");
    }
    while (block != nullptr) {
        Check(gif, DGifGetExtensionNext(gif, &block));
    }
}

// Row order of an interlaced frame: four passes over the rows.
std::vector<int> RowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(size_t(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass]) {
            rows.push_back(y);
        }
    }
    return rows;
}

}  // namespace

TBitmap32 DecodeGif(std::span<const uint8_t> data, uint64_t maxPixels) {
    MemoryReader reader{data.data(), data.size(), 0};
    int error = 0;
    std::unique_ptr<GifFileType, CloseGif> gif(DGifOpen(&reader, ReadFromMemory, &error));
    if (!gif) {
        RaiseCorrupt(error);
    }

    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        Check(gif.get(), DGifGetRecordType(gif.get(), &type));
        if (type == EXTENSION_RECORD_TYPE) {
            ReadExtension(gif.get(), control);
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        } else if (type == TERMINATE_RECORD_TYPE) {
            throw EInvalidGraphic("Corrupt GIF picture: the file holds no image");
        } else {
            throw EInvalidGraphic("Corrupt GIF picture: unknown block");
        }
    }
    Check(gif.get(), DGifGetImageDesc(gif.get()));

    const GifImageDesc& frame = gif->Image;
    CheckImageSize(uint64_t(std::max(frame.Width, 0)), uint64_t(std::max(frame.Height, 0)),
                   maxPixels, "GIF frame of the");
    // A logical screen of no size is taken as the frame's own size.
    const bool useScreen = gif->SWidth > 0 && gif->SHeight > 0;
    const int left = useScreen ? frame.Left : 0;
    const int top = useScreen ? frame.Top : 0;
    TBitmap32 bitmap = AllocateBitmap(uint32_t(useScreen ? gif->SWidth : frame.Width),
                                      uint32_t(useScreen ? gif->SHeight : frame.Height), maxPixels,
                                      TImageFormat::Gif);
    std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), 0u);

    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || colours->Colors == nullptr) {
        throw EInvalidGraphic("Corrupt GIF picture: no colour table");
    }
    const int transparent = control.TransparentColor;
    bitmap.hasAlpha = transparent != NO_TRANSPARENT_COLOR || left > 0 || top > 0 ||
                      int64_t(left) + frame.Width < bitmap.width ||
                      int64_t(top) + frame.Height < bitmap.height;

    std::vector<GifPixelType> line(size_t(frame.Width));
    for (int row : RowOrder(frame.Height, frame.Interlace)) {
        Check(gif.get(), DGifGetLine(gif.get(), line.data(), frame.Width));
        const int64_t y = int64_t(top) + row;
        if (y < 0 || y >= bitmap.height) {
            continue;
        }
        uint32_t* out = bitmap.pixels.data() + size_t(y) * size_t(bitmap.width);
        for (int x = 0; x < frame.Width; ++x) {
            const int64_t cx = int64_t(left) + x;
            const int index = line[size_t(x)];
            if (cx < 0 || cx >= bitmap.width || index == transparent) {
                continue;
            }
            // An index past the table is a writer's bug, shown black.
            if (index >= colours->ColorCount) {
                out[cx] = MakeArgb(255, 0, 0, 0);
                continue;
            }
            const GifColorType& c = colours->Colors[index];
            out[cx] = MakeArgb(255, c.Red, c.Green, c.Blue);
        }
    }
    return bitmap;
}

}  // namespace tw
