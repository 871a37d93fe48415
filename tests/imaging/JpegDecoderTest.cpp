#include "imaging/JpegDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/Exceptions.h"
#include "imaging/Corpus.h"

namespace tw {
namespace {

using test::Channels;
using test::ReadCorpusFile;

// JPEG is lossy: the corpus files hold flat blocks, which come back within
// a rounding step or two.
void ExpectNear(uint32_t pixel, int r, int g, int b) {
    const auto c = Channels(pixel);
    EXPECT_EQ(c.a, 255);
    EXPECT_LE(std::abs(c.r - r), 2) << std::hex << pixel;
    EXPECT_LE(std::abs(c.g - g), 2) << std::hex << pixel;
    EXPECT_LE(std::abs(c.b - b), 2) << std::hex << pixel;
}

TEST(JpegDecoderTest, ColourAndGreyPictures) {
    const TBitmap32 red = DecodeJpeg(ReadCorpusFile("valid/red_8x8.jpg"));
    EXPECT_EQ(red.width, 8);
    EXPECT_EQ(red.height, 8);
    EXPECT_FALSE(red.hasAlpha);
    EXPECT_EQ(red.format, TImageFormat::Jpeg);
    ExpectNear(red.Pixel(0, 0), 255, 0, 0);
    ExpectNear(red.Pixel(7, 7), 255, 0, 0);

    const TBitmap32 grey = DecodeJpeg(ReadCorpusFile("valid/gray_8x8.jpg"));
    ExpectNear(grey.Pixel(3, 4), 100, 100, 100);
}

// Chroma subsampling, restart markers and progressive scans: the same colour
// everywhere.
TEST(JpegDecoderTest, CodingVariantsGiveTheSameColour) {
    for (const char* name : {"valid/orange_420_32x16.jpg", "valid/orange_restart_16x16.jpg",
                             "valid/orange_progressive_16x16.jpg"}) {
        SCOPED_TRACE(name);
        const TBitmap32 bitmap = DecodeJpeg(ReadCorpusFile(name));
        ASSERT_EQ(bitmap.height, 16);
        for (int y = 0; y < bitmap.height; y += 5) {
            for (int x = 0; x < bitmap.width; x += 5) {
                ExpectNear(bitmap.Pixel(x, y), 255, 128, 0);
            }
        }
    }
}

TEST(JpegDecoderTest, BlocksLandWhereTheyBelong) {
    const TBitmap32 two = DecodeJpeg(ReadCorpusFile("valid/white_black_16x8.jpg"));
    ASSERT_EQ(two.width, 16);
    ExpectNear(two.Pixel(0, 0), 255, 255, 255);
    ExpectNear(two.Pixel(7, 7), 255, 255, 255);
    ExpectNear(two.Pixel(8, 0), 0, 0, 0);
    ExpectNear(two.Pixel(15, 7), 0, 0, 0);

    // Block (x, y) of the 8 x 8 grid holds ((x*37)%256, (y*53)%256, ((x+y)*91)%256);
    // the colour conversion rounds twice, hence the wider margin.
    const TBitmap32 pattern = DecodeJpeg(ReadCorpusFile("valid/pattern_64x64.jpg"));
    ASSERT_EQ(pattern.width, 64);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const auto c = Channels(pattern.Pixel(x * 8 + 3, y * 8 + 4));
            EXPECT_LE(std::abs(c.r - (x * 37) % 256), 4) << x << "," << y;
            EXPECT_LE(std::abs(c.g - (y * 53) % 256), 4) << x << "," << y;
            EXPECT_LE(std::abs(c.b - ((x + y) * 91) % 256), 4) << x << "," << y;
        }
    }
}

// libjpeg only warns about a file cut short and fills the rest grey; that
// must not pass for a picture.
TEST(JpegDecoderTest, CutShortIsAnErrorNotAGreyPicture) {
    for (const char* name : {"broken/truncated.jpg", "broken/no_eoi.jpg"}) {
        try {
            DecodeJpeg(ReadCorpusFile(name));
            ADD_FAILURE() << name << " decoded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(e.Message().find("Premature end of JPEG file"), std::string::npos)
                << e.Message();
        }
    }
}

TEST(JpegDecoderTest, SizeIsCheckedFromTheFrameHeader) {
    try {
        DecodeJpeg(ReadCorpusFile("broken/huge_65500x65500.jpg"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("65500 x 65500"), std::string::npos) << e.Message();
    }
}

}  // namespace
}  // namespace tw
