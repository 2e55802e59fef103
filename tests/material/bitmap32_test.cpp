// Converting pictures to 32-bit bitmaps, and the pixel passes before upload.
#include <gtest/gtest.h>

#include <cmath>

#include "material/bitmap32.h"
#include "material/jpegimage.h"
#include "platform/exception.h"
#include "tests/material/jpeg_encoder.h"

namespace sauno {
namespace {

using test::EmbedJPEG;
using test::EncodeJPEG;
using test::Gradient;

// 5 x 3 rows whose pixel (x, y) is (10x + y, 100 + y, 200 + x) in the given order.
TPixelRows Pattern5x3(TChannelOrder order, int bytesPerPixel)
{
    TPixelRows rows{5, 3, bytesPerPixel, order, {}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t r = uint8_t(10 * x + y), g = uint8_t(100 + y), b = uint8_t(200 + x);
            if (order == TChannelOrder::coRGB) rows.Data.insert(rows.Data.end(), {r, g, b});
            else rows.Data.insert(rows.Data.end(), {b, g, r});
            if (bytesPerPixel == 4) rows.Data.push_back(uint8_t(x + 1));
        }
    return rows;
}

TEST(MaterialBitmap32, RowsAreWidenedTurnedBottomUpAndMadeRGBA)
{
    TBitmap32 bitmap;
    bitmap.Assign(Pattern5x3(TChannelOrder::coBGR, 3));
    ASSERT_EQ(bitmap.Width, 8);
    ASSERT_EQ(bitmap.Height, 3);
    ASSERT_EQ(bitmap.DataSize(), 8u * 3 * 4);
    // Nearest-neighbour widening: column x comes from x * 5 div 8.
    const int source[8] = {0, 0, 1, 1, 2, 3, 3, 4};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint8_t* p = bitmap.Pixel(x, 2 - y);  // picture row y is data row 2 - y
            const int sx = source[x];
            EXPECT_EQ(p[0], 10 * sx + y);
            EXPECT_EQ(p[1], 100 + y);
            EXPECT_EQ(p[2], 200 + sx);
            EXPECT_EQ(p[3], 255);
        }

    TBitmap32 reversed;
    reversed.VerticalReverse = true;
    reversed.Assign(Pattern5x3(TChannelOrder::coRGB, 3));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(reversed.Pixel(7, y)[0], 40 + y);

    TBitmap32 withAlpha;
    withAlpha.Assign(Pattern5x3(TChannelOrder::coBGR, 4));
    EXPECT_EQ(withAlpha.Pixel(7, 0)[0], 42);
    EXPECT_EQ(withAlpha.Pixel(7, 0)[3], 5);

    TBitmap32 copy;
    copy.Assign(reversed);
    EXPECT_EQ(copy.Data, reversed.Data);
    EXPECT_TRUE(copy.VerticalReverse);
}

TEST(MaterialBitmap32, MalformedRowsAndEmptyPicturesAreHandled)
{
    TPixelRows rows = Pattern5x3(TChannelOrder::coRGB, 3);
    rows.Data.pop_back();
    TBitmap32 bitmap;
    EXPECT_THROW(bitmap.Assign(rows), Exception);
    rows.BytesPerPixel = 2;
    EXPECT_THROW(bitmap.Assign(rows), Exception);

    bitmap.Assign(Pattern5x3(TChannelOrder::coRGB, 3));
    bitmap.Assign(static_cast<const TPicture*>(nullptr));
    EXPECT_EQ(bitmap.Width, 0);
    EXPECT_EQ(bitmap.DataSize(), 0u);
    TPicture unknown;
    unknown.ReadData(std::vector<uint8_t>{3, 'T', 'X', 'Y'});
    bitmap.Assign(&unknown);
    EXPECT_EQ(bitmap.Height, 0);
}

TEST(MaterialBitmap32, JpegOf907x680IsWidenedTo908)
{
    TPicture picture;
    picture.ReadData(EmbedJPEG(EncodeJPEG(907, 680, false, false, Gradient)));
    TBitmap32 bitmap;
    bitmap.Assign(&picture);
    ASSERT_EQ(bitmap.Width, 908);
    ASSERT_EQ(bitmap.Height, 680);
    ASSERT_EQ(bitmap.DataSize(), 908u * 680 * 4);
    const TPixelRows& decoded = picture.Graphic()->Pixels();
    for (int y = 0; y < 680; y += 17)
        for (int x = 0; x < 908; x += 13) {
            const uint8_t* p = bitmap.Pixel(x, 679 - y);
            const uint8_t* source = &decoded.Data[(size_t(y) * 907 + size_t(x) * 907 / 908) * 3];
            ASSERT_EQ(p[0], source[0]);
            ASSERT_EQ(p[1], source[1]);
            ASSERT_EQ(p[2], source[2]);
            const test::Rgb expected = Gradient(x * 907 / 908, y);
            EXPECT_NEAR(p[0], expected.r, 6);
            EXPECT_NEAR(p[1], expected.g, 6);
            EXPECT_NEAR(p[2], expected.b, 6);
        }
    for (size_t i = 3; i < bitmap.Data.size(); i += 4) ASSERT_EQ(bitmap.Data[i], 255);
    // The last column repeats the picture's last one.
    EXPECT_EQ(bitmap.Pixel(907, 0)[0], bitmap.Pixel(906, 0)[0]);
}

TEST(MaterialBitmap32, JpegOf512x512AndGreyPicturesKeepTheirPixels)
{
    TJPEGImage image;
    image.LoadFromJPEG(EncodeJPEG(512, 512, false, true, Gradient));
    TBitmap32 bitmap;
    bitmap.Assign(&image);
    ASSERT_EQ(bitmap.Width, 512);
    ASSERT_EQ(bitmap.Height, 512);
    const TPixelRows& decoded = image.Pixels();
    for (int y = 0; y < 512; y += 31)
        for (int x = 0; x < 512; x += 29)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(bitmap.Pixel(x, 511 - y)[c], decoded.Data[(size_t(y) * 512 + size_t(x)) * 3 + size_t(c)]);

    TJPEGImage grey;
    grey.LoadFromJPEG(EncodeJPEG(5, 3, true, false, [](int x, int) { return test::Rgb{uint8_t(x * 50), 0, 0}; }));
    bitmap.Assign(&grey);
    ASSERT_EQ(bitmap.Width, 8);
    for (int x = 0; x < 8; ++x) {
        const uint8_t* p = bitmap.Pixel(x, 1);
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[1], p[2]);
        EXPECT_EQ(p[3], 255);
    }
    EXPECT_LT(bitmap.Pixel(0, 1)[0], bitmap.Pixel(7, 1)[0]);
}

TEST(MaterialBitmap32, AlphaModes)
{
    TBitmap32 source;
    source.Width = 4;
    source.Height = 1;
    source.Data = {30, 60, 90, 7, 0, 0, 0, 7, 255, 255, 255, 7, 30, 60, 90, 7};
    struct Case {
        TTextureImageAlpha mode;
        std::array<int, 4> alpha;
    };
    // Luminance 60, 0, 255, 60; its square root on 0 ... 255 is 124 for 60.
    const Case cases[] = {
        {TTextureImageAlpha::tiaDefault, {7, 7, 7, 7}},
        {TTextureImageAlpha::tiaAlphaFromIntensity, {60, 0, 255, 60}},
        {TTextureImageAlpha::tiaLuminance, {60, 0, 255, 60}},
        {TTextureImageAlpha::tiaSuperBlackTransparent, {255, 0, 255, 255}},
        {TTextureImageAlpha::tiaLuminanceSqrt, {124, 0, 255, 124}},
        {TTextureImageAlpha::tiaOpaque, {255, 255, 255, 255}},
        {TTextureImageAlpha::tiaTopLeftPointColorTransparent, {0, 255, 255, 0}},
        {TTextureImageAlpha::tiaInverseLuminance, {195, 255, 0, 195}},
        {TTextureImageAlpha::tiaInverseLuminanceSqrt, {131, 255, 0, 131}},
    };
    for (const Case& c : cases) {
        TBitmap32 bitmap = source;
        ApplyImageAlpha(bitmap, c.mode);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(bitmap.Data[size_t(i) * 4 + 3], c.alpha[size_t(i)]) << int(c.mode) << " pixel " << i;
            EXPECT_EQ(bitmap.Data[size_t(i) * 4], source.Data[size_t(i) * 4]);
        }
    }
    TBitmap32 empty;
    ApplyImageAlpha(empty, TTextureImageAlpha::tiaTopLeftPointColorTransparent);
}

TEST(MaterialBitmap32, BrightnessAndGamma)
{
    TBitmap32 source;
    source.Width = 2;
    source.Height = 1;
    source.Data = {0, 64, 101, 10, 200, 255, 128, 20};
    auto colours = [](float brightness, float gamma, bool useGamma) {
        TBitmap32 bitmap;
        bitmap.Width = 2;
        bitmap.Height = 1;
        bitmap.Data = {0, 64, 101, 10, 200, 255, 128, 20};
        if (useGamma) ImageGamma(bitmap, gamma);
        else ImageBrightness(bitmap, brightness);
        return bitmap.Data;
    };
    EXPECT_EQ(colours(1.0f, 0, false), source.Data);
    EXPECT_EQ(colours(2.0f, 0, false), (std::vector<uint8_t>{0, 128, 202, 10, 255, 255, 255, 20}));
    EXPECT_EQ(colours(0.5f, 0, false), (std::vector<uint8_t>{0, 32, 51, 10, 100, 128, 64, 20}));
    EXPECT_EQ(colours(-1.0f, 0, false), (std::vector<uint8_t>{0, 0, 0, 10, 0, 0, 0, 20}));
    // 255 * (64 / 255) ^ 0.5 = 127.75; exponent 10 below a gamma of 0.1.
    const auto brighter = colours(0, 2.0f, true);
    EXPECT_EQ(brighter[1], 128);
    EXPECT_EQ(brighter[5], 255);
    EXPECT_EQ(brighter[3], 10);
    const uint8_t tenth = uint8_t(std::lround(255 * std::pow(200 / 255.0, 10)));
    EXPECT_EQ(colours(0, 0.05f, true)[4], tenth);
    EXPECT_EQ(colours(0, 0.0f, true)[4], tenth);
    EXPECT_EQ(colours(0, -3.0f, true)[4], tenth);
    EXPECT_EQ(colours(0, std::nanf(""), true)[4], tenth);
}

TEST(MaterialBitmap32, BlankImageSizing)
{
    const TBitmap32 blank = BlankBitmap32(5, 3);
    EXPECT_EQ(blank.Width, 8);
    EXPECT_EQ(blank.Height, 3);
    EXPECT_EQ(blank.DataSize(), 96u);
    EXPECT_EQ(BlankBitmap32(256, 256).Width, 256);
    EXPECT_EQ(BlankBitmap32(0, 10).DataSize(), 0u);
    EXPECT_EQ(BlankBitmap32(10, -1).DataSize(), 0u);
    EXPECT_THROW(BlankBitmap32(2000000000, 2000000000), Exception);
}

}  // namespace
}  // namespace sauno
