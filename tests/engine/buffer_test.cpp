#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/scene.h"
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

// Covers the whole viewport in one colour at depth z of the unit cube, whatever the camera.
void FillViewport(const TVector4& color, float z)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4fv(color.Data());
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, z);
    glVertex3f(1, -1, z);
    glVertex3f(1, 1, z);
    glVertex3f(-1, 1, z);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// Near red in the tree; when asked, puts itself on the after-scene list and draws far green then.
class Overlay : public TImmaterialSceneObject {
public:
    using TImmaterialSceneObject::TImmaterialSceneObject;
    bool askAfterScene = true;
    int afterSceneDraws = 0;
    void DrawContent(TRenderContextInfo& rci, bool, bool) override
    {
        FillViewport({1, 0, 0, 1}, -0.5f);
        if (askAfterScene) rci.scene->CurrentBuffer->AddAfterSceneEffect(this);
    }
    void RenderAfterScene(TSceneBuffer&, TRenderContextInfo&) override
    {
        ++afterSceneDraws;
        FillViewport({0, 1, 0, 1}, 0.5f);  // behind the red: visible only with the depth test off
    }
};

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

TEST_F(BufferTest, AfterSceneObjectsDrawOverTheTreeOncePerPassTheyAskIn)
{
    TComponent owner(nullptr);
    auto* scene = new TScene(&owner);
    auto* camera = new TCamera(&owner);
    scene->Objects().AddChild(camera);
    auto* overlay = new Overlay(&owner);
    scene->Objects().AddChild(overlay);
    buffer->SetCamera(camera);
    buffer->SetLighting(false);
    buffer->SetDepthTest(false);
    buffer->SetBackgroundColor(clBlack);

    buffer->RenderFrame();
    EXPECT_EQ(Pixel(32, 24), (RGB{0, 255, 0}));
    EXPECT_EQ(overlay->afterSceneDraws, 1);
    ASSERT_EQ(buffer->AfterSceneEffects().size(), 1u);

    // The next pass starts with an empty list: an object that does not ask again is not drawn.
    overlay->askAfterScene = false;
    buffer->RenderFrame();
    EXPECT_EQ(Pixel(32, 24), (RGB{255, 0, 0}));
    EXPECT_EQ(overlay->afterSceneDraws, 1);
    EXPECT_TRUE(buffer->AfterSceneEffects().empty());

    // A destroyed object leaves the list; a destroyed buffer leaves the object's record.
    overlay->askAfterScene = true;
    buffer->RenderFrame();
    delete overlay;
    EXPECT_TRUE(buffer->AfterSceneEffects().empty());
    auto* second = new Overlay(&owner);
    scene->Objects().AddChild(second);
    buffer->RenderFrame();
    ASSERT_EQ(buffer->AfterSceneEffects().size(), 1u);
    buffer.reset();
    delete second;
}

TEST_F(BufferTest, EveryPassStartsWithMainTexCoordRoutingBeforeItsHooks)
{
    static int routed;
    static std::vector<std::string> order;
    routed = 0;
    order.clear();
    SetMainTexCoordRoutingHandler([] {
        ++routed;
        order.push_back("routing");
    });
    buffer->BeforeRender = [](TSceneBuffer*) { order.push_back("before"); };
    buffer->RenderFrame();
    buffer->RenderFrame();
    SetMainTexCoordRoutingHandler(nullptr);
    EXPECT_EQ(routed, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"routing", "before", "routing", "before"}));
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

TEST(VideoModes, ASwitchAsksForTheEntrysSizeDepthAndRateHeldToItsHighest)
{
    auto mode = [](int w, int h, int d, int hz) {
        TVideoMode m;
        m.width = static_cast<uint16_t>(w);
        m.height = static_cast<uint16_t>(h);
        m.colorDepth = static_cast<uint8_t>(d);
        m.maxFrequency = static_cast<uint8_t>(hz);
        return m;
    };
    const std::vector<TVideoMode> modes = {mode(1920, 1080, 32, 60), mode(640, 480, 8, 60),
                                           mode(640, 480, 15, 60),   mode(800, 600, 16, 75),
                                           mode(1024, 768, 24, 85),  mode(1280, 1024, 32, 0)};
    const struct {
        int index, bitsPerPixel, bytesPerPixel;
    } depths[] = {{1, 8, 1}, {2, 15, 2}, {3, 16, 2}, {4, 24, 3}, {5, 24, 4}};  // 32: 24 bits in 4 bytes
    for (const auto& d : depths) {
        const auto request = DisplayModeRequest(modes, d.index, 0);
        ASSERT_TRUE(request) << d.index;
        EXPECT_EQ(request->w, modes[static_cast<size_t>(d.index)].width);
        EXPECT_EQ(request->h, modes[static_cast<size_t>(d.index)].height);
        EXPECT_EQ(static_cast<int>(SDL_BITSPERPIXEL(request->format)), d.bitsPerPixel) << d.index;
        EXPECT_EQ(static_cast<int>(SDL_BYTESPERPIXEL(request->format)), d.bytesPerPixel) << d.index;
        EXPECT_EQ(request->refresh_rate, 0);  // rate 0 leaves it to the display
    }
    EXPECT_EQ(DisplayModeRequest(modes, 4, 70)->refresh_rate, 70);
    EXPECT_EQ(DisplayModeRequest(modes, 4, 100)->refresh_rate, 85);
    EXPECT_FALSE(DisplayModeRequest(modes, 6, 0));
    EXPECT_FALSE(DisplayModeRequest(modes, -1, 0));
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

    // A smaller request, or one below 1 x 1, takes the smallest mode at least as large (here
    // the desktop's, the only one) and covers that whole screen; no mode changes.
    for (const auto& [w, h] : {std::pair{desktop.w / 2, desktop.h / 2}, std::pair{0, -480}}) {
        viewer->SetWidth(w);
        viewer->SetHeight(h);
        viewer->SetActive(true);
        ASSERT_TRUE(viewer->Active());
        EXPECT_FALSE(viewer->SwitchedResolution());
        EXPECT_FALSE(DisplayModeSwitched());
        EXPECT_EQ(viewer->Width(), desktop.w);
        EXPECT_EQ(viewer->Height(), desktop.h);
        int ww = 0, wh = 0;
        viewer->Window()->ClientSize(ww, wh);
        EXPECT_EQ(ww, desktop.w);
        EXPECT_EQ(wh, desktop.h);
        viewer->RenderFrame();
        GLint viewport[4] = {};
        viewer->Buffer().RenderingContext()->Activate();
        glGetIntegerv(GL_VIEWPORT, viewport);
        viewer->Buffer().RenderingContext()->Deactivate();
        EXPECT_EQ(viewport[2], desktop.w);
        EXPECT_EQ(viewport[3], desktop.h);
        viewer->SetActive(false);
    }

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
