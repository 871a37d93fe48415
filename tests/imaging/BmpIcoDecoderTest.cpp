#include "imaging/BmpIcoDecoder.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "imaging/Corpus.h"

namespace tw {
namespace {

using test::ReadCorpusFile;

TEST(BmpIcoDecoderTest, BottomUpBitmapComesOutTopDown) {
    const TBitmap32 bitmap = DecodeBmp(ReadCorpusFile("valid/rgb_2x2.bmp"));
    ASSERT_EQ(bitmap.width, 2);
    ASSERT_EQ(bitmap.height, 2);
    EXPECT_FALSE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.format, TImageFormat::Bmp);
    EXPECT_EQ(bitmap.pixels,
              (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFF010203u}));
}

TEST(BmpIcoDecoderTest, BitmapWithAlphaMaskKeepsAlpha) {
    const TBitmap32 bitmap = DecodeBmp(ReadCorpusFile("valid/alpha_2x2.bmp"));
    EXPECT_TRUE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(bitmap.Pixel(1, 0), 0x8000FF00u);
    EXPECT_EQ(bitmap.Pixel(0, 1) >> 24, 0u);
}

TEST(BmpIcoDecoderTest, IconImagesWithAlpha) {
    const TBitmap32 icon = DecodeIco(ReadCorpusFile("valid/argb_2x2.ico"));
    ASSERT_EQ(icon.width, 2);
    ASSERT_EQ(icon.height, 2);
    EXPECT_TRUE(icon.hasAlpha);
    EXPECT_EQ(icon.format, TImageFormat::Ico);
    EXPECT_EQ(icon.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(icon.Pixel(1, 0) >> 24, 0u);
    EXPECT_EQ(icon.Pixel(0, 1), 0xC80000FFu);
    EXPECT_EQ(icon.Pixel(1, 1), 0xFF070809u);

    const TBitmap32 png = DecodeIco(ReadCorpusFile("valid/png_inside_4x4.ico"));
    ASSERT_EQ(png.width, 4);
    EXPECT_TRUE(png.hasAlpha);
    EXPECT_EQ(png.Pixel(1, 0), 0x8000FF00u);
}

// The header is read before Qt sees the data: a size over the limit or rows
// missing at the end are refused whatever Qt would make of them.
TEST(BmpIcoDecoderTest, HeadersAreCheckedBeforeQtReads) {
    try {
        DecodeBmp(ReadCorpusFile("broken/truncated.bmp"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "Corrupt BMP picture: the file is cut short");
    }
    for (const char* name : {"broken/huge_dib.ico", "broken/huge_png_inside.ico"}) {
        try {
            DecodeIco(ReadCorpusFile(name));
            ADD_FAILURE() << name << " decoded";
        } catch (const EInvalidGraphic& e) {
            EXPECT_NE(e.Message().find("100000 x 100000"), std::string::npos) << e.Message();
        }
    }
}

}  // namespace
}  // namespace tw
