// Damaged JPEG pictures: cut short, with bytes changed, or announcing absurd sizes. Each must
// give an Exception or a decoded picture, never a crash or a read outside its bytes.
#include <gtest/gtest.h>

#include <random>

#include "material/bitmap32.h"
#include "material/jpegimage.h"
#include "platform/exception.h"
#include "tests/material/jpeg_encoder.h"

namespace sauno {
namespace {

using test::EncodeJPEG;
using test::Gradient;

enum class Outcome { kError, kDecoded };

// Loads and converts; any exception other than ours fails the test.
Outcome Load(std::span<const uint8_t> jpeg)
{
    try {
        TJPEGImage image;
        image.LoadFromJPEG(jpeg);
        TBitmap32 bitmap;
        bitmap.Assign(&image);
        EXPECT_EQ(bitmap.DataSize(), size_t(bitmap.Width) * size_t(bitmap.Height) * 4);
        EXPECT_EQ(bitmap.Height, image.Height());
        return Outcome::kDecoded;
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Invalid JPEG picture"), std::string::npos) << e.what();
        return Outcome::kError;
    }
}

std::vector<std::vector<uint8_t>> Samples()
{
    return {EncodeJPEG(37, 29, false, false, Gradient), EncodeJPEG(37, 29, false, true, Gradient),
            EncodeJPEG(37, 29, true, false, Gradient), EncodeJPEG(37, 29, true, true, Gradient)};
}

TEST(MaterialJpegDamage, EveryCutPoint)
{
    for (const auto& jpeg : Samples()) {
        int errors = 0;
        for (size_t cut = 0; cut < jpeg.size(); ++cut) {
            // A copy of exactly the cut length, so that a read past it is caught.
            const std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(cut));
            if (Load(part) == Outcome::kError) ++errors;
        }
        EXPECT_GT(errors, 0);  // at least every cut inside the header
        EXPECT_EQ(Load(jpeg), Outcome::kDecoded);
    }
}

TEST(MaterialJpegDamage, RandomByteChanges)
{
    std::mt19937 random(20261209);
    for (const auto& jpeg : Samples())
        for (int round = 0; round < 1500; ++round) {
            std::vector<uint8_t> damaged = jpeg;
            const int changes = 1 + int(random() % 8);
            for (int i = 0; i < changes; ++i) damaged[random() % damaged.size()] = uint8_t(random());
            Load(damaged);
        }
}

TEST(MaterialJpegDamage, AbsurdSizeIsRefusedBeforeDecoding)
{
    std::vector<uint8_t> jpeg = EncodeJPEG(37, 29, false, false, Gradient);
    size_t sof = 0;
    for (size_t i = 2; i + 9 < jpeg.size() && !sof; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) sof = i;
    ASSERT_NE(sof, 0u);
    for (size_t i = sof + 5; i < sof + 9; i += 2) {  // 65024 x 65024
        jpeg[i] = 0xFE;
        jpeg[i + 1] = 0x00;
    }
    TJPEGImage image;
    try {
        image.LoadFromJPEG(jpeg);
        FAIL() << "accepted a 65024 x 65024 picture";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("65024 x 65024 is out of range"), std::string::npos) << e.what();
    }
    EXPECT_EQ(image.Width(), 0);
}

TEST(MaterialJpegDamage, DamageIsNotPrintedAndFailedDecodingCanBeRetried)
{
    const std::vector<uint8_t> jpeg = EncodeJPEG(300, 200, false, false, Gradient);
    // Cut in the middle of the picture data: the header reads, the decoder works around it.
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() * 3 / 4));
    testing::internal::CaptureStderr();
    TJPEGImage image;
    image.LoadFromJPEG(cut);
    image.Pixels();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(image.Decoded());

    // A damaged later scan of a progressive picture fails at decoding, every time it is asked.
    std::vector<uint8_t> badScan = EncodeJPEG(300, 200, false, true, Gradient);
    size_t sos = 0;
    int found = 0;
    for (size_t i = 2; i + 5 < badScan.size() && found < 2; ++i)
        if (badScan[i] == 0xFF && badScan[i + 1] == 0xDA && ++found == 2) sos = i;
    ASSERT_NE(sos, 0u);
    badScan[sos + 4] = 9;  // component count of the scan
    TJPEGImage failing;
    failing.LoadFromJPEG(badScan);
    EXPECT_THROW(failing.Pixels(), Exception);
    EXPECT_THROW(failing.Pixels(), Exception);
    EXPECT_FALSE(failing.Decoded());
}

}  // namespace
}  // namespace sauno
