#include "FuzzImage.h"
#include "imaging/GifDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tw::fuzz::RunDecoder(data, size, tw::TImageFormat::Gif,
                                [](auto bytes, uint64_t max) { return tw::DecodeGif(bytes, max); });
}
