// The embedded picture form and the JPEG header.
#include <gtest/gtest.h>

#include "material/jpegimage.h"
#include "material/picture.h"
#include "platform/exception.h"
#include "tests/material/jpeg_encoder.h"

namespace sauno {
namespace {

using test::EmbedJPEG;
using test::EncodeJPEG;
using test::Gradient;

std::string ErrorOf(TPicture& picture, const std::vector<uint8_t>& data)
{
    try {
        picture.ReadData(data);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TEST(MaterialPicture, EmbeddedFormRoundTripsByteForByte)
{
    const auto data = EmbedJPEG(EncodeJPEG(5, 3, false, false, Gradient));
    TPicture picture;
    picture.ReadData(data);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(picture.Width(), 5);
    EXPECT_EQ(picture.Height(), 3);
    auto* jpeg = dynamic_cast<TJPEGImage*>(picture.Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->JPEGData().size(), data.size() - 15);
    EXPECT_EQ(picture.WriteData(), data);
}

TEST(MaterialPicture, EmptyAndUnknownClassesGiveAnEmptyPicture)
{
    TPicture picture;
    picture.ReadData({});
    EXPECT_TRUE(picture.Empty());
    EXPECT_TRUE(picture.WriteData().empty());

    picture.ReadData(EmbedJPEG(EncodeJPEG(5, 3, false, false, Gradient)));
    ASSERT_FALSE(picture.Empty());
    std::vector<uint8_t> unknown = {10, 'T', 'P', 'N', 'G', 'O', 'b', 'j', 'e', 'c', 't', 1, 2, 3};
    picture.ReadData(unknown);
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(picture.Graphic(), nullptr);
    // The name is matched exactly.
    std::vector<uint8_t> lowerCase = EmbedJPEG(EncodeJPEG(5, 3, false, false, Gradient));
    lowerCase[1] = 't';
    picture.ReadData(lowerCase);
    EXPECT_TRUE(picture.Empty());
}

TEST(MaterialPicture, DataRunningPastItsEndIsAnErrorThatKeepsThePicture)
{
    TPicture picture;
    const auto good = EmbedJPEG(EncodeJPEG(5, 3, false, false, Gradient));
    picture.ReadData(good);

    // Class-name length beyond the data, and a name cut short.
    EXPECT_NE(ErrorOf(picture, {20, 'T', 'J'}).find("class name of 20 bytes runs past"), std::string::npos);
    EXPECT_NE(ErrorOf(picture, {std::begin(good), std::begin(good) + 6}).find("runs past"), std::string::npos);
    // No room for the JPEG length, and a JPEG length beyond the data.
    EXPECT_NE(ErrorOf(picture, {std::begin(good), std::begin(good) + 13}).find("too short"), std::string::npos);
    auto longer = good;
    const uint32_t tooLong = uint32_t(good.size() - 15 + 1);
    for (int i = 0; i < 4; ++i) longer[size_t(11 + i)] = uint8_t(tooLong >> (8 * i));
    EXPECT_NE(ErrorOf(picture, longer).find("runs past the " + std::to_string(good.size() - 15)),
              std::string::npos);
    auto huge = good;
    huge[14] = 0xFF;
    EXPECT_NE(ErrorOf(picture, huge).find("runs past"), std::string::npos);
    // A length of zero and bytes that are no JPEG.
    std::vector<uint8_t> zero(good.begin(), good.begin() + 11);
    zero.insert(zero.end(), {0, 0, 0, 0});
    EXPECT_NE(ErrorOf(picture, zero).find("Invalid JPEG picture"), std::string::npos);
    std::vector<uint8_t> text(good.begin(), good.begin() + 11);
    text.insert(text.end(), {4, 0, 0, 0, 'a', 'b', 'c', 'd'});
    EXPECT_NE(ErrorOf(picture, text).find("Invalid JPEG picture: Not a JPEG file"), std::string::npos);

    EXPECT_EQ(picture.WriteData(), good);
}

TEST(MaterialPicture, HeaderIsReadWithoutDecoding)
{
    struct Case {
        int width, height;
        bool grey, progressive;
    };
    for (const Case c : {Case{907, 680, false, false}, Case{907, 680, false, true}, Case{5, 3, true, false},
                         Case{5, 3, true, true}}) {
        TJPEGImage image;
        image.LoadFromJPEG(EncodeJPEG(c.width, c.height, c.grey, c.progressive, Gradient));
        EXPECT_EQ(image.Width(), c.width);
        EXPECT_EQ(image.Height(), c.height);
        EXPECT_EQ(image.Grayscale(), c.grey);
        EXPECT_EQ(image.ProgressiveEncoding(), c.progressive);
        EXPECT_FALSE(image.Decoded());
        const TPixelRows& rows = image.Pixels();
        EXPECT_TRUE(image.Decoded());
        EXPECT_EQ(rows.Data.size(), size_t(c.width) * size_t(c.height) * 3);
    }
}

TEST(MaterialPicture, RegisteredClassIsCreatedByName)
{
    struct TTestGraphic : TGraphic {
        std::string_view ClassName() const override { return "TTestGraphic"; }
        int Width() const override { return int(bytes.size()); }
        int Height() const override { return 1; }
        void LoadFromData(std::span<const uint8_t> data) override { bytes.assign(data.begin(), data.end()); }
        void SaveToData(std::vector<uint8_t>& out) const override { out.insert(out.end(), bytes.begin(), bytes.end()); }
        const TPixelRows& Pixels() override { return rows; }
        std::vector<uint8_t> bytes;
        TPixelRows rows;
    };
    RegisterPictureClass("TTestGraphic", [] { return std::make_unique<TTestGraphic>(); });
    const std::vector<uint8_t> data = {12, 'T', 'T', 'e', 's', 't', 'G', 'r', 'a', 'p', 'h', 'i', 'c', 7, 8};
    TPicture picture;
    picture.ReadData(data);
    EXPECT_EQ(picture.Width(), 2);
    EXPECT_EQ(picture.WriteData(), data);
}

}  // namespace
}  // namespace sauno
