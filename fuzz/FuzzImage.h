#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/Exceptions.h"
#include "imaging/Bitmap32.h"

namespace tw::fuzz {

// Small enough that a decompression bomb costs milliseconds, not seconds;
// the limit check itself is the same code at any size.
inline constexpr uint64_t kFuzzMaxPixels = uint64_t(1) << 20;

// Runs one decoder: EInvalidGraphic is the expected way to fail, anything
// else escaping is a finding, and so is a bitmap that breaks its own rules.
template <typename Decode>
int RunDecoder(const uint8_t* data, size_t size, TImageFormat format, Decode decode) {
    try {
        const TBitmap32 bitmap = decode(std::span<const uint8_t>(data, size), kFuzzMaxPixels);
        const uint64_t pixels = uint64_t(bitmap.width) * uint64_t(bitmap.height);
        if (bitmap.width <= 0 || bitmap.height <= 0 || pixels > kFuzzMaxPixels ||
            bitmap.pixels.size() != pixels || bitmap.format != format) {
            std::abort();
        }
        // Touch every pixel so reads of uninitialised or freed memory show.
        uint32_t sum = 0;
        for (uint32_t p : bitmap.pixels) {
            sum += p;
        }
        if (!bitmap.hasAlpha && sum == 1) {
            return 0;
        }
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}

}  // namespace tw::fuzz
