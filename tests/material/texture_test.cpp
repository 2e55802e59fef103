#include <gtest/gtest.h>

#include <GL/gl.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "engine/context.h"
#include "engine/statecache.h"
#include "material/jpegimage.h"
#include "material/texture.h"
#include "platform/exception.h"
#include "platform/window.h"

using namespace sauno;

namespace {

// A texture of one of the game's painted pictures, with a GL context current.
class TextureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window = std::make_unique<platform::Window>("texture", 0, 0, 32, 32, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        context = GLContextManager().NewContext();
        context->CreateOnSurface(*window);
        context->Activate();
    }
    void TearDown() override
    {
        texture.reset();
        context->Deactivate();
        context.reset();
        window.reset();
    }

    TTexture& Texture(const std::string& picture)
    {
        texture = std::make_unique<TTexture>(nullptr);
        texture->SetImageClassName("TPicFileImage");
        static_cast<TPicFileImage&>(texture->Image()).SetPictureFileName(std::string(SAUNO_PICTURE_DIR "/") + picture);
        texture->SetDisabled(false);
        return *texture;
    }

    static GLint Level(int level, GLenum what)
    {
        GLint value = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
        return value;
    }

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TContext> context;
    std::unique_ptr<TTexture> texture;
};

}  // namespace

TEST_F(TextureTest, APowerOfTwoPictureIsUploadedUnscaled)
{
    TTexture& t = Texture("kiuas2.jpg");
    const GLuint name = t.EnsureTexture();
    ASSERT_NE(name, 0u);
    EXPECT_EQ(t.TexWidth(), 512);
    EXPECT_EQ(t.TexHeight(), 512);
    glBindTexture(GL_TEXTURE_2D, name);
    EXPECT_EQ(Level(0, GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(Level(0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, AWallPictureIsRescaledToPowersOfTwoWithAFullMipmapChain)
{
    TTexture& t = Texture("seina2.jpg");  // 907 x 680, widened to 908 first
    const GLuint name = t.EnsureTexture();
    EXPECT_EQ(t.TexWidth(), 1024);
    EXPECT_EQ(t.TexHeight(), 1024);
    glBindTexture(GL_TEXTURE_2D, name);
    for (int level = 0, size = 1024; size >= 1; ++level, size /= 2) {
        EXPECT_EQ(Level(level, GL_TEXTURE_WIDTH), size) << "level " << level;
        EXPECT_EQ(Level(level, GL_TEXTURE_HEIGHT), size) << "level " << level;
    }
    GLint wrap = 0, minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(wrap, GL_REPEAT);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
}

TEST_F(TextureTest, LinearMinificationMakesNoMipmaps)
{
    TTexture& t = Texture("kiuas2.jpg");
    t.SetMinFilter(TMinFilter::miLinear);
    glBindTexture(GL_TEXTURE_2D, t.EnsureTexture());
    EXPECT_EQ(Level(0, GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(Level(1, GL_TEXTURE_WIDTH), 0);
}

TEST_F(TextureTest, SwitchingToLinearMinificationStopsGeneratingMipmaps)
{
    if (!GLCapabilities().HasExtension("GL_SGIS_generate_mipmap")) GTEST_SKIP() << "no generated mipmaps here";
    constexpr GLenum generateMipmap = 0x8191;
    TTexture& t = Texture("kiuas2.jpg");
    const GLuint name = t.EnsureTexture();
    auto generating = [&] {
        GLint value = -1;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexParameteriv(GL_TEXTURE_2D, generateMipmap, &value);
        return value;
    };
    EXPECT_EQ(generating(), 1);
    t.SetMinFilter(TMinFilter::miLinear);
    EXPECT_EQ(t.EnsureTexture(), name);
    EXPECT_EQ(generating(), 0);
    t.SetMinFilter(TMinFilter::miNearestMipmapNearest);
    EXPECT_EQ(t.EnsureTexture(), name);
    EXPECT_EQ(generating(), 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, AnEmptyImageGivesANameWithoutAnImage)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetDisabled(false);
    const GLuint name = texture->EnsureTexture();
    EXPECT_NE(name, 0u);
    EXPECT_EQ(texture->TexWidth(), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, OnlyAChangedValueUploadsAgain)
{
    TTexture& t = Texture("kiuas2.jpg");
    const GLuint name = t.EnsureTexture();
    // Mark the uploaded image behind the texture's back.
    const uint8_t marker[4] = {1, 2, 3, 4};
    glBindTexture(GL_TEXTURE_2D, name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, marker);
    auto firstPixel = [&] {
        std::vector<uint8_t> pixels(512 * 512 * 4);
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4);
    };
    t.SetTextureMode(TTextureMode::tmDecal);  // the value it has
    EXPECT_EQ(t.EnsureTexture(), name);
    EXPECT_EQ(firstPixel(), (std::vector<uint8_t>{1, 2, 3, 4}));
    t.SetTextureMode(TTextureMode::tmModulate);
    EXPECT_EQ(t.EnsureTexture(), name);
    EXPECT_NE(firstPixel(), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(TextureTest, ApplyAndRevertGoThroughTheStateCache)
{
    TTexture& t = Texture("kiuas2.jpg");
    TStateCache cache;
    TRenderContextInfo rci;
    rci.stateCache = &cache;
    t.Apply(rci);
    EXPECT_TRUE(cache.IsEnabled(TGLState::stTexture2D));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(cache.BoundTexture(0), t.Handle());
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_DECAL);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrMain);
    t.Revert(rci);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    t.SetDisabled(true);
    t.Apply(rci);
    EXPECT_FALSE(cache.IsEnabled(TGLState::stTexture2D));
}

TEST_F(TextureTest, AMissingPictureFileIsAClearError)
{
    TTexture& t = Texture("no-such-picture.jpg");
    try {
        t.EnsureTexture();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Could not open file: "), std::string::npos) << e.what();
    }
    EXPECT_THROW(t.SetImageClassName("TNoSuchImage"), Exception);
}

TEST(TexCoordRouting, WithheldSecondUnitAndUpdateBrackets)
{
    SetSecondTextureUnitWithheld(true);
    SetTexCoordRouting(TTexCoordRouting::tcrDual);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrMain);
    SetTexCoordRouting(TTexCoordRouting::tcrSecond);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrDrop);
    SetSecondTextureUnitWithheld(false);
    BeginTexCoordRoutingUpdate();
    SetTexCoordRouting(TTexCoordRouting::tcrDual);
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrDrop);  // remembered until the bracket closes
    EndTexCoordRoutingUpdate();
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrDual);
    SetTexCoordRouting(TTexCoordRouting::tcrMain);
}

namespace {

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<TJPEGImage> Jpeg(const std::string& picture)
{
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromJPEG(FileBytes(std::string(SAUNO_PICTURE_DIR "/") + picture));
    return jpeg;
}

}  // namespace

TEST_F(TextureTest, ACubeMapUploadsSixSquareFacesAndNothingElse)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TCubeMapImage");
    auto& cube = static_cast<TCubeMapImage&>(texture->Image());
    for (int face = 0; face < 6; ++face) cube.Picture(face).SetGraphic(Jpeg("kiuas2.jpg"));
    texture->SetDisabled(false);
    const GLuint name = texture->EnsureTexture();
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    for (GLenum face = 0; face < 6; ++face) {
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, 512) << "face " << face;
    }
    TStateCache cache;
    TRenderContextInfo rci;
    rci.stateCache = &cache;
    texture->SetMappingMode(TTextureMappingMode::tmmCubeMapReflection);
    texture->Apply(rci);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_R));
    texture->Revert(rci);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_R));

    // One face that is not square: the cube map is not uploaded at all.
    auto other = std::make_unique<TTexture>(nullptr);
    other->SetImageClassName("TCubeMapImage");
    auto& uneven = static_cast<TCubeMapImage&>(other->Image());
    for (int face = 0; face < 6; ++face) uneven.Picture(face).SetGraphic(Jpeg(face == 3 ? "seina1.jpg" : "kiuas2.jpg"));
    other->SetDisabled(false);
    glBindTexture(GL_TEXTURE_CUBE_MAP, other->EnsureTexture());
    GLint width = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0);
}

TEST_F(TextureTest, ANormalMapTurnsFlatGreyIntoStraightUp)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");  // zeroed pixels: a flat surface
    auto& blank = static_cast<TBlankImage&>(texture->Image());
    blank.Width = 8;
    blank.Height = 8;
    texture->SetTextureFormat(TTextureFormat::tfNormalMap);
    texture->SetMinFilter(TMinFilter::miLinear);
    texture->SetDisabled(false);
    glBindTexture(GL_TEXTURE_2D, texture->EnsureTexture());
    std::vector<uint8_t> pixels(8 * 8 * 3);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    EXPECT_NEAR(pixels[0], 128, 1);
    EXPECT_NEAR(pixels[1], 128, 1);
    EXPECT_EQ(pixels[2], 255);
}
