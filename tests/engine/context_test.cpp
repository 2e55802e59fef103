// Rendering contexts and GL handles on the real GL of the test display.
#include "engine/context.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

using namespace sauno;
using platform::GLPixelFormat;

namespace {

std::unique_ptr<platform::Window> MakeWindow()
{
    return std::make_unique<platform::Window>("context test", 0, 0, 32, 32, GLPixelFormat{},
                                              platform::WindowStyle::Normal);
}

// The wishes the scene buffer makes in the game: double-buffered, 24 colour and depth bits.
void WishGameFormat(TContext& context)
{
    context.SetOptions({rcoDoubleBuffered});
    context.SetColorBits(24);
    context.SetDepthBits(24);
}

std::array<GLubyte, 4> CentrePixel()
{
    std::array<GLubyte, 4> pixel{};
    glReadPixels(16, 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    return pixel;
}

void DrawQuad()
{
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
}

class ContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = MakeWindow();
        other = MakeWindow();
    }
    // A context on `surface` with the game's wishes, created sharing with `base` if given.
    std::unique_ptr<TSDLContext> Made(platform::Window& surface, TContext* base = nullptr)
    {
        auto context = std::make_unique<TSDLContext>(manager);
        WishGameFormat(*context);
        context->CreateOnSurface(surface, base);
        return context;
    }

    TContextManager manager;
    std::unique_ptr<platform::Window> window, other;
};

TEST_F(ContextTest, NestedActivationAndItsErrors)
{
    TSDLContext context(manager);
    EXPECT_THROW(
        try { context.Activate(); } catch (const EContext& e) {
            EXPECT_STREQ(e.what(), "Context not created");
            throw;
        },
        EContext);
    WishGameFormat(context);
    context.CreateOnSurface(*window);
    EXPECT_TRUE(context.IsValid());
    EXPECT_EQ(manager.CreatedCount(), 1);
    try {
        context.CreateOnSurface(*window);
        FAIL();
    } catch (const EContext& e) {
        EXPECT_STREQ(e.what(), "Context already created");
    }

    context.Activate();
    context.Activate();
    EXPECT_EQ(context.ActivationCount(), 2);
    EXPECT_EQ(TContext::Current(), &context);
    try {
        context.SetDepthBits(16);
        FAIL();
    } catch (const EContext& e) {
        EXPECT_STREQ(e.what(), "Cannot alter an active context");
    }
    EXPECT_EQ(context.DepthBits(), 24);

    context.Deactivate();
    EXPECT_TRUE(context.IsActive());
    EXPECT_EQ(TContext::Current(), &context);
    context.Deactivate();
    EXPECT_EQ(TContext::Current(), nullptr);
    try {
        context.Deactivate();
        FAIL();
    } catch (const EContext& e) {
        EXPECT_STREQ(e.what(), "Unbalanced context activations");
    }
    EXPECT_EQ(context.ActivationCount(), 0);
    // Only the current context can be deactivated; activating another takes the binding over.
    auto second = Made(*other);
    context.Activate();
    EXPECT_THROW(second->Deactivate(), EContext);
    second->Activate();
    EXPECT_THROW(context.Deactivate(), EAssertionFailed);
    second->Deactivate();
    context.Discard();
    EXPECT_EQ(context.ActivationCount(), 0);
    EXPECT_EQ(context.Acceleration(), acUnknown);
    EXPECT_EQ(manager.CreatedCount(), 1);
    EXPECT_EQ(TContext::Current(), nullptr);
}

TEST_F(ContextTest, ManagerRegistrationAndClasses)
{
    EXPECT_EQ(manager.NewContext(), nullptr);
    manager.RegisterContextClass([](TContextManager& m) { return std::make_unique<TSDLContext>(m); });
    auto context = manager.NewContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(&context->Manager(), &manager);
    EXPECT_EQ(manager.ContextCount(), 1);
    try {
        manager.RegisterContext(*context);
        FAIL();
    } catch (const EContext& e) {
        EXPECT_STREQ(e.what(), "Invalid context registration");
    }
    context.reset();
    EXPECT_EQ(manager.ContextCount(), 0);
    TSDLContext stray(manager);
    manager.UnregisterContext(stray);
    EXPECT_THROW(manager.UnregisterContext(stray), EContext);
    manager.RegisterContext(stray);

    auto made = GLContextManager().NewContext();
    EXPECT_NE(dynamic_cast<TSDLContext*>(made.get()), nullptr);
}

TEST_F(ContextTest, SoftwareRendererAndPresent)
{
    auto context = Made(*window);
    EXPECT_EQ(context->Acceleration(), acSoftware);
    context->Activate();
    EXPECT_GE(GLCapabilities().MajorVersion, 1);
    EXPECT_TRUE(GLCapabilities().HasExtension("GL_SGIS_generate_mipmap"));
    EXPECT_FALSE(GLCapabilities().HasExtension("GL_SGIS_generate"));
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    context->Present();
    context->Deactivate();
    EXPECT_TRUE(platform::IsSoftwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(platform::IsSoftwareRenderer("softpipe"));
    EXPECT_FALSE(platform::IsSoftwareRenderer("Mesa Intel(R) UHD Graphics 620"));
    EXPECT_TRUE(ExtensionPresent("GL_A GL_B", "GL_B"));
    EXPECT_FALSE(ExtensionPresent("GL_AB GL_C", "GL_A"));
    EXPECT_FALSE(ExtensionPresent("XGL_A", "GL_A"));
}

TEST_F(ContextTest, DisplayListBuiltOnceAndReplayed)
{
    auto context = Made(*window);
    context->Activate();
    TListHandle list;
    list.AcquireName();
    ASSERT_NE(list.Handle(), 0u);
    EXPECT_EQ(list.RenderingContext(), context.get());
    EXPECT_THROW(list.AcquireName(), EAssertionFailed);
    glNewList(list.Handle(), GL_COMPILE);
    glColor3f(1, 0, 0);
    DrawQuad();
    glEndList();
    for (int frame = 0; frame < 2; ++frame) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_EQ(CentrePixel()[0], 0);
        glCallList(list.Handle());
        auto pixel = CentrePixel();
        EXPECT_EQ(pixel[0], 255);
        EXPECT_EQ(pixel[1], 0);
    }
    GLuint name = list.Handle();
    list.ReleaseName();
    EXPECT_EQ(list.Handle(), 0u);
    EXPECT_FALSE(glIsList(name));
    EXPECT_TRUE(context->OwnedHandles().empty());
    context->Deactivate();

    TListHandle none;
    EXPECT_THROW(none.AcquireName(), EAssertionFailed);
}

TEST_F(ContextTest, TextureSurvivesItsContextAndGoesWithTheLast)
{
    auto first = Made(*window);
    auto second = Made(*other, first.get());
    EXPECT_EQ(first->SharedContexts(), second->SharedContexts());
    EXPECT_EQ(first->SharedContexts().size(), 2u);

    TTextureHandle texture;
    int destroyed = 0;
    TVirtualHandle buffer;
    buffer.OnAllocate = [](TVirtualHandle&, GLuint& name) { glGenTextures(1, &name); };
    buffer.OnDestroy = [&destroyed](TVirtualHandle&, GLuint& name) {
        ++destroyed;
        glDeleteTextures(1, &name);
    };
    first->Activate();
    texture.AcquireName();
    buffer.AcquireName();
    glBindTexture(GL_TEXTURE_2D, texture.Handle());
    const GLubyte green[4] = {0, 255, 0, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, green);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    first->Deactivate();

    first->Discard();
    EXPECT_EQ(texture.RenderingContext(), second.get());
    EXPECT_EQ(buffer.RenderingContext(), second.get());
    EXPECT_EQ(second->OwnedHandles().size(), 2u);
    EXPECT_EQ(second->SharedContexts(), std::vector<TContext*>{second.get()});
    EXPECT_TRUE(first->SharedContexts().empty());
    EXPECT_EQ(destroyed, 0);

    second->Activate();
    EXPECT_TRUE(glIsTexture(texture.Handle()));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture.Handle());
    glColor3f(1, 1, 1);
    DrawQuad();
    EXPECT_EQ(CentrePixel()[1], 255);
    glDisable(GL_TEXTURE_2D);
    second->Deactivate();

    second->Discard();
    EXPECT_EQ(texture.Handle(), 0u);
    EXPECT_EQ(texture.RenderingContext(), nullptr);
    EXPECT_EQ(buffer.Handle(), 0u);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(manager.CreatedCount(), 0);
    EXPECT_EQ(TContext::Current(), nullptr);
}

TEST_F(ContextTest, SharingJoinedLaterAndHandlesMovedByHand)
{
    auto first = Made(*window);
    auto second = Made(*other);
    first->ShareListsWith(*second);  // second holds nothing yet: made again, sharing
    EXPECT_EQ(second->SharedContexts().size(), 2u);
    TListHandle list;
    first->Activate();
    list.AcquireName();
    glNewList(list.Handle(), GL_COMPILE);
    glEndList();
    first->Deactivate();
    second->Activate();
    EXPECT_TRUE(glIsList(list.Handle()));
    second->Deactivate();

    list.Transfer(*second);
    EXPECT_EQ(list.RenderingContext(), second.get());
    EXPECT_TRUE(first->OwnedHandles().empty());

    // A context that already holds objects cannot be joined afterwards.
    auto window3 = MakeWindow();
    auto third = Made(*window3);
    TListHandle held;
    third->Activate();
    held.AcquireName();
    third->Deactivate();
    try {
        first->ShareListsWith(*third);
        FAIL();
    } catch (const EContext& e) {
        EXPECT_STREQ(e.what(), "Incompatible contexts");
    }
    EXPECT_THROW(list.Transfer(*third), EAssertionFailed);

    // Released while an unrelated context is current: deleted in its own, the current one kept.
    GLuint name = held.Handle();
    second->Activate();
    held.ReleaseName();
    EXPECT_EQ(TContext::Current(), second.get());
    EXPECT_TRUE(glIsList(list.Handle()));
    second->Deactivate();
    third->Activate();
    EXPECT_FALSE(glIsList(name));
    third->Deactivate();
}

TEST_F(ContextTest, DiscardKeepsTheCurrentContextAndWindowGoesAfterItsContext)
{
    auto first = Made(*window);
    auto second = Made(*other);
    second->Activate();
    second->Activate();
    first->Discard();
    EXPECT_EQ(TContext::Current(), second.get());
    EXPECT_EQ(second->ActivationCount(), 2);
    glClear(GL_COLOR_BUFFER_BIT);
    second->Deactivate();
    second->Deactivate();

    TListHandle list;
    second->Activate();
    list.AcquireName();
    second->Deactivate();
    other.reset();
    EXPECT_FALSE(second->IsValid());
    EXPECT_EQ(list.Handle(), 0u);
    second->Discard();  // nothing left to do
}

TEST_F(ContextTest, WindowMadeAgainForAnotherPixelFormat)
{
    TSDLContext context(manager);
    WishGameFormat(context);
    context.SetStencilBits(8);
    uint32_t before = window->Id();
    context.CreateOnSurface(*window);
    EXPECT_NE(window->Id(), before);
    EXPECT_EQ(window->PixelFormat().stencilBits, 8);
    context.Activate();
    GLint stencil = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    EXPECT_GE(stencil, 8);
    context.Deactivate();

    // The owner may make the window itself.
    TSDLContext hooked(manager);
    WishGameFormat(hooked);
    hooked.SetAlphaBits(8);
    int asked = 0;
    hooked.OnRemakeSurface = [&asked](platform::Window& surface, const GLPixelFormat& format) {
        ++asked;
        surface.Remake(format);
    };
    hooked.CreateOnSurface(*other);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(other->PixelFormat().alphaBits, 8);
}

TEST_F(ContextTest, CheckGLErrorReportsTheFirstRealError)
{
    auto context = Made(*window);
    context->Activate();
    EXPECT_NO_THROW(CheckGLError());
    glEnable(0x7FFF);  // invalid enumerant
    glMatrixMode(0x7FFF);
    try {
        CheckGLError();
        FAIL();
    } catch (const EOpenGLError& e) {
        EXPECT_STREQ(e.what(), "invalid enumerant");
    }
    EXPECT_NO_THROW(CheckGLError());
    glPopMatrix();  // stack underflow
    DrainGLErrors();
    EXPECT_NO_THROW(CheckGLError());
    context->Deactivate();
}

// A display for the choice rule: the first offer of exactly the wished sizes, with at least the
// wished samples.
struct Display {
    std::vector<platform::GLFormatChoice> offers;
    std::vector<GLPixelFormat> asked;
    std::optional<platform::GLFormatChoice> operator()(const GLPixelFormat& wish)
    {
        asked.push_back(wish);
        for (const auto& offer : offers) {
            const GLPixelFormat& f = offer.format;
            if (f.colorBits == wish.colorBits && f.depthBits == wish.depthBits && f.multisample >= wish.multisample)
                return platform::GLFormatChoice{wish, offer.accelerated};
        }
        return std::nullopt;
    }
};

GLPixelFormat Format(int colour, int depth, int samples = 0)
{
    GLPixelFormat f;
    f.colorBits = colour;
    f.depthBits = depth;
    f.multisample = samples;
    return f;
}

std::optional<platform::GLFormatChoice> Choose(Display& display, const GLPixelFormat& wish)
{
    return platform::ChooseGLFormat(wish, [&display](const GLPixelFormat& w) { return display(w); });
}

TEST(ContextFormatChoice, AcceleratedFirstThenFallbacks)
{
    Display fast{{{Format(24, 24), true}}, {}};
    auto choice = Choose(fast, Format(24, 24));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->format, Format(24, 24));
    EXPECT_EQ(fast.asked.size(), 1u);

    Display depth16{{{Format(24, 24), false}, {Format(24, 16), true}}, {}};
    choice = Choose(depth16, Format(24, 24));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->format, Format(24, 16));
    EXPECT_TRUE(choice->accelerated);

    Display colour16{{{Format(16, 16), true}}, {}};
    choice = Choose(colour16, Format(24, 24));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->format, Format(16, 16));
    EXPECT_EQ(colour16.asked, (std::vector{Format(24, 24), Format(24, 16), Format(16, 16)}));

    // Nothing accelerated: the first answer, in software, at the requested sizes.
    Display software{{{Format(24, 24), false}, {Format(16, 16), false}}, {}};
    choice = Choose(software, Format(24, 24));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->format, Format(24, 24));
    EXPECT_FALSE(choice->accelerated);
    EXPECT_EQ(software.asked.size(), 3u);

    // Only a smaller software format: the wish itself found nothing, so there is no choice.
    Display small{{{Format(16, 16), false}}, {}};
    EXPECT_FALSE(Choose(small, Format(24, 24)));

    // Multisampling nobody offers is given up before the sizes are.
    Display plain{{{Format(24, 24), true}}, {}};
    choice = Choose(plain, Format(24, 24, 4));
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->format, Format(24, 24));
}

TEST(ContextFormatChoice, ProbeOfTheTestDisplay)
{
    platform::InitVideo();
    auto choice = platform::ProbeGLFormat(Format(24, 24));
    ASSERT_TRUE(choice);
    EXPECT_FALSE(choice->accelerated);
    GLPixelFormat impossible = Format(24, 24);
    impossible.accumBits = 4096;
    EXPECT_FALSE(platform::ProbeGLFormat(impossible));
}

}  // namespace
