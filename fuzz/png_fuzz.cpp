#include "FuzzImage.h"
#include "imaging/PngDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tw::fuzz::RunDecoder(data, size, tw::TImageFormat::Png,
                                [](auto bytes, uint64_t max) { return tw::DecodePng(bytes, max); });
}
