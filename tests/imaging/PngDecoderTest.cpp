#include "imaging/PngDecoder.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "imaging/Corpus.h"

namespace tw {
namespace {

using test::ReadCorpusFile;

TEST(PngDecoderTest, OpaqueColoursComeThroughExactly) {
    const TBitmap32 bitmap = DecodePng(ReadCorpusFile("valid/rgb_4x4.png"));
    EXPECT_EQ(bitmap.width, 4);
    EXPECT_EQ(bitmap.height, 4);
    EXPECT_FALSE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.format, TImageFormat::Png);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(bitmap.Pixel(2, 0), 0xFF0000FFu);
    EXPECT_EQ(bitmap.Pixel(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF010203u);
    EXPECT_EQ(bitmap.Pixel(2, 3), 0xFFFA8007u);

    const TBitmap32 grey = DecodePng(ReadCorpusFile("valid/gray_1x1.png"));
    EXPECT_FALSE(grey.hasAlpha);
    EXPECT_EQ(grey.Pixel(0, 0), 0xFF4D4D4Du);
}

// Sixteen bits a channel without a gamma chunk are sRGB like eight: 0x8080
// is 128, not a linear value brightened on the way down.
TEST(PngDecoderTest, OtherDepthsAndLayouts) {
    const TBitmap32 deep = DecodePng(ReadCorpusFile("valid/rgba16_1x1.png"));
    EXPECT_TRUE(deep.hasAlpha);
    EXPECT_EQ(deep.Pixel(0, 0), 0xFFFF0080u);

    const TBitmap32 greyAlpha = DecodePng(ReadCorpusFile("valid/grey_alpha_1x1.png"));
    EXPECT_TRUE(greyAlpha.hasAlpha);
    EXPECT_EQ(greyAlpha.Pixel(0, 0), 0x64C8C8C8u);

    const TBitmap32 bits = DecodePng(ReadCorpusFile("valid/grey1bit_8x1.png"));
    const bool white[] = {true, false, true, true, false, false, false, true};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(bits.Pixel(x, 0), white[x] ? 0xFFFFFFFFu : 0xFF000000u) << x;
    }

    EXPECT_EQ(DecodePng(ReadCorpusFile("valid/interlaced_1x1.png")).Pixel(0, 0), 0xFF010203u);
}

// Straight alpha: the colour of a half-transparent pixel is not darkened,
// and a nearly transparent pixel keeps its colour for the soft edge.
TEST(PngDecoderTest, AlphaChannelStaysStraight) {
    const TBitmap32 bitmap = DecodePng(ReadCorpusFile("valid/rgba_4x4.png"));
    EXPECT_TRUE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.Pixel(0, 2), 0xFFFF0000u);
    EXPECT_EQ(bitmap.Pixel(1, 2), 0x8000FF00u);
    EXPECT_EQ(bitmap.Pixel(2, 2) >> 24, 0u);
    EXPECT_EQ(bitmap.Pixel(3, 3), 0x010A141Eu);
}

TEST(PngDecoderTest, TransparentPaletteEntryCountsAsAlpha) {
    const TBitmap32 bitmap = DecodePng(ReadCorpusFile("valid/palette_trns_2x2.png"));
    EXPECT_TRUE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.Pixel(0, 0) >> 24, 0u);
    EXPECT_EQ(bitmap.Pixel(1, 0), 0xFFFF00FFu);
    EXPECT_EQ(bitmap.Pixel(0, 1), 0xFF090807u);
}

TEST(PngDecoderTest, ErrorsNameTheFormatAndTheCause) {
    try {
        DecodePng(ReadCorpusFile("broken/bad_ihdr_crc.png"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message().rfind("Corrupt PNG picture: ", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("CRC"), std::string::npos) << e.Message();
    }
    try {
        DecodePng(ReadCorpusFile("broken/huge_100000x100000.png"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(e.Message().find("100000 x 100000"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("too large"), std::string::npos) << e.Message();
    }
}

}  // namespace
}  // namespace tw
