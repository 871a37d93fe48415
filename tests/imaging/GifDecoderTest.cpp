#include "imaging/GifDecoder.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "imaging/Corpus.h"

namespace tw {
namespace {

using test::ReadCorpusFile;

constexpr uint32_t kPalette[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};

TEST(GifDecoderTest, TransparentIndexGetsAlphaZero) {
    const TBitmap32 bitmap = DecodeGif(ReadCorpusFile("valid/transparent_4x4.gif"));
    ASSERT_EQ(bitmap.width, 4);
    ASSERT_EQ(bitmap.height, 4);
    EXPECT_TRUE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.format, TImageFormat::Gif);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int index = (x + y) % 4;
            if (index == 3) {
                EXPECT_EQ(bitmap.Pixel(x, y) >> 24, 0u) << x << "," << y;
            } else {
                EXPECT_EQ(bitmap.Pixel(x, y), kPalette[index]) << x << "," << y;
            }
        }
    }
}

TEST(GifDecoderTest, GifWithoutTransparencyIsOpaque) {
    const TBitmap32 bitmap = DecodeGif(ReadCorpusFile("valid/plain_2x2.gif"));
    EXPECT_FALSE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.pixels,
              (std::vector<uint32_t>{kPalette[0], kPalette[1], kPalette[2], kPalette[3]}));
}

TEST(GifDecoderTest, FrameSitsAtItsOffsetOnTheScreen) {
    const TBitmap32 bitmap = DecodeGif(ReadCorpusFile("valid/offset_frame_4x4.gif"));
    ASSERT_EQ(bitmap.width, 4);
    EXPECT_TRUE(bitmap.hasAlpha);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool inFrame = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            EXPECT_EQ(bitmap.Pixel(x, y), inFrame ? kPalette[2] : 0u) << x << "," << y;
        }
    }
}

TEST(GifDecoderTest, InterlacedRowsAreReordered) {
    const TBitmap32 bitmap = DecodeGif(ReadCorpusFile("valid/interlaced_1x8.gif"));
    ASSERT_EQ(bitmap.height, 8);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(bitmap.Pixel(0, y), kPalette[y % 4]) << y;
    }
}

TEST(GifDecoderTest, ScreenAndFrameSizesAreBothLimited) {
    for (const char* name : {"broken/huge_screen_65535x65535.gif", "broken/huge_frame.gif"}) {
        try {
            DecodeGif(ReadCorpusFile(name));
            ADD_FAILURE() << name << " decoded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(e.Message().find("65535 x 65535"), std::string::npos) << e.Message();
        }
    }
}

}  // namespace
}  // namespace tw
