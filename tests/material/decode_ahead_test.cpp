// Pictures decoded ahead on another thread: the same pixels as decoding on need, errors raised
// where the pixels are asked for, and images that change or go while the thread still runs.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "material/jpegimage.h"
#include "platform/exception.h"
#include "tests/material/jpeg_encoder.h"

namespace sauno {
namespace {

using test::EncodeJPEG;
using test::Gradient;

test::Rgb Checks(int x, int y) { return {uint8_t((x / 8 + y / 8) % 2 ? 230 : 20), uint8_t(x % 256), uint8_t(y % 256)}; }

std::unique_ptr<TJPEGImage> Image(const std::vector<uint8_t>& jpeg)
{
    auto image = std::make_unique<TJPEGImage>();
    image->LoadFromJPEG(jpeg);
    return image;
}

std::vector<uint8_t> PixelsOnNeed(const std::vector<uint8_t>& jpeg) { return Image(jpeg)->Pixels().Data; }

TEST(MaterialDecodeAhead, PicturesDecodedAheadAreThoseDecodedOnNeedAndErrorsWaitForTheAsking)
{
    const std::vector<std::vector<uint8_t>> files = {
        EncodeJPEG(689, 433, false, false, Checks), EncodeJPEG(37, 29, true, false, Gradient),
        EncodeJPEG(400, 300, false, true, Checks), test::BadScanJPEG(), EncodeJPEG(512, 64, false, false, Gradient)};
    std::vector<std::unique_ptr<TJPEGImage>> images;
    for (const auto& file : files) images.push_back(Image(file));
    images[4]->Pixels();  // already decoded: left as it is
    std::vector<TJPEGImage*> pointers = {nullptr};
    for (auto& image : images) pointers.push_back(image.get());
    TJPEGImage::DecodeAhead(pointers);
    TJPEGImage::DecodeAhead(pointers);  // asked twice: the first thread does the work

    for (size_t i = 0; i < images.size(); ++i) {
        if (i == 3) continue;
        EXPECT_EQ(images[i]->Pixels().Data, PixelsOnNeed(files[i])) << i;
        EXPECT_EQ(images[i]->Pixels().Width, images[i]->Width());
        EXPECT_TRUE(images[i]->Decoded());
    }
    // The damaged one fails where its pixels are asked for, and again the next time.
    EXPECT_THROW(images[3]->Pixels(), Exception);
    EXPECT_THROW(images[3]->Pixels(), Exception);
    EXPECT_FALSE(images[3]->Decoded());
}

TEST(MaterialDecodeAhead, ImagesMayBeLoadedAgainOrDestroyedWhileTheThreadRuns)
{
    const std::vector<uint8_t> big = EncodeJPEG(1400, 1000, false, false, Checks);
    const std::vector<uint8_t> other = EncodeJPEG(50, 40, false, false, Gradient);
    auto first = Image(big), second = Image(big), third = Image(big);
    TJPEGImage* pointers[] = {first.get(), second.get(), third.get()};
    TJPEGImage::DecodeAhead(pointers);
    first.reset();               // waits for its own decoding before its file goes
    second->LoadFromJPEG(other);  // the new file is decoded, not the old one
    EXPECT_EQ(second->Width(), 50);
    EXPECT_EQ(second->Pixels().Data, PixelsOnNeed(other));
    EXPECT_EQ(third->Pixels().Data, PixelsOnNeed(big));
}

TEST(MaterialDecodeAhead, ReleasedPixelsAreDecodedAgainTheSame)
{
    const std::vector<uint8_t> file = EncodeJPEG(120, 90, false, false, Checks);
    auto image = Image(file);
    const std::vector<uint8_t> once = image->Pixels().Data;
    image->ReleasePixels();
    EXPECT_FALSE(image->Decoded());
    EXPECT_EQ(image->JPEGData().size(), file.size());  // the file itself stays
    EXPECT_EQ(image->Pixels().Data, once);
}

}  // namespace
}  // namespace sauno
