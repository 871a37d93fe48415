#include "FuzzImage.h"
#include "imaging/JpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tw::fuzz::RunDecoder(data, size, tw::TImageFormat::Jpeg, [](auto bytes, uint64_t max) {
        return tw::DecodeJpeg(bytes, max);
    });
}
