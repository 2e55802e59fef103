#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/videomodes.h"
#include "engine/viewer.h"
#include "platform/exception.h"
#include "platform/window.h"
#include "runtime/application.h"

using namespace sauno;

namespace {

class BufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().Initialize();
        window = std::make_unique<platform::Window>("buffer", 0, 0, 64, 48, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        buffer = std::make_unique<TSceneBuffer>(nullptr);
        // Frames stay in the back buffer, where they can be read.
        buffer->SetContextOptions(OptionBit(roDoubleBuffer) | OptionBit(roNoSwapBuffers));
        buffer->SetSize(64, 48);
        buffer->OpenContext(*window);
    }
    void TearDown() override
    {
        buffer.reset();
        window.reset();
    }

    // The colour at a pixel of the last frame, as bytes.
    std::array<uint8_t, 3> Pixel(int x, int y)
    {
        std::array<uint8_t, 4> rgba{};
        buffer->RenderingContext()->Activate();
        glReadBuffer(GL_BACK);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        buffer->RenderingContext()->Deactivate();
        return {rgba[0], rgba[1], rgba[2]};
    }

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TSceneBuffer> buffer;
};

using RGB = std::array<uint8_t, 3>;

}  // namespace

TEST_F(BufferTest, AFrameWithoutACameraClearsAndCounts)
{
    EXPECT_EQ(buffer->FramesPerSecond(), 0.0f);
    buffer->SetBackgroundColor(0x0000FF);  // red, as 0x00BBGGRR
    buffer->RenderFrame();
    EXPECT_EQ(Pixel(10, 10), (RGB{255, 0, 0}));
    EXPECT_EQ(buffer->FramesRendered(), 1);
    EXPECT_GT(buffer->FramesPerSecond(), 0.0f);
    EXPECT_GT(buffer->LastFrameTime(), 0.0f);
    EXPECT_EQ(buffer->ProjectionMatrix(), IdentityMatrix);
    EXPECT_EQ(buffer->ModelViewMatrix(), IdentityMatrix);
    EXPECT_FALSE(buffer->RenderingContext()->IsActive());
}

TEST_F(BufferTest, NoColorClearKeepsTheLastFramesColours)
{
    buffer->SetBackgroundColor(0x0000FF);
    buffer->RenderFrame();
    buffer->SetBackgroundColor(0x00FF00);
    buffer->SetContextOptions(buffer->ContextOptions() | OptionBit(roNoColorBufferClear));
    buffer->RenderFrame();
    EXPECT_EQ(Pixel(5, 5), (RGB{255, 0, 0}));
}

TEST_F(BufferTest, TheCamerasViewAndFogAreSentOnlyWhenFogIsOn)
{
    TComponent owner(nullptr);
    auto* scene = new TScene(&owner);
    auto* camera = new TCamera(&owner);
    scene->Objects().AddChild(camera);
    camera->SetFocalLength(100);
    buffer->SetCamera(camera);
    ASSERT_EQ(buffer->Camera(), camera);
    buffer->FogEnvironment().SetFogStart(5);
    buffer->FogEnvironment().SetFogEnd(15);
    buffer->RenderFrame();
    buffer->RenderingContext()->Activate();
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_FALSE(buffer->StateCache().IsEnabled(TGLState::stFog));
    GLfloat start = 0;
    glGetFloatv(GL_FOG_START, &start);
    EXPECT_EQ(start, 0.0f) << "fog settings went to GL while fog is off";
    buffer->RenderingContext()->Deactivate();

    buffer->SetFogEnable(true);
    buffer->RenderFrame();
    buffer->RenderingContext()->Activate();
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    glGetFloatv(GL_FOG_START, &start);
    EXPECT_EQ(start, 5.0f);
    buffer->RenderingContext()->Deactivate();
    EXPECT_NE(buffer->ProjectionMatrix(), IdentityMatrix);
    EXPECT_EQ(scene->Buffers().size(), 1u);
    buffer->SetCamera(nullptr);
    EXPECT_TRUE(scene->Buffers().empty());
}

TEST_F(BufferTest, ACameraOutsideAnySceneIsNotTaken)
{
    TComponent owner(nullptr);
    auto* camera = new TCamera(&owner);
    buffer->SetCamera(camera);
    EXPECT_EQ(buffer->Camera(), nullptr);
}

TEST_F(BufferTest, TheStateCacheSkipsWhatGLAlreadyHas)
{
    buffer->RenderingContext()->Activate();
    TStateCache cache;
    cache.Enable(TGLState::stBlend);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glDisable(GL_BLEND);  // behind the cache's back
    cache.Enable(TGLState::stBlend);  // recorded as on: no call
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    cache.Force(TGLState::stBlend, true);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));

    const TVector4 e{0, 0, 0, 1}, a{0.1f, 0.2f, 0.3f, 1}, d{0.4f, 0.5f, 0.6f, 1}, s{0, 0, 0, 1};
    cache.SetMaterialColors(GL_FRONT, e, a, d, s, 10);
    const GLfloat other[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, other);
    cache.SetMaterialColors(GL_FRONT, e, a, d, s, 10);  // the same: nothing sent
    GLfloat diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_EQ(diffuse[0], 1.0f);
    cache.ResetForPass();  // forgets the colours: the next call sends them all
    cache.SetMaterialColors(GL_FRONT, e, a, d, s, 10);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 0.4f);
    cache.SetMaterialAlpha(GL_FRONT, 0.5f);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[3], 0.5f);

    cache.SetPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    cache.SetPolygonMode(GL_FRONT, GL_LINE);  // cached: skipped
    GLint modes[2];
    glGetIntegerv(GL_POLYGON_MODE, modes);
    EXPECT_EQ(modes[0], GL_FILL);
    cache.InvertFrontFace();
    GLint face = 0;
    glGetIntegerv(GL_FRONT_FACE, &face);
    EXPECT_EQ(face, GL_CW);
    cache.ResetForPass();
    glGetIntegerv(GL_FRONT_FACE, &face);
    EXPECT_EQ(face, GL_CCW);
    EXPECT_TRUE(cache.IsEnabled(TGLState::stBlend));  // enables survive a pass reset
    buffer->RenderingContext()->Deactivate();
}

TEST(VideoModes, TheBestModeIsTheSmallestExcessOnEveryAxisAndTheLaterOnTies)
{
    auto mode = [](int w, int h, int d) {
        TVideoMode m;
        m.width = static_cast<uint16_t>(w);
        m.height = static_cast<uint16_t>(h);
        m.colorDepth = static_cast<uint8_t>(d);
        return m;
    };
    std::vector<TVideoMode> modes = {mode(1024, 768, 32), mode(640, 480, 16), mode(640, 480, 32),
                                     mode(800, 600, 32),  mode(1024, 768, 32), mode(800, 600, 32)};
    EXPECT_EQ(FindVideoMode(modes, 640, 480, 24), 2);  // the exact size at a higher depth
    EXPECT_EQ(FindVideoMode(modes, 700, 500, 32), 5);  // equal excesses: the later entry
    EXPECT_EQ(FindVideoMode(modes, 1024, 768, 32), 4);
    EXPECT_EQ(FindVideoMode(modes, 1280, 1024, 32), 0);  // nothing fits; the desktop is never chosen
    EXPECT_EQ(FindVideoMode(modes, 640, 480, 8), 1);
    // Each excess is compared on its own: a wider mode that is less tall does not win.
    std::vector<TVideoMode> skewed = {mode(0, 0, 0), mode(1000, 500, 32), mode(700, 900, 32)};
    EXPECT_EQ(FindVideoMode(skewed, 640, 480, 32), 1);

    std::vector<TVideoMode> offered = {mode(1, 1, 1)};
    TVideoMode fast = mode(800, 600, 32);
    fast.maxFrequency = 85;
    OfferVideoMode(offered, mode(800, 600, 32));
    OfferVideoMode(offered, fast);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1].maxFrequency, 85);
}

TEST(FullScreenViewer, SwitchesOnlyWhenTheDesktopDiffersAndRestoresAfterwards)
{
    Application().Initialize();
    TComponent owner(nullptr);
    auto* viewer = new TFullScreenViewer(&owner);
    viewer->SetWidth(0);
    EXPECT_EQ(viewer->Width(), 1);

    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(0, &desktop);
    viewer->SetWidth(desktop.w);
    viewer->SetHeight(desktop.h);
    viewer->SetActive(true);
    ASSERT_TRUE(viewer->Active());
    EXPECT_FALSE(viewer->SwitchedResolution());
    EXPECT_FALSE(DisplayModeSwitched());
    ASSERT_NE(viewer->Window(), nullptr);
    viewer->RenderFrame();
    EXPECT_EQ(viewer->Buffer().FramesRendered(), 1);
    viewer->SetActive(false);
    EXPECT_EQ(viewer->Window(), nullptr);

    viewer->SetWidth(desktop.w / 2);
    viewer->SetHeight(desktop.h / 2);
    viewer->SetActive(true);
    EXPECT_TRUE(viewer->SwitchedResolution());
    viewer->SetActive(false);
    EXPECT_FALSE(DisplayModeSwitched());

    viewer->SetWidth(desktop.w * 4);
    try {
        viewer->SetActive(true);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Unsupported video mode");
    }
    EXPECT_FALSE(viewer->Active());
    EXPECT_EQ(viewer->Window(), nullptr);
}
