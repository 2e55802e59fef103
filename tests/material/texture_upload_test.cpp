// What a texture keeps of its picture once uploaded, on a real context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "engine/context.h"
#include "material/jpegimage.h"
#include "material/mipmap.h"
#include "material/texture.h"
#include "platform/exception.h"
#include "platform/window.h"
#include "tests/engine/gl_fixture.h"
#include "tests/material/jpeg_encoder.h"

using namespace sauno;

namespace {

test::Rgb Stripes(int x, int y) { return {uint8_t(x * 3 % 256), uint8_t((y / 6) % 2 ? 200 : 40), uint8_t(x ^ y)}; }

std::vector<uint8_t> LevelZero(GLuint name, int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace

TEST(TextureUpload, TheDecodedPictureGoesOnceUploadedAndComesBackTheSameWhenNeeded)
{
    platform::InitVideo();
    platform::Window window("upload", 0, 0, 32, 32, platform::GLPixelFormat{}, platform::WindowStyle::Normal);
    std::unique_ptr<TContext> context = GLContextManager().NewContext();
    context->CreateOnSurface(window);
    context->Activate();
    {
        TTexture texture(nullptr);
        auto& image = dynamic_cast<TPersistentImage&>(texture.Image());
        image.Picture().ReadData(test::EmbedJPEG(test::EncodeJPEG(301, 200, false, false, Stripes)));
        auto* jpeg = dynamic_cast<TJPEGImage*>(image.Picture().Graphic());
        ASSERT_TRUE(jpeg);
        texture.SetDisabled(false);

        const GLuint first = texture.EnsureTexture();
        ASSERT_EQ(texture.TexWidth(), 512);
        ASSERT_EQ(texture.TexHeight(), 256);
        const std::vector<uint8_t> uploaded = LevelZero(first, 512, 256);
        // Only the picture's own data is kept: no decoded copy beside the texture.
        EXPECT_FALSE(jpeg->Decoded());
        EXPECT_FALSE(jpeg->JPEGData().empty());

        // Built again, from that data alone, it is the same texture.
        texture.ReleaseTextures();
        const GLuint second = texture.EnsureTexture();
        EXPECT_EQ(LevelZero(second, 512, 256), uploaded);
        EXPECT_FALSE(jpeg->Decoded());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    context->Deactivate();
}

// ---- Mipmaps made here, against the driver's own -------------------------------------------

namespace {

// A photo-like level 0: ramps, noise and hard edges, alpha varying too.
std::vector<uint8_t> PhotoLike(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-50, 50);
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 4; ++k) {
                int v = (x * 255 / width + y * 131 / height + k * 70) % 256 + noise(random);
                if ((x / 3 + y / 7) % 13 == 0) v = (k + x) % 2 ? 0 : 255;
                pixels[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(k)] = uint8_t(std::clamp(v, 0, 255));
            }
    return pixels;
}

std::vector<uint8_t> ReadLevel(int level, int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

class MipmapTest : public sauno::testing::GLTest {
protected:
    // Our chain of a picture and the driver's, level by level: the largest difference of any
    // channel.
    int LargestDifference(int width, int height)
    {
        TMipmapChain chain = MipmapChainFor(width, height, true);
        const std::vector<uint8_t> level0 = PhotoLike(width, height, unsigned(width * 7 + height));
        std::copy(level0.begin(), level0.end(), chain.Level(0).begin());
        BuildMipmaps(chain);

        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
        int largest = 0;
        for (size_t i = 0; i < chain.Levels.size(); ++i) {
            const TMipmapLevel& level = chain.Levels[i];
            GLint w = 0, h = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, GLint(i), GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, GLint(i), GL_TEXTURE_HEIGHT, &h);
            EXPECT_EQ(w, level.Width) << "level " << i;
            EXPECT_EQ(h, level.Height) << "level " << i;
            const std::vector<uint8_t> driver = ReadLevel(GLint(i), level.Width, level.Height);
            std::span<const uint8_t> ours = std::as_const(chain).Level(i);
            for (size_t j = 0; j < driver.size(); ++j) largest = std::max(largest, std::abs(int(driver[j]) - int(ours[j])));
        }
        GLint below = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, GLint(chain.Levels.size()), GL_TEXTURE_WIDTH, &below);
        EXPECT_EQ(below, 0) << "the driver made more levels";
        glDeleteTextures(1, &name);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        return largest;
    }
};

}  // namespace

TEST_F(MipmapTest, TheGamesTextureSizesAndThinOnesComeOutAsTheDriverMakesThem)
{
    // The room's 1024 x 1024 and 512 x 512, then sides that reach 1 before the other does.
    for (auto [w, h] : {std::pair{1024, 1024}, {512, 512}, {256, 32}, {4, 64}, {1, 8}, {1, 1}})
        EXPECT_LE(LargestDifference(w, h), 1) << w << " x " << h;
}

TEST(Mipmap, SidesThatAreNoPowerOfTwoAreRefused)
{
    EXPECT_THROW(MipmapChainFor(1000, 1024, true), Exception);
    EXPECT_THROW(MipmapChainFor(0, 16, true), Exception);
    EXPECT_THROW(MipmapChainFor(16, -16, false), Exception);
    const TMipmapChain single = MipmapChainFor(64, 16, false);
    ASSERT_EQ(single.Levels.size(), 1u);
    EXPECT_EQ(single.Data.size(), 64u * 16 * 4);
    const TMipmapChain full = MipmapChainFor(64, 16, true);
    ASSERT_EQ(full.Levels.size(), 7u);  // 64 x 16 ... 2 x 1, 1 x 1
    EXPECT_EQ(full.Levels[5].Width, 2);
    EXPECT_EQ(full.Levels[5].Height, 1);
    EXPECT_EQ(full.Levels[6].Offset + 4, full.Data.size());
}

// ---- Pixels made ahead on another thread ---------------------------------------------------

namespace {

test::Rgb Rings(int x, int y) { return {uint8_t((x * x + y * y) / 40 % 256), uint8_t(y * 5 % 256), uint8_t(x % 2 ? 250 : 10)}; }

class TextureAheadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window = std::make_unique<platform::Window>("ahead", 0, 0, 32, 32, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        context = GLContextManager().NewContext();
        context->CreateOnSurface(*window);
        context->Activate();
    }
    void TearDown() override
    {
        textures.clear();
        context->Deactivate();
    }

    TTexture& Stored(const std::vector<uint8_t>& jpeg)
    {
        textures.push_back(std::make_unique<TTexture>(nullptr));
        TTexture& texture = *textures.back();
        dynamic_cast<TPersistentImage&>(texture.Image()).Picture().ReadData(test::EmbedJPEG(jpeg));
        texture.SetDisabled(false);
        return texture;
    }

    // Every level the texture has in GL, after building it.
    static std::vector<std::vector<uint8_t>> Levels(TTexture& texture)
    {
        glBindTexture(GL_TEXTURE_2D, texture.EnsureTexture());
        std::vector<std::vector<uint8_t>> levels;
        for (GLint level = 0;; ++level) {
            GLint w = 0, h = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
            if (w == 0 || h == 0) return levels;
            levels.push_back(ReadLevel(level, w, h));
        }
    }

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TContext> context;
    std::vector<std::unique_ptr<TTexture>> textures;
};

}  // namespace

TEST_F(TextureAheadTest, PixelsMadeAheadAreThoseMadeAtUpload)
{
    const std::vector<uint8_t> jpeg = test::EncodeJPEG(301, 200, false, false, Rings);
    TTexture& ahead = Stored(jpeg);
    TTexture& here = Stored(jpeg);
    // The passes run ahead too when they are set before.
    TTexture& gammaAhead = Stored(jpeg);
    TTexture& gammaHere = Stored(jpeg);
    for (TTexture* t : {&gammaAhead, &gammaHere}) {
        t->SetImageGamma(0.7f);
        t->SetImageAlpha(TTextureImageAlpha::tiaLuminance);
    }
    TTexture* list[] = {&ahead, nullptr, &gammaAhead};
    TTexture::PrepareAhead(list);
    EXPECT_TRUE(ahead.PreparedAhead());
    EXPECT_TRUE(gammaAhead.PreparedAhead());
    EXPECT_FALSE(here.PreparedAhead());

    const auto levels = Levels(ahead);
    EXPECT_FALSE(ahead.PreparedAhead());
    ASSERT_EQ(levels.size(), 10u);  // 512 x 256 down to 1 x 1
    EXPECT_EQ(levels, Levels(here));
    EXPECT_EQ(Levels(gammaAhead), Levels(gammaHere));
    EXPECT_NE(Levels(gammaAhead)[0], levels[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureAheadTest, ChangesAfterwardsAreHonouredAndOnlyTexturesItCanMakeAreMadeAhead)
{
    const std::vector<uint8_t> jpeg = test::EncodeJPEG(301, 200, false, false, Rings);
    const std::vector<uint8_t> other = test::EncodeJPEG(120, 90, false, false, test::Gradient);
    TTexture& brighter = Stored(jpeg);
    TTexture& linear = Stored(jpeg);
    TTexture& replaced = Stored(jpeg);
    TTexture& assigned = Stored(jpeg);
    TTexture& damaged = Stored(test::BadScanJPEG());
    TTexture& disabled = Stored(jpeg);
    disabled.SetDisabled(true);
    TTexture& normalMap = Stored(jpeg);
    normalMap.SetTextureFormat(TTextureFormat::tfNormalMap);
    TTexture& blank = Stored(jpeg);
    blank.SetImageClassName("TBlankImage");
    TTexture* list[] = {&brighter, &linear, &replaced, &assigned, &damaged, &disabled, &normalMap, &blank};
    TTexture::PrepareAhead(list);
    for (TTexture* t : {&disabled, &normalMap, &blank}) EXPECT_FALSE(t->PreparedAhead());

    // Made again for what they now are.
    brighter.SetImageBrightness(1.5f);
    EXPECT_FALSE(brighter.PreparedAhead());
    TTexture& brighterHere = Stored(jpeg);
    brighterHere.SetImageBrightness(1.5f);
    EXPECT_EQ(Levels(brighter), Levels(brighterHere));

    linear.SetMinFilter(TMinFilter::miLinear);  // a parameter, yet it decides the levels
    TTexture& linearHere = Stored(jpeg);
    linearHere.SetMinFilter(TMinFilter::miLinear);
    const auto linearLevels = Levels(linear);
    EXPECT_EQ(linearLevels.size(), 1u);
    EXPECT_EQ(linearLevels, Levels(linearHere));

    // A picture given new data behind the texture's back is still the one uploaded.
    dynamic_cast<TPersistentImage&>(replaced.Image()).Picture().ReadData(test::EmbedJPEG(other));
    TTexture& otherHere = Stored(other);
    EXPECT_EQ(Levels(replaced), Levels(otherHere));

    TPicture picture;
    picture.ReadData(test::EmbedJPEG(other));
    assigned.AssignPicture(picture);
    EXPECT_FALSE(assigned.PreparedAhead());
    EXPECT_EQ(Levels(assigned), Levels(otherHere));

    // A decoding that failed ahead fails where it always did.
    EXPECT_THROW(damaged.EnsureTexture(), Exception);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureAheadTest, TexturesMayGoWhileTheirPixelsAreStillBeingMade)
{
    const std::vector<uint8_t> jpeg = test::EncodeJPEG(907, 680, false, false, Rings);
    std::vector<TTexture*> list;
    for (int i = 0; i < 6; ++i) list.push_back(&Stored(jpeg));
    TTexture::PrepareAhead(list);
    TTexture::PrepareAhead(list);  // asked twice: each is made once
    textures.erase(textures.begin(), textures.begin() + 5);
    const auto levels = Levels(*textures[0]);
    ASSERT_EQ(levels.size(), 11u);
    EXPECT_EQ(levels, Levels(Stored(jpeg)));
}
