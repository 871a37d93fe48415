// The loader's dispatch by content, which also reaches the BMP and ICO header
// checks in front of Qt's reader.
#include "FuzzImage.h"
#include "imaging/PictureLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const tw::TImageFormat format = tw::DetectImageFormat(std::span<const uint8_t>(data, size));
    return tw::fuzz::RunDecoder(
        data, size, format, [](auto bytes, uint64_t max) { return tw::DecodeImage(bytes, max); });
}
