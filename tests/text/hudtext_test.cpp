// HUD texts on real GL under the virtual X server: frames are read back and their pixels probed.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/camera.h"
#include "engine/context.h"
#include "engine/scene.h"
#include "material/texture.h"
#include "platform/window.h"
#include "runtime/application.h"
#include "text/bitmapfont.h"
#include "text/hudtext.h"

using namespace sauno;

namespace {

constexpr int Width = 320, Height = 240;

// A quad over the whole viewport, red and nearer than any HUD text.
class NearWall : public TImmaterialSceneObject {
public:
    explicit NearWall(TComponent* owner) : TImmaterialSceneObject(owner) { SetObjectStyle(osDirectDraw); }
    void BuildGeometry(TRenderContextInfo&) override
    {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glColor3f(1, 0, 0);
        glBegin(GL_QUADS);
        glVertex3f(-1, -1, -0.9f);
        glVertex3f(1, -1, -0.9f);
        glVertex3f(1, 1, -0.9f);
        glVertex3f(-1, 1, -0.9f);
        glEnd();
        glPopAttrib();
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
};

struct Box {
    int left = Width, top = Height, right = -1, bottom = -1, lit = 0, brightest = 0;
};

class HUDText : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().Initialize();
        window = std::make_unique<platform::Window>("hud", 0, 0, Width, Height, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        buffer = std::make_unique<TSceneBuffer>(nullptr);
        buffer->SetContextOptions(OptionBit(roDoubleBuffer) | OptionBit(roNoSwapBuffers));
        buffer->SetBackgroundColor(clBlack);
        buffer->SetSize(Width, Height);
        buffer->OpenContext(*window);
        scene = new TScene(&owner);
        camera = new TCamera(&owner);
        scene->Objects().AddChild(camera);
        camera->SetFocalLength(100);
        buffer->SetCamera(camera);
        font = new TWindowsBitmapFont(&owner);
        font->Font().SetName("Futura MdCn BT");
        font->Font().SetHeight(-16);
        font->Font().SetStyle(true, false, false, false);
        group = new TDummyCube(&owner);
        scene->Objects().AddChild(group);
        text = group->AddNewChild<THUDText>();
        text->SetBitmapFont(font);
        text->SetText("Temperature:");
        text->Position().SetPoint(100, 65, 0);
    }
    void TearDown() override
    {
        buffer->SetCamera(nullptr);
        buffer.reset();
        owner.DestroyComponents();
        window.reset();
    }

    // Renders a frame and reads it back, top row first, as RGB.
    std::vector<uint8_t> Frame()
    {
        buffer->RenderFrame();
        std::vector<uint8_t> rgb(size_t(Width) * Height * 3);
        buffer->RenderingContext()->Activate();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        std::vector<uint8_t> rows(rgb.size());
        glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
        buffer->RenderingContext()->Deactivate();
        for (int y = 0; y < Height; ++y)
            std::copy_n(&rows[size_t(Height - 1 - y) * Width * 3], Width * 3, &rgb[size_t(y) * Width * 3]);
        return rgb;
    }
    // Where channel `c` is above 100.
    static Box Lit(const std::vector<uint8_t>& frame, int c = 1)
    {
        Box box;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const uint8_t v = frame[(size_t(y) * Width + x) * 3 + size_t(c)];
                if (v <= 100) continue;
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y),
                       box.lit + 1, std::max(box.brightest, int(v))};
            }
        return box;
    }

    TComponent owner{nullptr};
    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TSceneBuffer> buffer;
    TScene* scene = nullptr;
    TCamera* camera = nullptr;
    TWindowsBitmapFont* font = nullptr;
    TDummyCube* group = nullptr;
    THUDText* text = nullptr;
};

}  // namespace

TEST_F(HUDText, GlyphsHangBelowAndRightOfThePositionWhateverTheCameraDoes)
{
    const std::vector<uint8_t> first = Frame();
    const Box box = Lit(first);
    ASSERT_GT(box.lit, 60);
    EXPECT_GE(box.left, 100);
    EXPECT_LE(box.left, 103);
    EXPECT_GE(box.top, 65);
    EXPECT_LE(box.top, 70) << "capitals start near the top of the cell";
    EXPECT_LT(box.right, 100 + font->MeasureLine("Temperature:") + 2);
    EXPECT_LT(box.bottom, 65 + font->CharHeight());
    EXPECT_EQ(box.brightest, 255) << "glyph texels land on pixels one to one";

    camera->Position().SetPoint(3, -2, 7);
    camera->SetSceneScale(3);
    camera->SetFocalLength(20);
    group->Position().SetPoint(5, 5, -5);
    group->SetTurnAngle(40);
    group->Scale().SetVector(3, 3, 3);
    EXPECT_EQ(Frame(), first);
}

// Rotation turns the text counter-clockwise on the screen about its position.
TEST_F(HUDText, RotationTurnsTheTextAboutItsPosition)
{
    text->Position().SetPoint(100, 150, 0);
    const Box flat = Lit(Frame());
    const int length = flat.right - flat.left;
    text->SetRotation(90);
    const Box up = Lit(Frame());
    EXPECT_EQ(up.lit, flat.lit);
    EXPECT_LE(up.bottom, 150) << "the line runs upward from the position";
    EXPECT_NEAR(up.bottom - up.top, length, 2);
    EXPECT_GE(up.left, 100) << "the glyphs hang to the right of the line";
    EXPECT_LT(up.right, 100 + font->CharHeight());
    text->SetRotation(-90);
    const Box down = Lit(Frame());
    EXPECT_GE(down.top, 150) << "clockwise: the line runs downward";
    EXPECT_LE(down.right, 100);
    text->SetRotation(180);
    const Box over = Lit(Frame());
    EXPECT_LE(over.right, 100);
    EXPECT_LE(over.bottom, 150);
    EXPECT_NEAR(over.right - over.left, length, 2);
    // The scale stretches the turned text along its own line.
    text->SetRotation(90);
    text->Position().SetPoint(100, 200, 0);
    text->Scale().SetVector(2, 1, 1);
    const Box stretched = Lit(Frame());
    EXPECT_NEAR(stretched.bottom - stretched.top, 2 * length, 4);
    EXPECT_LT(stretched.right, 100 + font->CharHeight());
}

TEST_F(HUDText, ScaleZeroOrADepthOutsideTheClipVolumeDrawsNothing)
{
    text->Scale().SetVector(0, 1, 1);
    EXPECT_EQ(Lit(Frame()).lit, 0);
    text->Scale().SetVector(1, 1, 1);
    text->Position().SetZ(1.5f);
    EXPECT_EQ(Lit(Frame()).lit, 0);
    text->Position().SetZ(-0.5f);
    EXPECT_GT(Lit(Frame()).lit, 60);
    text->Scale().SetVector(2, 2, 1);
    const Box twice = Lit(Frame());
    EXPECT_GE(twice.bottom - twice.top, 2 * 10);
}

TEST_F(HUDText, DrawsOverA3DObjectBeforeItAndTakesItsColour)
{
    auto* wall = new NearWall(&owner);
    group->InsertChild(0, wall);
    text->ModulateColor().SetColor({0, 1, 0, 1});
    const std::vector<uint8_t> frame = Frame();
    EXPECT_EQ(frame[(size_t(10) * Width + 10) * 3], 255) << "the wall is drawn";
    const Box green = Lit(frame, 1);
    EXPECT_GT(green.lit, 60);
    EXPECT_GE(green.left, 100);
    EXPECT_GE(green.top, 65);
}

TEST_F(HUDText, CarriageReturnsStartLinesAndLineFeedsAreNothing)
{
    text->SetText("AB");
    const std::vector<uint8_t> plain = Frame();
    text->SetText("AB\r");
    EXPECT_EQ(Frame(), plain) << "a closing carriage return";
    text->SetText("A\nB");
    EXPECT_EQ(Frame(), plain) << "a line feed";
    text->SetText("AB~");
    EXPECT_EQ(Frame(), plain) << "a code outside the ranges";
    text->SetText("A\rB");
    const Box two = Lit(Frame());
    EXPECT_GE(two.bottom, 65 + font->CharHeight() + font->VSpace());
    text->SetText("A B");
    const Box spaced = Lit(Frame());
    text->SetText("AB");
    const Box close = Lit(Frame());
    EXPECT_EQ(spaced.right - close.right, font->CharacterWidth(' ') + font->HorizontalSpacingFix())
        << "a space advances by its width and the fix, without the gap";
}

TEST_F(HUDText, AlignmentAndLayoutPlaceTheBlockOnThePosition)
{
    text->Position().SetPoint(200, 100, 0);
    const int width = font->MeasureLine("Temperature:");
    text->SetAlignment(TAlignment::taRightJustify);
    Box box = Lit(Frame());
    EXPECT_LT(box.right, 200);
    EXPECT_GE(box.right, 200 - 3);
    EXPECT_GE(box.left, 200 - width);
    text->SetAlignment(TAlignment::taCenter);
    box = Lit(Frame());
    EXPECT_NEAR((box.left + box.right) / 2.0, 200, 3);
    text->SetLayout(TTextLayout::tlBottom);
    box = Lit(Frame());
    EXPECT_LT(box.bottom, 100);
    EXPECT_GE(box.top, 100 - font->CharHeight());
    text->SetLayout(TTextLayout::tlCenter);
    box = Lit(Frame());
    EXPECT_LT(box.top, 100);
    EXPECT_GT(box.bottom, 100);
}

TEST_F(HUDText, WithoutFontOrTextOnlyTheChildrenDraw)
{
    auto* child = text->AddNewChild<THUDText>();
    child->SetBitmapFont(font);
    child->SetText("0");
    child->Position().SetPoint(10, 150, 0);
    text->SetBitmapFont(nullptr);
    Box box = Lit(Frame());
    EXPECT_GT(box.lit, 5);
    EXPECT_GE(box.top, 150);
    text->SetBitmapFont(font);
    text->SetText("");
    box = Lit(Frame());
    EXPECT_GE(box.top, 150);
    text->SetVisible(false);
    EXPECT_EQ(Lit(Frame()).lit, 0) << "hiding the parent hides the child";
}

TEST_F(HUDText, TheSheetBecomesAnAlphaTextureOfTheSheetsSize)
{
    Frame();
    ASSERT_NE(font->TextureName(), 0u);
    EXPECT_FALSE(font->TextureDirty());
    EXPECT_EQ(font->TextureWidth(), font->Glyphs().Width());
    buffer->RenderingContext()->Activate();
    glBindTexture(GL_TEXTURE_2D, font->TextureName());
    GLint format = 0, width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    buffer->RenderingContext()->Deactivate();
    EXPECT_TRUE(format == GL_ALPHA || format == GL_ALPHA8) << std::hex << format;
    EXPECT_EQ(width, font->Glyphs().Width());

    // A font change frees the texture; the next frame builds it with the new sheet.
    const int before = font->CharWidth();
    font->Font().SetHeight(-24);
    EXPECT_TRUE(font->TextureDirty());
    const Box box = Lit(Frame());
    EXPECT_GT(font->CharWidth(), before);
    EXPECT_GE(box.bottom - box.top, 16);
}

// Texture coordinates reach the first unit at the start of every pass,
// whatever the last draw of the previous frame left.
TEST_F(HUDText, EveryFrameStartsWithTextureCoordinatesOnTheFirstUnit)
{
    text->SetVisible(false);
    SetTexCoordRouting(TTexCoordRouting::tcrDrop);
    Frame();
    EXPECT_EQ(TexCoordRouting(), TTexCoordRouting::tcrMain);
}
