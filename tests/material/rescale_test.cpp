// The rescale to powers of two against the system's GLU, pixel for pixel, on a real context.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "material/rescale.h"
#include "platform/exception.h"
#include "tests/engine/gl_fixture.h"

using namespace sauno;

namespace {

// Smooth ramps with noise on top and a few hard edges: every kind of neighbourhood a photo has.
std::vector<uint8_t> Picture(int width, int height, int components, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * size_t(components));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < components; ++k) {
                int v = (x * 255 / width + y * 97 / height + k * 60) % 256 + noise(random);
                if ((x / 7 + y / 5) % 11 == 0) v = k % 2 ? 0 : 255;
                pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(components) + size_t(k)] =
                    static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
    return pixels;
}

GLenum Format(int components)
{
    static const GLenum formats[] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA};
    return formats[components - 1];
}

class RescaleTest : public sauno::testing::GLTest {
protected:
    // Rescales with both and returns the largest difference of any channel.
    int LargestDifference(int width, int height, int components, int targetWidth, int targetHeight, int threads = 1)
    {
        const std::vector<uint8_t> source = Picture(width, height, components, unsigned(width * 31 + height));
        std::vector<uint8_t> reference(size_t(targetWidth) * size_t(targetHeight) * size_t(components));
        std::vector<uint8_t> ours(reference.size());
        // Rows packed without padding, as ours are.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        EXPECT_EQ(gluScaleImage(Format(components), width, height, GL_UNSIGNED_BYTE, source.data(), targetWidth,
                                targetHeight, GL_UNSIGNED_BYTE, reference.data()),
                  0);
        RescaleImage(source, width, height, components, ours, targetWidth, targetHeight, threads);
        int largest = 0;
        for (size_t i = 0; i < ours.size(); ++i) largest = std::max(largest, std::abs(int(ours[i]) - int(reference[i])));
        return largest;
    }
};

}  // namespace

TEST_F(RescaleTest, TheGamesPicturesComeOutAsGluMakesThem)
{
    // Widened sizes of the room's pictures, enlarged to 1024 x 1024.
    EXPECT_LE(LargestDifference(908, 680, 4, 1024, 1024), 1);
    EXPECT_LE(LargestDifference(692, 933, 4, 1024, 1024), 1);
    EXPECT_LE(LargestDifference(780, 583, 4, 1024, 1024), 1);
}

TEST_F(RescaleTest, ShrinkingAndMixedDirectionsComeOutAsGluMakesThem)
{
    // A GL limit below the picture's size shrinks it, by no whole factor.
    EXPECT_LE(LargestDifference(908, 680, 4, 512, 512), 1);
    EXPECT_LE(LargestDifference(1000, 700, 4, 256, 128), 1);
    // Wider in one direction, narrower in the other.
    EXPECT_LE(LargestDifference(300, 900, 4, 512, 256), 1);
    EXPECT_LE(LargestDifference(100, 3, 4, 16, 4), 1);
}

TEST_F(RescaleTest, ExactHalvingAveragesBlocksExactlyAsGluDoes)
{
    EXPECT_EQ(LargestDifference(64, 48, 4, 32, 24), 0);
    EXPECT_EQ(LargestDifference(2, 2, 3, 1, 1), 0);
}

TEST_F(RescaleTest, EdgesWrapAroundAndEveryPixelSizeWorks)
{
    // Tiny pictures: the box reaches past both edges and wraps round.
    EXPECT_LE(LargestDifference(1, 1, 4, 4, 4), 1);
    EXPECT_LE(LargestDifference(3, 1, 4, 4, 2), 1);
    EXPECT_LE(LargestDifference(5, 7, 4, 8, 8), 1);
    // One to three bytes per pixel, odd widths.
    EXPECT_LE(LargestDifference(37, 19, 1, 64, 32), 1);
    EXPECT_LE(LargestDifference(37, 19, 2, 64, 32), 1);
    EXPECT_LE(LargestDifference(37, 19, 3, 64, 32), 1);
    EXPECT_LE(LargestDifference(101, 77, 3, 64, 64), 1);
}

TEST_F(RescaleTest, ThreadsChangeNothing)
{
    const std::vector<uint8_t> source = Picture(908, 680, 4, 7);
    std::vector<uint8_t> one(1024 * 1024 * 4), two(one.size()), three(one.size());
    RescaleImage(source, 908, 680, 4, one, 1024, 1024, 1);
    RescaleImage(source, 908, 680, 4, two, 1024, 1024, 2);
    RescaleImage(source, 908, 680, 4, three, 1024, 1024, 3);
    EXPECT_EQ(one, two);
    EXPECT_EQ(one, three);
    EXPECT_LE(LargestDifference(908, 680, 4, 1024, 1024, 2), 1);
}

TEST_F(RescaleTest, BuffersTooSmallOrBadSizesAreRefusedWithoutWriting)
{
    const std::vector<uint8_t> source(16 * 16 * 4, 200);
    std::vector<uint8_t> target(32 * 32 * 4, 7);
    const std::vector<uint8_t> untouched = target;
    EXPECT_THROW(RescaleImage(std::span(source).first(16 * 16 * 4 - 1), 16, 16, 4, target, 32, 32), Exception);
    EXPECT_THROW(RescaleImage(source, 16, 16, 4, std::span(target).first(32 * 32 * 4 - 1), 32, 32), Exception);
    EXPECT_THROW(RescaleImage(source, 0, 16, 4, target, 32, 32), Exception);
    EXPECT_THROW(RescaleImage(source, 16, 16, 5, target, 8, 8), Exception);
    EXPECT_THROW(RescaleImage(source, 16, 16, 4, target, 32, -1), Exception);
    EXPECT_EQ(target, untouched);
}
