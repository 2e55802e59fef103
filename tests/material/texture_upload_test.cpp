// What a texture keeps of its picture once uploaded, on a real context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "engine/context.h"
#include "material/jpegimage.h"
#include "material/texture.h"
#include "platform/window.h"
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
