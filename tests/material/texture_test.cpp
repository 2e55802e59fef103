#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "engine/context.h"
#include "engine/statecache.h"
#include "material/jpegimage.h"
#include "material/texture.h"
#include "platform/exception.h"
#include "platform/window.h"
#include "tests/material/jpeg_encoder.h"

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

TEST_F(TextureTest, MipmapsAreMadeHereAsTheDriverWouldMakeThemAndItsGeneratorStaysOff)
{
    if (!GLCapabilities().HasExtension("GL_SGIS_generate_mipmap")) GTEST_SKIP() << "no generated mipmaps here";
    constexpr GLenum generateMipmap = 0x8191;
    auto read = [](GLuint name, int level, int size) {
        std::vector<uint8_t> pixels(size_t(size) * size_t(size) * 4);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    };
    // Rescaled to 1024 x 1024, and 512 x 512 as it is.
    for (const char* picture : {"seina2.jpg", "kiuas2.jpg"}) {
        TTexture& t = Texture(picture);
        const GLuint name = t.EnsureTexture();
        const int size = t.TexWidth();
        GLint generating = -1;
        glGetTexParameteriv(GL_TEXTURE_2D, generateMipmap, &generating);
        EXPECT_EQ(generating, 0) << picture;

        // The driver's chain of the same level 0, on a name of its own.
        const std::vector<uint8_t> level0 = read(name, 0, size);
        GLuint driver = 0;
        glGenTextures(1, &driver);
        glBindTexture(GL_TEXTURE_2D, driver);
        glTexParameteri(GL_TEXTURE_2D, generateMipmap, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, level0.data());
        for (int level = 1, s = size / 2; s >= 1; ++level, s /= 2) {
            const std::vector<uint8_t> ours = read(name, level, s), theirs = read(driver, level, s);
            int largest = 0;
            for (size_t i = 0; i < ours.size(); ++i) largest = std::max(largest, std::abs(int(ours[i]) - int(theirs[i])));
            EXPECT_LE(largest, 1) << picture << " level " << level;
        }
        glDeleteTextures(1, &driver);
    }
    // Down to linear and back: the same name, still no generator.
    TTexture& t = *texture;
    t.SetMinFilter(TMinFilter::miLinear);
    const GLuint name = t.EnsureTexture();
    t.SetMinFilter(TMinFilter::miNearestMipmapNearest);
    EXPECT_EQ(t.EnsureTexture(), name);
    GLint generating = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, generateMipmap, &generating);
    EXPECT_EQ(generating, 0);
    EXPECT_EQ(Level(9, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The environment colour is a parameter: changing it sets the texture's parameters again.
TEST_F(TextureTest, AnEnvironmentColourChangeSetsTheParametersAgain)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");
    texture->SetMinFilter(TMinFilter::miLinear);
    texture->SetDisabled(false);
    const GLuint name = texture->EnsureTexture();
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);  // behind the texture's back
    texture->EnsureTexture();
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    ASSERT_EQ(filter, GL_NEAREST) << "nothing changed, nothing is set";
    texture->EnvColor().SetColor({0.5f, 0.25f, 0, 1});
    EXPECT_EQ(texture->EnsureTexture(), name);
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
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

// The light cube mode takes its texture matrix from the first light source: the light's
// direction in the eye's space is looked up as +X.
TEST_F(TextureTest, TheLightCubeModeTurnsTheFirstLightsDirectionToPlusX)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TCubeMapImage");
    auto& cube = static_cast<TCubeMapImage&>(texture->Image());
    for (int face = 0; face < 6; ++face) cube.Picture(face).SetGraphic(Jpeg("kiuas2.jpg"));
    texture->SetDisabled(false);
    texture->SetMappingMode(TTextureMappingMode::tmmCubeMapLight0);
    TStateCache cache;
    TRenderContextInfo rci;
    rci.stateCache = &cache;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    auto lookedUp = [&](TVector3 light, TVector3 direction) {
        const GLfloat position[4] = {light.x, light.y, light.z, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        texture->Apply(rci);
        GLfloat m[16];
        glGetFloatv(GL_TEXTURE_MATRIX, m);
        texture->Revert(rci);
        return TVector3{m[0] * direction.x + m[4] * direction.y + m[8] * direction.z,
                        m[1] * direction.x + m[5] * direction.y + m[9] * direction.z,
                        m[2] * direction.x + m[6] * direction.y + m[10] * direction.z};
    };
    for (const TVector3 light : {TVector3{0, 1, 0}, TVector3{0, 0, 2}, TVector3{-3, 4, 0}}) {
        const TVector3 x = lookedUp(light, Normalize(light));
        EXPECT_NEAR(x.x, 1, 1e-5f);
        EXPECT_NEAR(x.y, 0, 1e-5f);
        EXPECT_NEAR(x.z, 0, 1e-5f);
        // A rotation: lengths and right angles kept.
        const TVector3 across = lookedUp(light, Normalize(Cross(light, TVector3{0.3f, 0.2f, 0.9f})));
        EXPECT_NEAR(Length3(across), 1, 1e-5f);
        EXPECT_NEAR(across.x, 0, 1e-5f);
    }
}

TEST_F(TextureTest, ANormalMapTurnsFlatGreyIntoStraightUp)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");  // zeroed pixels: a flat surface
    auto& blank = static_cast<TBlankImage&>(texture->Image());
    blank.SetWidth(8);
    blank.SetHeight(8);
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

namespace {

// A picture whose left half is red and right half blue.
std::unique_ptr<TJPEGImage> HalvesPicture()
{
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromJPEG(test::EncodeJPEG(64, 64, false, false, [](int x, int) {
        return x < 32 ? test::Rgb{255, 0, 0} : test::Rgb{0, 0, 255};
    }));
    return jpeg;
}

std::vector<uint8_t> TexturePixels(GLuint name, int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace

TEST_F(TextureTest, ACopyTakesTheImageThePlanesAndEverySetting)
{
    TTexture source(nullptr);
    auto& image = static_cast<TPersistentImage&>(source.Image());
    image.Picture().SetGraphic(Jpeg("kiuas2.jpg"));
    source.SetImageAlpha(TTextureImageAlpha::tiaOpaque);
    source.SetImageBrightness(0.5f);
    source.SetImageGamma(2);
    source.SetTextureMode(TTextureMode::tmModulate);
    source.SetTextureWrap(TTextureWrap::twVertical);
    source.SetTextureFormat(TTextureFormat::tfRGB);
    source.SetCompression(TTextureCompression::tcNone);
    source.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
    source.SetMinFilter(TMinFilter::miNearest);
    source.SetMagFilter(TMagFilter::maNearest);
    source.SetMappingMode(TTextureMappingMode::tmmEyeLinear);
    source.MappingSCoordinates().SetVector(0.5f, 0, 0, 0.25f);
    source.MappingTCoordinates().SetVector(0, 2, 0, 0);
    source.EnvColor().SetColor({0.1f, 0.2f, 0.3f, 0.4f});
    source.SetDisabled(false);

    texture = std::make_unique<TTexture>(nullptr);
    int mappingChanges = 0;
    texture->OnTextureMappingChange = [&](TTexture&) { ++mappingChanges; };
    texture->Assign(&source);
    EXPECT_EQ(texture->ImageAlpha(), TTextureImageAlpha::tiaOpaque);
    EXPECT_EQ(texture->ImageBrightness(), 0.5f);
    EXPECT_EQ(texture->ImageGamma(), 2.0f);
    EXPECT_EQ(texture->TextureMode(), TTextureMode::tmModulate);
    EXPECT_EQ(texture->TextureWrap(), TTextureWrap::twVertical);
    EXPECT_EQ(texture->TextureFormat(), TTextureFormat::tfRGB);
    EXPECT_EQ(texture->Compression(), TTextureCompression::tcNone);
    EXPECT_EQ(texture->FilteringQuality(), TTextureFilteringQuality::tfAnisotropic);
    EXPECT_EQ(texture->MinFilter(), TMinFilter::miNearest);
    EXPECT_EQ(texture->MagFilter(), TMagFilter::maNearest);
    EXPECT_EQ(texture->MappingMode(), TTextureMappingMode::tmmEyeLinear);
    EXPECT_EQ(texture->MappingSCoordinates().AsVector(), (TVector4{0.5f, 0, 0, 0.25f}));
    EXPECT_EQ(texture->MappingTCoordinates().AsVector(), (TVector4{0, 2, 0, 0}));
    EXPECT_EQ(texture->EnvColor().Color(), (TVector4{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_FALSE(texture->Disabled());
    EXPECT_EQ(mappingChanges, 2) << "enabled and generated: the owner rebuilds its geometry";

    // The copy holds a picture of its own.
    image.Picture().SetGraphic(nullptr);
    const GLuint name = texture->EnsureTexture();
    EXPECT_EQ(texture->TexWidth(), 512);
    EXPECT_EQ(texture->TexHeight(), 512);

    // Copying again builds the texture again, even when nothing differs.
    const uint8_t marker[4] = {1, 2, 3, 4};
    glBindTexture(GL_TEXTURE_2D, name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, marker);
    TTexture same(nullptr);
    same.Assign(texture.get());
    texture->Assign(&same);
    EXPECT_EQ(texture->EnsureTexture(), name);
    EXPECT_NE(TexturePixels(name, 512, 512)[0], 1);

    // An image of another class is replaced by one of the source's class, with its content.
    TTexture blank(nullptr);
    blank.SetImageClassName("TBlankImage");
    static_cast<TBlankImage&>(blank.Image()).SetWidth(8);
    static_cast<TBlankImage&>(blank.Image()).SetHeight(4);
    texture->Assign(&blank);
    EXPECT_EQ(texture->ImageClassName(), "TBlankImage");
    auto* copied = dynamic_cast<TBlankImage*>(&texture->Image());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->Width(), 8);
    EXPECT_EQ(copied->Height(), 4);
    EXPECT_TRUE(texture->Disabled());
}

TEST_F(TextureTest, CopyingAPictureAGraphicOrNothing)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");
    std::unique_ptr<TJPEGImage> jpeg = Jpeg("kiuas2.jpg");
    texture->AssignGraphic(jpeg.get());
    ASSERT_EQ(texture->ImageClassName(), "TPersistentImage") << "only a picture image can hold it";
    auto& image = static_cast<TPersistentImage&>(texture->Image());
    EXPECT_EQ(image.Picture().Width(), 512);
    EXPECT_NE(image.Picture().Graphic(), jpeg.get()) << "a copy, not the caller's picture";
    texture->SetDisabled(false);
    texture->EnsureTexture();
    EXPECT_EQ(texture->TexWidth(), 512);

    // A file image takes the picture instead of its file.
    texture->SetImageClassName("TPicFileImage");
    static_cast<TPicFileImage&>(texture->Image()).SetPictureFileName("/no/such/picture.jpg");
    TPicture picture;
    picture.SetGraphic(Jpeg("seina2.jpg"));
    texture->AssignPicture(picture);
    EXPECT_EQ(texture->ImageClassName(), "TPicFileImage");
    EXPECT_NO_THROW(texture->EnsureTexture());
    EXPECT_EQ(texture->TexWidth(), 1024);

    int mappingChanges = 0;
    texture->OnTextureMappingChange = [&](TTexture&) { ++mappingChanges; };
    texture->Assign(nullptr);
    EXPECT_TRUE(texture->Disabled());
    EXPECT_EQ(mappingChanges, 1);
    EXPECT_EQ(texture->ImageClassName(), "TPersistentImage");
    ASSERT_NE(dynamic_cast<TPersistentImage*>(&texture->Image()), nullptr);
    EXPECT_TRUE(static_cast<TPersistentImage&>(texture->Image()).Picture().Empty());
}

TEST_F(TextureTest, ABlankImagesSizeIsUploadedAgainWhenItChanges)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");
    auto& blank = static_cast<TBlankImage&>(texture->Image());
    blank.SetWidth(8);
    blank.SetHeight(8);
    texture->SetMinFilter(TMinFilter::miLinear);
    texture->SetDisabled(false);
    const GLuint name = texture->EnsureTexture();
    EXPECT_EQ(texture->TexWidth(), 8);
    blank.SetHeight(16);
    EXPECT_EQ(texture->EnsureTexture(), name);
    EXPECT_EQ(texture->TexHeight(), 16);
    // The same size again is no change: the marked image stays.
    const uint8_t marker[4] = {1, 2, 3, 4};
    glBindTexture(GL_TEXTURE_2D, name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, marker);
    blank.SetHeight(16);
    texture->EnsureTexture();
    EXPECT_EQ(TexturePixels(name, 8, 16)[0], 1);
    blank.SetWidth(5);  // rounded up to a multiple of 4, then to a power of two
    texture->EnsureTexture();
    EXPECT_EQ(texture->TexWidth(), 8);
    EXPECT_NE(TexturePixels(name, 8, 16)[0], 1);
}

TEST_F(TextureTest, WrapModesClampToTheEdgeAndAnisotropyFollowsTheQuality)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->SetImageClassName("TBlankImage");
    texture->SetDisabled(false);
    // GL 1.2 and later clamp to the edge, not to the border colour.
    const struct {
        TTextureWrap wrap;
        GLint s, t;
    } cases[] = {{TTextureWrap::twBoth, GL_REPEAT, GL_REPEAT},
                 {TTextureWrap::twNone, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
                 {TTextureWrap::twVertical, GL_CLAMP_TO_EDGE, GL_REPEAT},
                 {TTextureWrap::twHorizontal, GL_REPEAT, GL_CLAMP_TO_EDGE}};
    ASSERT_GE(GLCapabilities().MajorVersion * 10 + GLCapabilities().MinorVersion, 12);
    for (const auto& c : cases) {
        texture->SetTextureWrap(c.wrap);
        glBindTexture(GL_TEXTURE_2D, texture->EnsureTexture());
        GLint s = 0, t = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &t);
        EXPECT_EQ(s, c.s) << "wrap " << int(c.wrap);
        EXPECT_EQ(t, c.t) << "wrap " << int(c.wrap);
    }

    if (!GLCapabilities().HasExtension("GL_EXT_texture_filter_anisotropic")) GTEST_SKIP() << "no anisotropic filtering";
    constexpr GLenum maxAnisotropy = 0x84FE;
    auto anisotropy = [&] {
        GLfloat value = 0;
        glBindTexture(GL_TEXTURE_2D, texture->EnsureTexture());
        glGetTexParameterfv(GL_TEXTURE_2D, maxAnisotropy, &value);
        return value;
    };
    EXPECT_EQ(anisotropy(), 1.0f);
    texture->SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
    EXPECT_EQ(anisotropy(), 2.0f);
    texture->SetFilteringQuality(TTextureFilteringQuality::tfIsotropic);
    EXPECT_EQ(anisotropy(), 1.0f);
}

// A quad over the window from object x = 0 to 1, textured with generated coordinates: which half
// of the picture lands where shows the plane in use.
TEST_F(TextureTest, GeneratedCoordinatesUseTheMappingPlanes)
{
    texture = std::make_unique<TTexture>(nullptr);
    texture->AssignGraphic(HalvesPicture().get());
    texture->SetTextureMode(TTextureMode::tmReplace);
    texture->SetTextureWrap(TTextureWrap::twNone);
    texture->SetMinFilter(TMinFilter::miNearest);
    texture->SetMagFilter(TMagFilter::maNearest);
    texture->SetDisabled(false);
    TStateCache cache;
    TRenderContextInfo rci;
    rci.stateCache = &cache;

    // Reds of the window's 32 columns on its middle row.
    auto draw = [&] {
        glViewport(0, 0, 32, 32);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        texture->Apply(rci);
        glBegin(GL_QUADS);
        glVertex2f(0, 0);
        glVertex2f(1, 0);
        glVertex2f(1, 1);
        glVertex2f(0, 1);
        glEnd();
        texture->Revert(rci);
        std::vector<uint8_t> row(32 * 4);
        glReadPixels(0, 16, 32, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
        std::string reds;
        for (int x = 0; x < 32; ++x) reds += row[size_t(x) * 4] > 128 ? 'r' : row[size_t(x) * 4 + 2] > 128 ? 'b' : '.';
        return reds;
    };
    const std::string halves = std::string(16, 'r') + std::string(16, 'b');
    for (TTextureMappingMode mode : {TTextureMappingMode::tmmObjectLinear, TTextureMappingMode::tmmEyeLinear}) {
        texture->SetMappingMode(mode);
        texture->MappingSCoordinates().SetVector(1, 0, 0, 0);
        EXPECT_EQ(draw(), halves) << "s = x";
        texture->MappingSCoordinates().SetVector(0.5f, 0, 0, 0);
        EXPECT_EQ(draw(), std::string(32, 'r')) << "s = x / 2: the left half of the picture";
        texture->MappingSCoordinates().SetVector(-1, 0, 0, 1);
        EXPECT_EQ(draw(), std::string(16, 'b') + std::string(16, 'r')) << "s = 1 - x: mirrored";
        GLfloat plane[4] = {};
        texture->MappingTCoordinates().SetVector(0, 0.25f, 0, 0.5f);
        texture->Apply(rci);
        glGetTexGenfv(GL_T, mode == TTextureMappingMode::tmmObjectLinear ? GL_OBJECT_PLANE : GL_EYE_PLANE, plane);
        texture->Revert(rci);
        EXPECT_EQ(plane[1], 0.25f);
        EXPECT_EQ(plane[3], 0.5f);
    }
}

namespace {
// A picture class no registry knows: it cannot be copied.
class TUnlistedPicture : public TGraphic {
public:
    std::string_view ClassName() const override { return "TUnlistedPicture"; }
    int Width() const override { return 4; }
    int Height() const override { return 4; }
    void LoadFromData(std::span<const uint8_t>) override {}
    void SaveToData(std::vector<uint8_t>&) const override {}
    const TPixelRows& Pixels() override { return rows_; }

private:
    TPixelRows rows_;
};
}  // namespace

TEST_F(TextureTest, ACopyThatFailsLeavesTheTextureTellingItsOwner)
{
    TTexture source(nullptr);
    static_cast<TPersistentImage&>(source.Image()).Picture().SetGraphic(std::make_unique<TUnlistedPicture>());
    TUpdateAbleObject holder(nullptr);
    texture = std::make_unique<TTexture>(&holder);
    int changes = 0;
    texture->OnChangeReported = [&](TUpdateAbleObject*) { ++changes; };
    EXPECT_THROW(texture->Assign(&source), Exception);
    EXPECT_EQ(changes, 1);
    texture->SetTextureMode(TTextureMode::tmBlend);
    EXPECT_EQ(changes, 2) << "no update bracket was left open";
}
