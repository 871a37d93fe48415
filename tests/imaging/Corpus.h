#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/Bitmap32.h"

namespace tw::test {

// The picture corpus beside this header, written by make_corpus.py.
inline std::filesystem::path CorpusDir() {
    return std::filesystem::path(__FILE__).parent_path() / "corpus";
}

inline std::string CorpusPath(const std::string& relative) {
    return (CorpusDir() / relative).string();
}

inline std::vector<uint8_t> ReadCorpusFile(const std::string& relative) {
    std::ifstream in(CorpusPath(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// File names of one corpus folder, sorted.
inline std::vector<std::string> CorpusFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir() / folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Alpha, red, green, blue of a pixel.
struct Argb {
    int a, r, g, b;
};

inline Argb Channels(uint32_t pixel) {
    return {int(pixel >> 24), int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF)};
}

}  // namespace tw::test
