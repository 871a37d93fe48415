#include "imaging/PictureLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "base/Exceptions.h"
#include "imaging/Corpus.h"
#include "support/TestSupport.h"

// The largest single allocation through operator new, so a test can show a
// refused picture never asked for its pixel memory.
namespace {
std::atomic<size_t> largestAllocation{0};
}

void* operator new(size_t size) {
    size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace tw {
namespace {

using test::CorpusFiles;
using test::CorpusPath;
using test::ReadCorpusFile;

TEST(PictureLoaderTest, FormatFromContentAndFromName) {
    const struct {
        const char* file;
        TImageFormat format;
    } cases[] = {
        {"valid/rgb_4x4.png", TImageFormat::Png},    {"valid/red_8x8.jpg", TImageFormat::Jpeg},
        {"valid/plain_2x2.gif", TImageFormat::Gif},  {"valid/rgb_2x2.bmp", TImageFormat::Bmp},
        {"valid/argb_2x2.ico", TImageFormat::Ico},   {"broken/text.jpg", TImageFormat::Unknown},
        {"broken/empty.png", TImageFormat::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectImageFormat(ReadCorpusFile(c.file)), c.format) << c.file;
    }
    EXPECT_EQ(ImageFormatFromExtension("/skins/Sky.JPEG"), TImageFormat::Jpeg);
    EXPECT_EQ(ImageFormatFromExtension("a.b/photo.Jfif"), TImageFormat::Jpeg);
    EXPECT_EQ(ImageFormatFromExtension("icon.dib"), TImageFormat::Bmp);
    EXPECT_EQ(ImageFormatFromExtension("dir.png/readme"), TImageFormat::Unknown);
    EXPECT_EQ(ImageFormatFromExtension("picture.png.txt"), TImageFormat::Unknown);
    EXPECT_EQ(ImageFormatFromExtension("drawing.wmf"), TImageFormat::Unknown);
}

std::string FileCaseName(const testing::TestParamInfo<std::string>& tp) {
    return test::CaseName(tp.param);
}

class ValidPictureTest : public testing::TestWithParam<std::string> {};

TEST_P(ValidPictureTest, LoadsWithTheFormatOfItsName) {
    const std::string path = CorpusPath("valid/" + GetParam());
    const TBitmap32 bitmap = LoadPicture(path);
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.pixels.size(), size_t(bitmap.width) * size_t(bitmap.height));
    EXPECT_EQ(bitmap.format, ImageFormatFromExtension(path));
}

// Every prefix and every single-byte change of a valid picture either
// decodes or is refused with EInvalidGraphic; under the sanitizers this also
// shows no decoder reads past the data or leaks on its error path.
TEST_P(ValidPictureTest, DamagedCopiesDecodeOrFailCleanly) {
    const auto data = ReadCorpusFile("valid/" + GetParam());
    auto attempt = [](std::span<const uint8_t> bytes) {
        try {
            DecodeImage(bytes);
        } catch (const EInvalidGraphic&) {
        }
    };
    for (size_t length = 0; length < data.size(); ++length) {
        attempt(std::span(data).first(length));
    }
    for (size_t at = 0; at < data.size(); ++at) {
        for (uint8_t value : {uint8_t(0), uint8_t(0xFF), uint8_t(data[at] ^ 0x10)}) {
            auto changed = data;
            changed[at] = value;
            attempt(changed);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, ValidPictureTest, testing::ValuesIn(CorpusFiles("valid")),
                         FileCaseName);

class BrokenPictureTest : public testing::TestWithParam<std::string> {};

TEST_P(BrokenPictureTest, IsRefusedWithAMessage) {
    const std::string path = CorpusPath("broken/" + GetParam());
    try {
        LoadPicture(path);
        FAIL() << "LoadPicture accepted " << GetParam();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message(), "");
    }
    try {
        DecodeImage(ReadCorpusFile("broken/" + GetParam()));
        FAIL() << "DecodeImage accepted " << GetParam();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BrokenPictureTest, testing::ValuesIn(CorpusFiles("broken")),
                         FileCaseName);

class MismatchedPictureTest : public testing::TestWithParam<std::string> {};

// The content is a good picture; only the name lies about it.
TEST_P(MismatchedPictureTest, DecodesByContentButLoadRefusesTheName) {
    const std::string name = "mismatch/" + GetParam();
    EXPECT_FALSE(DecodeImage(ReadCorpusFile(name)).Empty());
    try {
        LoadPicture(CorpusPath(name));
        FAIL() << "LoadPicture accepted " << name;
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("is named as a"), std::string::npos) << e.Message();
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, MismatchedPictureTest, testing::ValuesIn(CorpusFiles("mismatch")),
                         FileCaseName);

TEST(PictureLoaderTest, MessagesSayWhatIsWrong) {
    auto messageOf = [](const std::string& path) -> std::string {
        try {
            LoadPicture(path);
        } catch (const EInvalidGraphic& e) {
            return e.Message();
        }
        return "no error";
    };
    const std::string pngAsJpeg = CorpusPath("mismatch/png_named.jpg");
    EXPECT_EQ(messageOf(pngAsJpeg),
              "The file \"" + pngAsJpeg + "\" is named as a JPEG picture but holds a PNG picture");
    const std::string text = CorpusPath("broken/text.jpg");
    EXPECT_EQ(messageOf(text), "The file \"" + text +
                                   "\" is named as a JPEG picture but holds no picture in a "
                                   "known format");
    EXPECT_EQ(messageOf(CorpusPath("broken/metafile.wmf")),
              "Unknown picture file extension (.wmf)");
    const std::string truncated = CorpusPath("broken/truncated.bmp");
    EXPECT_EQ(messageOf(truncated),
              "Corrupt BMP picture: the file is cut short (\"" + truncated + "\")");
}

TEST(PictureLoaderTest, UnreadableFileIsAnInputOutputError) {
    test::TempDir dir;
    EXPECT_THROW(LoadPicture(dir.Path() + "missing.png"), EInOutError);
    // A folder named like a picture is no picture.
    const std::string folder = dir.Path() + "folder.png";
    std::filesystem::create_directory(folder);
    EXPECT_THROW(LoadPicture(folder), EInvalidGraphic);
}

// The limit is the largest picture allowed, in every decoder.
TEST(PictureLoaderTest, PixelLimitIsInclusive) {
    const struct {
        const char* file;
        uint64_t pixels;
    } cases[] = {{"valid/rgb_4x4.png", 16},
                 {"valid/white_black_16x8.jpg", 128},
                 {"valid/offset_frame_4x4.gif", 16},
                 {"valid/rgb_2x2.bmp", 4},
                 {"valid/argb_2x2.ico", 4}};
    for (const auto& c : cases) {
        const auto data = ReadCorpusFile(c.file);
        EXPECT_EQ(DecodeImage(data, c.pixels).pixels.size(), c.pixels) << c.file;
        EXPECT_THROW(DecodeImage(data, c.pixels - 1), EInvalidGraphic) << c.file;
    }
}

// A header claiming 100000 x 100000 pixels (40 GB of bitmap) is refused from
// the header: no allocation anywhere near the picture's size happens.
TEST(PictureLoaderTest, HugeHeadersAreRefusedBeforeAllocating) {
    for (const char* name : {"broken/huge_100000x100000.png", "broken/huge_100000x100000.bmp",
                             "broken/huge_65500x65500.jpg", "broken/huge_screen_65535x65535.gif",
                             "broken/huge_dib.ico"}) {
        const auto data = ReadCorpusFile(name);
        largestAllocation = 0;
        EXPECT_THROW(DecodeImage(data), EInvalidGraphic) << name;
        EXPECT_LT(largestAllocation.load(), size_t(1) << 20) << name;
    }
}

}  // namespace
}  // namespace tw
