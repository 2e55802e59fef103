// Fonts without GL: measuring, offsets, ranges, the system font's sheet and its description.
#include <gtest/gtest.h>

#include <set>

#include "engine/scene.h"
#include "platform/exception.h"
#include "runtime/reader.h"
#include "text/bitmapfont.h"
#include "text/hudtext.h"
#include "text/text_classes.h"

using namespace sauno;

namespace {

// A picture font whose widths the test sets: HSpace 1, fix 0.
struct PictureFont : ::testing::Test {
    TComponent owner{nullptr};
    TBitmapFont* font = new TBitmapFont(&owner);
    void SetUp() override
    {
        font->SetCharHeight(10);
        font->SetVSpace(2);
        font->FillCharacterWidths(0);
        font->SetCharacterWidth('A', 5);
        font->SetCharacterWidth('B', 7);
        font->SetCharacterWidth(' ', 3);
    }
};

}  // namespace

TEST_F(PictureFont, MeasureLineCountsEveryCharacterWithItsGap)
{
    EXPECT_EQ(font->MeasureLine(""), 0);
    EXPECT_EQ(font->MeasureLine("A"), 5);
    // 3 characters x (fix 0 + HSpace 1) - HSpace + 5 + 3 + 7
    EXPECT_EQ(font->MeasureLine("A B"), 17);
    // A code without width still counts its gap.
    EXPECT_EQ(font->MeasureLine("A~"), 6);
}

TEST_F(PictureFont, LineOffsetsFollowTheAlignmentAndHalvesGoToEven)
{
    const std::string text = "A\rB";
    EXPECT_EQ(font->LineOffset(text, 0, TAlignment::taLeftJustify), 0);
    EXPECT_EQ(font->LineOffset(text, 0, TAlignment::taRightJustify), -5);
    EXPECT_EQ(font->LineOffset(text, 2, TAlignment::taRightJustify), -7);
    EXPECT_EQ(font->LineOffset(text, 0, TAlignment::taCenter), -2);  // -2.5
    EXPECT_EQ(font->LineOffset(text, 2, TAlignment::taCenter), -4);  // -3.5

    EXPECT_EQ(font->LayoutOffset(text, TTextLayout::tlTop), 0);
    EXPECT_EQ(font->LayoutOffset(text, TTextLayout::tlBottom), 2 * 12 - 2);
    EXPECT_EQ(font->LayoutOffset("A", TTextLayout::tlBottom), 10);
    EXPECT_EQ(font->LayoutOffset("A", TTextLayout::tlCenter), 5);
    EXPECT_EQ(font->LayoutOffset("A\r\r", TTextLayout::tlCenter), 17);  // 34 / 2
    font->SetVSpace(1);
    EXPECT_EQ(font->LayoutOffset("A\r", TTextLayout::tlCenter), 10);  // 21 / 2 = 10.5
}

TEST_F(PictureFont, SettersClampAndInvalidate)
{
    font->SetCharWidth(1);
    EXPECT_EQ(font->CharWidth(), 1);
    font->SetCharWidth(-5);
    EXPECT_EQ(font->CharWidth(), 1);
    font->SetHSpace(-3);
    EXPECT_EQ(font->HSpace(), 0);
    font->SetGlyphsIntervalX(-1);
    EXPECT_EQ(font->GlyphsIntervalX(), 0);
    font->SetCharWidth(9);
    // Invalidation gives every code the cell width again.
    EXPECT_EQ(font->CharacterWidth('A'), 9);
    EXPECT_EQ(font->CharacterWidth(200), 9);
    EXPECT_EQ(font->CellsPerRow(), 0) << "no sheet";
}

TEST(BitmapFontRanges, StartAndStopClampEachOtherAndDescribeThemselves)
{
    TBitmapFontRanges ranges;
    TBitmapFontRange& a = ranges.Add(65, 70);
    a.SetStartASCII(80);
    EXPECT_EQ(a.StopASCII(), 80);
    a.SetStopASCII(60);
    EXPECT_EQ(a.StartASCII(), 60);
    a.SetStopASCII(69);
    a.SetStartGlyphIdx(-4);
    EXPECT_EQ(a.StartGlyphIdx(), 0);
    a.SetStartGlyphIdx(3);
    EXPECT_EQ(a.DisplayName(), "ASCII [#60, #69] -> Glyphs [3, 12]");
    ranges.Add(32, 32);
    EXPECT_EQ(ranges.CharacterCount(), 11);
}

TEST(SheetChoice, SmallestAreaThenSquarerThenFirstFound)
{
    std::vector<TSheetSize> tried;
    EXPECT_EQ(ChooseSheetSize([&](int w, int h) {
                  tried.push_back({w, h});
                  return w * h >= 8192;
              }),
              (TSheetSize{128, 64}));
    ASSERT_EQ(tried.size(), 16u);
    EXPECT_EQ(tried[1], (TSheetSize{128, 64})) << "widths run inside heights";
    EXPECT_EQ(ChooseSheetSize([](int w, int h) { return w * h >= 32768; }), (TSheetSize{256, 128}));
    EXPECT_EQ(ChooseSheetSize([](int w, int h) { return w == 512 && h >= 128; }), (TSheetSize{512, 128}));
    EXPECT_EQ(ChooseSheetSize([](int, int) { return false; }), (TSheetSize{0, 0}));
}

TEST(SystemFont, TheGamesFontsGetTheirCellsWidthsAndSheets)
{
    TComponent owner(nullptr);
    auto* font1 = new TWindowsBitmapFont(&owner);
    font1->Font().SetName("Futura MdCn BT");
    font1->Font().SetHeight(-16);
    font1->Font().SetStyle(true, false, false, false);
    font1->BuildSheet();
    platform::FontDescription d = font1->Font().Description();
    platform::FontRasterizer raster(d);
    EXPECT_NE(raster.FontFile().find("DejaVuSansCondensed-Bold"), std::string::npos) << raster.FontFile();
    EXPECT_EQ(font1->CharWidth(), std::max({raster.TextWidth("M"), raster.TextWidth("W"), raster.TextWidth("_")}) + 2);
    EXPECT_EQ(font1->CharHeight(), raster.TextHeight("x") + 2);
    EXPECT_EQ(font1->CharacterWidth('A'), raster.TextWidth("A"));
    EXPECT_EQ(font1->CharacterWidth(' '), raster.TextWidth(" "));
    EXPECT_EQ(font1->CharacterWidth('~'), 0) << "outside the default range";
    EXPECT_EQ(font1->CharacterWidth(31), 0);
    EXPECT_EQ(font1->HorizontalSpacingFix(), 0);
    // The 94 glyphs of 16-pixel bold condensed need more than 128 x 64.
    const int sheetArea = font1->Glyphs().Width() * font1->Glyphs().Height();
    EXPECT_GE(sheetArea, 128 * 128);
    EXPECT_LE(sheetArea, 256 * 128);
    // The sheet is white on black: some pixels lit, the top-left corner dark.
    TPixelRows rows = font1->Glyphs().Graphic()->Pixels();
    ASSERT_EQ(rows.Width, font1->Glyphs().Width());
    EXPECT_EQ(rows.Data[0], 0);
    EXPECT_GT(*std::max_element(rows.Data.begin(), rows.Data.end()), 200);
    // Glyph rectangles are inside the sheet, left above right, top above bottom.
    for (uint8_t c : {uint8_t('!'), uint8_t('A'), uint8_t('}')}) {
        TGlyphRect r = font1->GlyphRect(c);
        EXPECT_LT(r.left, r.right);
        EXPECT_GT(r.top, r.bottom);
        EXPECT_GE(r.left, 0.0f);
        EXPECT_LE(r.right, 1.0f);
        EXPECT_GT(r.bottom, 0.0f);
    }

    auto* countdown = new TWindowsBitmapFont(&owner);
    countdown->Font().SetName("Arial Black");
    countdown->Font().SetHeight(-48);
    countdown->BuildSheet();
    platform::FontRasterizer heavy(countdown->Font().Description());
    EXPECT_NE(heavy.FontFile().find("DejaVuSans-Bold."), std::string::npos) << heavy.FontFile();
    EXPECT_EQ(countdown->Glyphs().Width(), 512);
}

namespace {
// A system font whose maker gives it a spacing fix of its own.
class SpacedFont : public TWindowsBitmapFont {
public:
    using TWindowsBitmapFont::TWindowsBitmapFont;
    void Space(int32_t fix) { SetSpacingFix(fix); }
};
}  // namespace

TEST(SystemFont, AnUprightSheetLeavesTheFixAsItIsAndItalicOnlyLendsItsOwn)
{
    TComponent owner(nullptr);
    auto* font = new SpacedFont(&owner);
    font->Font().SetHeight(-20);
    font->Space(3);
    font->BuildSheet();
    EXPECT_EQ(font->HorizontalSpacingFix(), 3);
    font->Font().SetStyle(false, true, false, false);
    font->BuildSheet();
    EXPECT_LT(font->HorizontalSpacingFix(), 0);
    font->Font().SetStyle(false, false, false, false);
    font->BuildSheet();
    EXPECT_EQ(font->HorizontalSpacingFix(), 3);
}

TEST(SystemFont, ItalicWidensTheCellAndAFontTooLargeFallsBackToSixPoints)
{
    TComponent owner(nullptr);
    auto* font = new TWindowsBitmapFont(&owner);
    font->Font().SetHeight(-20);
    font->BuildSheet();
    const int upright = font->CharWidth();
    const int uprightA = font->CharacterWidth('A');
    font->Font().SetStyle(false, true, false, false);
    font->BuildSheet();
    // The fix is a third of the measured cell, and the cell grew by as much.
    const int measured = font->CharWidth() + font->HorizontalSpacingFix();
    EXPECT_LT(font->HorizontalSpacingFix(), 0);
    EXPECT_EQ(font->HorizontalSpacingFix(), -(measured / 3));
    EXPECT_GT(font->CharWidth(), upright);
    EXPECT_GT(font->CharacterWidth('A'), uprightA - 2);
    font->Font().SetStyle(false, false, false, false);
    font->BuildSheet();
    EXPECT_EQ(font->HorizontalSpacingFix(), 0) << "no italic fix left behind";
    EXPECT_EQ(font->CharWidth(), upright);

    font->Font().SetHeight(-120);
    try {
        font->BuildSheet();
        FAIL() << "a 120-pixel font fits no 512 x 512 sheet";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Characters are too large or too many. Unable to create font texture.");
    }
    EXPECT_EQ(font->Font().Height(), -8);
    EXPECT_EQ(font->Font().Size(), 6);
    EXPECT_TRUE(font->TextureDirty());
    font->BuildSheet();
    EXPECT_EQ(font->Glyphs().Width() * font->Glyphs().Height(), 128 * 64);
}

// A cell must lie wholly on the sheet: one that would be clipped goes to a new row, and one that
// no sheet can hold fails the font instead of drawing part of a glyph.
TEST(SystemFont, NoGlyphIsClippedByTheSheet)
{
    TComponent owner(nullptr);
    auto* font = new TWindowsBitmapFont(&owner);
    TBitmapFontRanges gapped;  // code 255 is never looked ahead to, nor looks ahead itself
    gapped.Add('W', 'W');
    gapped.Add(255, 255);
    font->SetRanges(gapped);
    for (int height = 30; height <= 70; height += 4) {
        font->Font().SetHeight(-height);
        font->BuildSheet();
        for (uint8_t c : {uint8_t('W'), uint8_t(255)}) {
            const TGlyphRect r = font->GlyphRect(c);
            EXPECT_LE(r.right, 1.0f) << "height " << height << " code " << int(c);
            EXPECT_GE(r.bottom, 0.0f) << "height " << height << " code " << int(c);
        }
    }

    // A single glyph taller and wider than the largest sheet.
    TBitmapFontRanges one;
    one.Add('M', 'M');
    font->SetRanges(one);
    font->Font().SetHeight(-600);
    try {
        font->BuildSheet();
        FAIL() << "a 600-pixel glyph fits no sheet";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), FontTooLargeMessage);
    }
    // Narrow but taller than the sheet.
    TBitmapFontRanges bar;
    bar.Add('|', '|');
    font->SetRanges(bar);
    font->Font().SetHeight(-560);
    platform::FontRasterizer raster(font->Font().Description());
    ASSERT_LT(raster.TextWidth("|") + 2, 512);
    EXPECT_THROW(font->BuildSheet(), Exception);
}

TEST(SystemFont, AFontChangeInvalidatesAndReachesTheUsers)
{
    TComponent owner(nullptr);
    auto* font = new TWindowsBitmapFont(&owner);
    auto* text = new THUDText(&owner);
    int changes = 0;
    struct Counter : THUDText {
        using THUDText::THUDText;
        int* count = nullptr;
        void ReportChange(TPersistent* sender) override
        {
            ++*count;
            THUDText::ReportChange(sender);
        }
    };
    auto* counted = new Counter(&owner);
    counted->count = &changes;
    counted->SetBitmapFont(font);
    text->SetBitmapFont(font);
    EXPECT_EQ(font->Users().size(), 2u);
    EXPECT_THROW(font->AddUser(text), EAssertionFailed);
    changes = 0;
    font->Font().SetName("Some Face Nobody Has");
    EXPECT_EQ(changes, 1);
    font->Font().SetName("Some Face Nobody Has");
    EXPECT_EQ(changes, 1) << "the same value is no change";
    counted->SetText("x");
    counted->SetText("x");
    EXPECT_EQ(changes, 3) << "setting the same text still notifies";
    delete font;
    EXPECT_EQ(text->BitmapFont(), nullptr);
    EXPECT_EQ(counted->BitmapFont(), nullptr);
}

TEST(TextDescription, TheGamesFontAndTextEntriesLoad)
{
    RegisterSceneClasses();
    RegisterTextClasses();
    ClassRegistry::Instance().Register("TTextRoot", "TComponent", nullptr);
    TComponent root(nullptr);
    TReader reader(root);
    reader.ReadRoot(ParseDescription(R"(TTextRoot root {
  TScene Scene1 {
    TDummyCube tekstit {
      THUDText lampotex {
        Position.Coordinates = hex"00000000 00008242 00000000 0000803F"
        BitmapFont = font1
        Text = "Temperature:"
        Alignment = taLeftJustify
        Layout = tlTop
        THUDText temp {
          Visible = false
          BitmapFont = font1
          Alignment = taRightJustify
          Layout = tlBottom
        }
      }
    }
  }
  TWindowsBitmapFont font1 {
    Font.Charset = ANSI_CHARSET
    Font.Color = clWhite
    Font.Height = -16
    Font.Name = "Futura MdCn BT"
    Font.Style = [fsBold]
  }
  TBitmapFont pictures {
    CharWidth = 8
    HSpace = 2
    Ranges = ( { StartASCII = "A" StopASCII = "Z" StartGlyphIdx = 1 } { StartASCII = 48 StopASCII = 57 } )
    MinFilter = miNearest
  }
})"));
    auto* font1 = dynamic_cast<TWindowsBitmapFont*>(root.FindComponent("font1"));
    ASSERT_NE(font1, nullptr);
    EXPECT_EQ(font1->Font().Name(), "Futura MdCn BT");
    EXPECT_EQ(font1->Font().Height(), -16);
    EXPECT_TRUE(font1->Font().Bold());
    EXPECT_EQ(font1->Font().Color(), 0xFFFFFFu);
    EXPECT_EQ(font1->Font().Charset(), platform::ANSI_CHARSET);
    auto* lampotex = dynamic_cast<THUDText*>(root.FindComponent("lampotex"));
    auto* temp = dynamic_cast<THUDText*>(root.FindComponent("temp"));
    ASSERT_NE(lampotex, nullptr);
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(lampotex->Text(), "Temperature:");
    EXPECT_EQ(lampotex->BitmapFont(), font1);
    EXPECT_EQ(lampotex->Position().Y(), 65.0f);
    EXPECT_EQ(temp->Parent(), lampotex);
    EXPECT_FALSE(temp->Visible());
    EXPECT_EQ(temp->Alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(temp->Layout(), TTextLayout::tlBottom);
    EXPECT_EQ(font1->Users().size(), 2u);
    auto* pictures = dynamic_cast<TBitmapFont*>(root.FindComponent("pictures"));
    ASSERT_NE(pictures, nullptr);
    EXPECT_EQ(pictures->HSpace(), 2);
    EXPECT_EQ(pictures->MinFilter(), TMinFilter::miNearest);
    ASSERT_EQ(pictures->Ranges().Count(), 2);
    EXPECT_EQ(pictures->Ranges().Items(0).DisplayName(), "ASCII [#65, #90] -> Glyphs [1, 26]");
    EXPECT_EQ(pictures->Ranges().Items(1).StopASCII(), '9');

    for (const char* bad : {"Font.Style = [fsHeavy]", "Font.Color = clPlaid", "Font.Charset = KLINGON_CHARSET"}) {
        TComponent other(nullptr);
        TReader again(other);
        EXPECT_THROW(again.ReadRoot(ParseDescription(std::string("TTextRoot r { TWindowsBitmapFont f { ") + bad +
                                                     " } }")),
                     Exception)
            << bad;
    }
}
