// Picture fonts on real GL: glyph rectangles from the sheet's cells, the transparent key colour
// and drawing downward with reverse-Y, read back from the frame.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/context.h"
#include "engine/statecache.h"
#include "platform/window.h"
#include "text/bitmapfont.h"

using namespace sauno;

namespace {

constexpr int Size = 64;

// A sheet of 12 x 20 pixels on blue: cells of 6 x 10, two to a row. The glyph of cell 0 is a white
// block in its top half, one pixel in from the cell's left edge, so the sheet's top-left pixel is
// blue; the other cells are blue.
class TSheet : public TGraphic {
public:
    TSheet()
    {
        rows_ = {12, 20, 3, TChannelOrder::coRGB, {}};
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool white = x >= 1 && x <= 4 && y <= 4;
                rows_.Data.insert(rows_.Data.end(), {uint8_t(white ? 255 : 0), uint8_t(white ? 255 : 0), 255});
            }
    }
    std::string_view ClassName() const override { return "TSheet"; }
    int Width() const override { return rows_.Width; }
    int Height() const override { return rows_.Height; }
    void LoadFromData(std::span<const uint8_t>) override {}
    void SaveToData(std::vector<uint8_t>&) const override {}
    const TPixelRows& Pixels() override { return rows_; }

private:
    TPixelRows rows_;
};

class PictureFontGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::InitVideo();
        window = std::make_unique<platform::Window>("font", 0, 0, Size, Size, platform::GLPixelFormat{},
                                                    platform::WindowStyle::Normal);
        context = GLContextManager().NewContext();
        context->CreateOnSurface(*window);
        context->Activate();
        rci.stateCache = &cache;
        font = new TBitmapFont(&owner);
        font->Glyphs().SetGraphic(std::make_unique<TSheet>());
        font->SetCharWidth(6);
        font->SetCharHeight(10);
        font->SetMinFilter(TMinFilter::miNearest);
        font->SetMagFilter(TMagFilter::maNearest);
        TBitmapFontRanges ranges;
        ranges.Add('A', 'B');
        ranges.Add('C', 'C').SetStartGlyphIdx(2);
        font->SetRanges(ranges);
        font->GlyphsChanged();
    }
    void TearDown() override
    {
        owner.DestroyComponents();
        context->Deactivate();
        context.reset();
        window.reset();
    }

    // Draws `text` on green in a projection of one unit per pixel, y up (or down), and answers
    // the frame top row first: 'w' white, 'b' blue, '.' green.
    std::vector<std::string> Draw(const std::string& text, float x, float y, bool reverseY = false,
                                  bool yDown = false)
    {
        glViewport(0, 0, Size, Size);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (yDown) glOrtho(0, Size, Size, 0, -1, 1);
        else glOrtho(0, Size, 0, Size, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_CULL_FACE);  // a turned-over glyph faces away
        const std::array<float, 2> position = {x, y};
        font->DrawText(rci, text, TAlignment::taLeftJustify, TTextLayout::tlTop, {1, 1, 1, 1}, &position, reverseY);
        std::vector<uint8_t> pixels(size_t(Size) * Size * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, Size, Size, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        std::vector<std::string> frame(Size, std::string(Size, '.'));
        for (int row = 0; row < Size; ++row)
            for (int column = 0; column < Size; ++column) {
                const uint8_t* p = &pixels[(size_t(Size - 1 - row) * Size + size_t(column)) * 3];
                frame[size_t(row)][size_t(column)] = p[0] > 128 ? 'w' : p[2] > 128 && p[1] < 128 ? 'b' : '.';
            }
        return frame;
    }

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<TContext> context;
    TStateCache cache;
    TRenderContextInfo rci;
    TComponent owner{nullptr};
    TBitmapFont* font = nullptr;
};

}  // namespace

TEST_F(PictureFontGL, GlyphRectanglesFollowTheCellsOfTheRanges)
{
    Draw("A", 0, Size);  // builds the texture: the sheet padded to 16 x 32
    ASSERT_EQ(font->TextureWidth(), 16);
    ASSERT_EQ(font->TextureHeight(), 32);
    auto expect = [](const TGlyphRect& r, float x, float y, float width) {
        EXPECT_FLOAT_EQ(r.left, (x + 0.05f) / 16);
        EXPECT_FLOAT_EQ(r.top, (32 - (y + 0.05f)) / 32);
        EXPECT_FLOAT_EQ(r.right, (x + width - 0.05f) / 16);
        EXPECT_FLOAT_EQ(r.bottom, (32 - (y + 10 - 0.05f)) / 32);
    };
    expect(font->GlyphRect('A'), 0, 0, 6);
    expect(font->GlyphRect('B'), 6, 0, 6);
    expect(font->GlyphRect('C'), 0, 10, 6);  // its range starts at cell 2, the second row
    EXPECT_EQ(font->GlyphRect('D'), TGlyphRect{}) << "outside every range";

    // A code's own width narrows its rectangle; gaps between cells move the cells.
    font->SetGlyphsIntervalX(1);
    font->SetGlyphsIntervalY(2);
    font->SetCharacterWidth('C', 4);
    EXPECT_EQ(font->CellsPerRow(), 1);  // (12 + 1) div (6 + 1)
    expect(font->GlyphRect('B'), 0, 12, 6);
    expect(font->GlyphRect('C'), 0, 24, 4);
}

TEST_F(PictureFontGL, TheSheetsTopLeftColourIsTransparentAndReverseYDrawsDownward)
{
    // y up: the glyph hangs below its start point at (10, 40), its white block on top.
    std::vector<std::string> frame = Draw("A", 10, 40);
    // Rows from the top: y = 40 is row 24; the cell covers rows 24 to 33, columns 10 to 15.
    for (int row = 24; row <= 28; ++row) EXPECT_EQ(frame[size_t(row)].substr(9, 8), "..wwww..") << "row " << row;
    for (int row = 29; row <= 34; ++row) EXPECT_EQ(frame[size_t(row)].substr(9, 8), "........") << "row " << row;
    EXPECT_EQ(frame[23], std::string(Size, '.'));

    // The key is blue, the colour a person sees at the sheet's top-left: it is transparent, and
    // only the padding of the texture, black, keeps its alpha.
    std::vector<uint8_t> texels(16 * 32 * 4);
    glBindTexture(GL_TEXTURE_2D, font->TextureName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    auto alpha = [&](int x, int yFromTop) { return texels[(size_t(31 - yFromTop) * 16 + size_t(x)) * 4 + 3]; };
    EXPECT_EQ(alpha(0, 0), 0) << "blue";
    EXPECT_EQ(alpha(2, 2), 255) << "white";
    EXPECT_EQ(alpha(14, 0), 255) << "black padding";

    // y down, reverse-Y: the glyph still hangs below its start point and stands upright.
    frame = Draw("A", 10, 24, true, true);
    for (int row = 24; row <= 28; ++row) EXPECT_EQ(frame[size_t(row)].substr(9, 8), "..wwww..") << "row " << row;
    for (int row = 29; row <= 34; ++row) EXPECT_EQ(frame[size_t(row)].substr(9, 8), "........") << "row " << row;
    EXPECT_EQ(frame[23], std::string(Size, '.'));

    // Without reverse-Y that projection turns the glyph over, above the point.
    frame = Draw("A", 10, 24, false, true);
    for (int row = 19; row <= 23; ++row) EXPECT_EQ(frame[size_t(row)].substr(9, 8), "..wwww..") << "row " << row;
    EXPECT_EQ(frame[24], std::string(Size, '.'));
}
