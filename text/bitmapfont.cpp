#include "text/bitmapfont.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/scene.h"
#include "engine/statecache.h"
#include "platform/exception.h"
#include "platform/startup_report.h"

namespace sauno {

namespace {

// Nearest whole number, halves to even.
int32_t RoundHalfEven(double value) { return static_cast<int32_t>(std::nearbyint(value)); }

// The glyph sheet of a system font: grey levels, shown as a picture of equal red, green and blue.
class TGlyphSheet : public TGraphic {
public:
    std::string_view ClassName() const override { return "TBitmap"; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void LoadFromData(std::span<const uint8_t>) override
    {
        throw Exception("A rasterised glyph sheet cannot be read from data");
    }
    void SaveToData(std::vector<uint8_t>&) const override {}
    const TPixelRows& Pixels() override
    {
        if (rows_.Data.empty() && !grey_.empty()) {
            rows_.Width = width_;
            rows_.Height = height_;
            rows_.BytesPerPixel = 3;
            rows_.Data.resize(grey_.size() * 3);
            for (size_t i = 0; i < grey_.size(); ++i) rows_.Data[i * 3] = rows_.Data[i * 3 + 1] = rows_.Data[i * 3 + 2] = grey_[i];
        }
        return rows_;
    }

    // A black sheet of the given size, to be drawn into.
    platform::GreyImage Reset(int width, int height)
    {
        width_ = width;
        height_ = height;
        grey_.assign(size_t(width) * size_t(height), 0);
        rows_ = TPixelRows{};
        return {grey_, width_, height_};
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> grey_;
    TPixelRows rows_;
};

}  // namespace

// ---- Ranges -------------------------------------------------------------------------------

void TBitmapFontRange::SetStartASCII(uint8_t value)
{
    startASCII_ = value;
    if (stopASCII_ < value) stopASCII_ = value;
}

void TBitmapFontRange::SetStopASCII(uint8_t value)
{
    stopASCII_ = value;
    if (startASCII_ > value) startASCII_ = value;
}

void TBitmapFontRange::SetStartGlyphIdx(int32_t value) { startGlyphIdx_ = std::max(value, 0); }

std::string TBitmapFontRange::DisplayName() const
{
    char text[96];
    std::snprintf(text, sizeof text, "ASCII [#%d, #%d] -> Glyphs [%d, %d]", startASCII_, stopASCII_, startGlyphIdx_,
                  StopGlyphIdx());
    return text;
}

TBitmapFontRange& TBitmapFontRanges::Add()
{
    items_.push_back(std::make_unique<TBitmapFontRange>());
    return *items_.back();
}

TBitmapFontRange& TBitmapFontRanges::Add(uint8_t start, uint8_t stop)
{
    TBitmapFontRange& range = Add();
    range.SetStartASCII(start);
    range.SetStopASCII(stop);
    return range;
}

void TBitmapFontRanges::Assign(const TBitmapFontRanges& other)
{
    if (&other == this) return;
    items_.clear();
    for (const auto& item : other.items_) items_.push_back(std::make_unique<TBitmapFontRange>(*item));
}

int TBitmapFontRanges::CharacterCount() const
{
    int count = 0;
    for (const auto& item : items_) count += item->StopASCII() - item->StartASCII() + 1;
    return count;
}

// ---- TCustomBitmapFont ---------------------------------------------------------------------

TCustomBitmapFont::TCustomBitmapFont(TComponent* owner) : TUpdateAbleComponent(owner) {}

TCustomBitmapFont::~TCustomBitmapFont()
{
    // Watching text objects drop the font here and unregister themselves.
    BeginDestroy();
    users_.clear();
}

void TCustomBitmapFont::SetRanges(const TBitmapFontRanges& value)
{
    ranges_.Assign(value);
    Invalidate();
}

void TCustomBitmapFont::GlyphsChanged()
{
    textureDirty_ = true;
    Invalidate();
}

#define SAUNO_FONT_SETTER(Name, field, expression) \
    void TCustomBitmapFont::Set##Name(int32_t value) \
    { \
        value = (expression); \
        if (value == field) return; \
        field = value; \
        Invalidate(); \
    }
SAUNO_FONT_SETTER(CharWidth, charWidth_, value < 2 ? 1 : value)
SAUNO_FONT_SETTER(CharHeight, charHeight_, value < 2 ? 1 : value)
SAUNO_FONT_SETTER(GlyphsIntervalX, glyphsIntervalX_, std::max(value, 0))
SAUNO_FONT_SETTER(GlyphsIntervalY, glyphsIntervalY_, std::max(value, 0))
SAUNO_FONT_SETTER(HSpace, hSpace_, std::max(value, 0))
SAUNO_FONT_SETTER(VSpace, vSpace_, std::max(value, 0))
#undef SAUNO_FONT_SETTER

void TCustomBitmapFont::SetMinFilter(TMinFilter value)
{
    if (value == minFilter_) return;
    minFilter_ = value;
    textureDirty_ = true;
    Invalidate();
}

void TCustomBitmapFont::SetMagFilter(TMagFilter value)
{
    if (value == magFilter_) return;
    magFilter_ = value;
    textureDirty_ = true;
    Invalidate();
}

void TCustomBitmapFont::SetGlyphsAlpha(TTextureImageAlpha value)
{
    if (value == glyphsAlpha_) return;
    glyphsAlpha_ = value;
    textureDirty_ = true;
    Invalidate();
}

std::array<int32_t, 256>& TCustomBitmapFont::Widths()
{
    if (!widths_) {
        widths_ = std::make_unique<std::array<int32_t, 256>>();
        widths_->fill(charWidth_);
    }
    return *widths_;
}

int32_t TCustomBitmapFont::CharacterWidth(uint8_t code) { return Widths()[code]; }

void TCustomBitmapFont::FillCharacterWidths(int32_t width) { Widths().fill(width < 0 ? charWidth_ : width); }

void TCustomBitmapFont::SetCharacterWidth(uint8_t code, int32_t width) { Widths()[code] = width; }

void TCustomBitmapFont::SetGlyphRect(uint8_t code, const TGlyphRect& rect)
{
    if (!rects_) rects_ = std::make_unique<std::array<TGlyphRect, 256>>();
    (*rects_)[code] = rect;
}

int32_t TCustomBitmapFont::CellsPerRow() const
{
    if (glyphs_.Empty()) return 0;
    return (glyphs_.Width() + glyphsIntervalX_) / (charWidth_ + glyphsIntervalX_);
}

TGlyphRect TCustomBitmapFont::GlyphRect(uint8_t code)
{
    if (!rects_) {
        rects_ = std::make_unique<std::array<TGlyphRect, 256>>();
        const int perRow = CellsPerRow();
        const float w = static_cast<float>(textureWidth_), h = static_cast<float>(textureHeight_);
        if (perRow > 0 && w > 0 && h > 0) {
            for (int r = 0; r < ranges_.Count(); ++r) {
                const TBitmapFontRange& range = ranges_.Items(r);
                int cell = range.StartGlyphIdx();
                for (int d = range.StartASCII(); d <= range.StopASCII(); ++d, ++cell) {
                    const float x = static_cast<float>((cell % perRow) * (charWidth_ + glyphsIntervalX_));
                    const float y = static_cast<float>((cell / perRow) * (charHeight_ + glyphsIntervalY_));
                    (*rects_)[size_t(d)] = {(x + 0.05f) / w, (h - (y + 0.05f)) / h,
                                            (x + float(CharacterWidth(uint8_t(d))) - 0.05f) / w,
                                            (h - (y + float(charHeight_) - 0.05f)) / h};
                }
            }
        }
    }
    return (*rects_)[code];
}

int32_t TCustomBitmapFont::MeasureLine(std::string_view text)
{
    if (text.empty()) return 0;
    int32_t width = static_cast<int32_t>(text.size()) * (spacingFix_ + hSpace_) - hSpace_;
    for (char c : text) width += CharacterWidth(static_cast<uint8_t>(c));
    return width;
}

int32_t TCustomBitmapFont::LineOffset(std::string_view text, size_t start, TAlignment alignment)
{
    if (alignment == TAlignment::taLeftJustify) return 0;
    size_t end = text.find('\r', start);
    if (end == std::string_view::npos) end = text.size();
    const int32_t width = MeasureLine(text.substr(std::min(start, text.size()), end - std::min(start, end)));
    return alignment == TAlignment::taRightJustify ? -width : RoundHalfEven(-width * 0.5);
}

int32_t TCustomBitmapFont::LayoutOffset(std::string_view text, TTextLayout layout) const
{
    if (layout == TTextLayout::tlTop) return 0;
    const int32_t lines = 1 + static_cast<int32_t>(std::count(text.begin(), text.end(), '\r'));
    const int32_t block = lines * (charHeight_ + vSpace_) - vSpace_;
    return layout == TTextLayout::tlBottom ? block : RoundHalfEven(block * 0.5);
}

void TCustomBitmapFont::AddUser(TBaseSceneObject* user)
{
    Assert(std::find(users_.begin(), users_.end(), user) == users_.end());
    users_.push_back(user);
}

void TCustomBitmapFont::RemoveUser(TBaseSceneObject* user) { std::erase(users_, user); }

void TCustomBitmapFont::Invalidate()
{
    Widths().fill(charWidth_);
    rects_.reset();
    for (auto it = users_.rbegin(); it != users_.rend(); ++it) (*it)->NotifyChange(this);
}

void TCustomBitmapFont::ReleaseTexture()
{
    textureHandle_.ReleaseName();
    textureDirty_ = true;
}

void TCustomBitmapFont::BuildTexture()
{
    if (glyphs_.Empty()) return;
    const TPixelRows& rows = glyphs_.Graphic()->Pixels();
    // The sheet at the top-left of a black picture of power-of-two size.
    TPixelRows padded;
    padded.Width = PowerOfTwoAtLeast(rows.Width);
    padded.Height = PowerOfTwoAtLeast(rows.Height);
    padded.Data.assign(size_t(padded.Width) * size_t(padded.Height) * 3, 0);
    const size_t stride = size_t(rows.BytesPerPixel);
    if (rows.Data.size() >= size_t(rows.Width) * size_t(rows.Height) * stride) {
        for (int y = 0; y < rows.Height; ++y)
            for (int x = 0; x < rows.Width; ++x) {
                const uint8_t* from = &rows.Data[(size_t(y) * size_t(rows.Width) + size_t(x)) * stride];
                uint8_t* to = &padded.Data[(size_t(y) * size_t(padded.Width) + size_t(x)) * 3];
                const bool bgr = rows.Order == TChannelOrder::coBGR;
                to[0] = from[bgr ? 2 : 0];
                to[1] = from[1];
                to[2] = from[bgr ? 0 : 2];
            }
    }
    TBitmap32 bitmap;
    bitmap.Assign(padded);

    const TTextureImageAlpha alpha = glyphsAlpha_;
    Assert(alpha != TTextureImageAlpha::tiaInverseLuminance && alpha != TTextureImageAlpha::tiaInverseLuminanceSqrt);
    if (alpha == TTextureImageAlpha::tiaDefault || alpha == TTextureImageAlpha::tiaTopLeftPointColorTransparent) {
        // The key is the sheet's top-left pixel as the picture shows it, not the first data
        // pixel, which is the bottom-left one of the padded, bottom-up bitmap.
        const std::array<uint8_t, 3> key = {padded.Data[0], padded.Data[1], padded.Data[2]};
        for (size_t i = 0; i + 3 < bitmap.Data.size(); i += 4) {
            uint8_t* p = &bitmap.Data[i];
            p[3] = p[0] == key[0] && p[1] == key[1] && p[2] == key[2] ? 0 : 255;
        }
    } else {
        ApplyImageAlpha(bitmap, alpha);
    }

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const int width = std::min(bitmap.Width, static_cast<int>(maxSize));
    const int height = std::min(bitmap.Height, static_cast<int>(maxSize));
    const uint8_t* pixels = bitmap.Data.data();
    std::vector<uint8_t> scaled;
    if (width != bitmap.Width || height != bitmap.Height) {
        scaled.resize(size_t(width) * size_t(height) * 4);
        gluScaleImage(GL_RGBA, bitmap.Width, bitmap.Height, GL_UNSIGNED_BYTE, bitmap.Data.data(), width, height,
                      GL_UNSIGNED_BYTE, scaled.data());
        pixels = scaled.data();
    }
    const GLint format = static_cast<GLint>(SheetFormat());
    const bool mipmaps = minFilter_ != TMinFilter::miNearest && minFilter_ != TMinFilter::miLinear;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (mipmaps) gluBuild2DMipmaps(GL_TEXTURE_2D, format, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    else glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    textureWidth_ = width;
    textureHeight_ = height;
}

void TCustomBitmapFont::SetTextureParameters()
{
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, MinFilterValue(minFilter_));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter_ == TMagFilter::maNearest ? GL_NEAREST : GL_LINEAR);
}

void TCustomBitmapFont::DrawText(TRenderContextInfo& rci, std::string_view text, TAlignment alignment,
                                 TTextLayout layout, const TVector4& color, const std::array<float, 2>* position,
                                 bool reverseY)
{
    if (glyphs_.Empty() || text.empty()) return;
    auto bind = [&](GLuint name) {
        if (rci.stateCache) rci.stateCache->BindTexture(0, GL_TEXTURE_2D, name);
        else glBindTexture(GL_TEXTURE_2D, name);
    };
    if (textureDirty_ || textureHandle_.Handle() == 0) {
        if (textureHandle_.Handle() == 0) textureHandle_.AcquireName();
        Assert(textureHandle_.Handle() != 0);
        bind(textureHandle_.Handle());
        if (!glyphs_.Empty()) {
            BuildTexture();
            SetTextureParameters();
        }
        textureDirty_ = false;
        // A system font may have emptied its sheet while rebuilding it.
        if (glyphs_.Empty()) return;
    }

    const float offsetX = position ? (*position)[0] : 0, offsetY = position ? (*position)[1] : 0;
    float x = static_cast<float>(LineOffset(text, 0, alignment)) + offsetX;
    float y = static_cast<float>(LayoutOffset(text, layout)) + offsetY;
    const float charHeight = static_cast<float>(charHeight_);
    float bottom = reverseY ? y + charHeight : y - charHeight;
    const float lineStep = -static_cast<float>(charHeight_ + vSpace_);
    const float spaceAdvance = static_cast<float>(CharacterWidth(32) + spacingFix_);

    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    bind(textureHandle_.Handle());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPushAttrib(GL_CURRENT_BIT);
    glColor4fv(color.Data());
    glBegin(GL_QUADS);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<uint8_t>(text[i]);
        if (code == 13) {
            x = static_cast<float>(LineOffset(text, i + 1, alignment)) + offsetX;
            y += lineStep;
            bottom = reverseY ? y + charHeight : y - charHeight;
        } else if (code == 32) {
            x += spaceAdvance;
        } else if (code > 32) {
            const int32_t width = CharacterWidth(code);
            if (width <= 0) continue;
            const TGlyphRect r = GlyphRect(code);
            const float right = x + static_cast<float>(width);
            glTexCoord2f(r.left, r.top);
            glVertex4f(x, y, 0, 1);
            glTexCoord2f(r.left, r.bottom);
            glVertex4f(x, bottom, 0, 1);
            glTexCoord2f(r.right, r.bottom);
            glVertex4f(right, bottom, 0, 1);
            glTexCoord2f(r.right, r.top);
            glVertex4f(right, y, 0, 1);
            x = right + static_cast<float>(hSpace_);
        }
    }
    glEnd();
    glPopAttrib();
}

// ---- TFont ----------------------------------------------------------------------------------

int TFont::Size() const { return static_cast<int>(std::lround(-description_.Height * 72.0 / platform::ScreenDPI)); }

void TFont::Assign(const platform::FontDescription& value)
{
    if (value == description_) return;
    description_ = value;
    if (onChange_) onChange_();
}

void TFont::SetName(const std::string& value) { Change([&](platform::FontDescription& d) { d.Name = value; }); }
void TFont::SetHeight(int value) { Change([&](platform::FontDescription& d) { d.Height = value; }); }
void TFont::SetSize(int points) { SetHeight(platform::HeightFromPoints(points)); }
void TFont::SetCharset(uint8_t value) { Change([&](platform::FontDescription& d) { d.Charset = value; }); }
void TFont::SetColor(uint32_t value) { Change([&](platform::FontDescription& d) { d.Color = value; }); }

void TFont::SetStyle(bool bold, bool italic, bool underline, bool strikeOut)
{
    Change([&](platform::FontDescription& d) {
        d.Bold = bold;
        d.Italic = italic;
        d.Underline = underline;
        d.StrikeOut = strikeOut;
    });
}

// ---- TWindowsBitmapFont ------------------------------------------------------------------

TSheetSize ChooseSheetSize(const std::function<bool(int width, int height)>& fits)
{
    TSheetSize best;
    for (int height : SheetSizes)
        for (int width : SheetSizes) {
            if (!fits(width, height)) continue;
            const int area = width * height, bestArea = best.width * best.height;
            if (bestArea == 0 || area < bestArea ||
                (area == bestArea && std::abs(width - height) < std::abs(best.width - best.height)))
                best = {width, height};
        }
    return best;
}

TWindowsBitmapFont::TWindowsBitmapFont(TComponent* owner)
    : TCustomBitmapFont(owner), font_([this] { FontChanged(); })
{
    SetGlyphsAlpha(TTextureImageAlpha::tiaAlphaFromIntensity);
    Ranges().Add(32, 125);
    platform::FontDescription white = font_.Description();
    white.Color = 0xFFFFFF;
    font_.Assign(white);
    BuildSheet();
}

void TWindowsBitmapFont::FontChanged()
{
    ReleaseTexture();
    Invalidate();
    ReportChange(this);
}

void TWindowsBitmapFont::Invalidate()
{
    if (!buildingSheet_) SetTextureDirty();
    TCustomBitmapFont::Invalidate();
}

bool TWindowsBitmapFont::LayoutGlyphs(int width, int height, platform::FontRasterizer* rasterizer,
                                      platform::GreyImage* sheet)
{
    std::array<int32_t, 256>& widths = Widths();
    const int charHeight = CharHeight();
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    int x = 0, y = 0, placed = 0;
    for (int i = 0; i < 256; ++i) {
        const int glyph = widths[size_t(i)];
        if (glyph <= 0) continue;
        // A cell that does not fit would be clipped: first a new row, and if even a row of its
        // own cannot hold it (too wide or too tall for the sheet), the layout fails.
        if (x > 0 && x + glyph + 2 > width) {
            x = 0;
            y += charHeight;
        }
        if (glyph + 2 > width || y + charHeight > height) return false;
        if (rasterizer) {
            SetGlyphRect(uint8_t(i), {(float(x) + 1.05f) / w, (h - (float(y) + 0.05f)) / h,
                                      (float(x + glyph + 2) - 1.05f) / w, (h - (float(y + charHeight) - 0.05f)) / h});
            const char text[2] = {static_cast<char>(i), ' '};
            rasterizer->DrawText(*sheet, {x, y, glyph + 2, charHeight}, x + 1, y + 1, std::string_view(text, 2));
        }
        if (i < 255 && x + (glyph + 2) + widths[size_t(i + 1)] + 2 > width) {
            x = 0;
            y += charHeight;
            if (y + charHeight > height) break;
        } else {
            x += glyph + 2;
        }
        ++placed;
    }
    return placed == Ranges().CharacterCount();
}

void TWindowsBitmapFont::BuildSheet()
{
    platform::StartupPhase phase("fonts: glyph sheets");
    Invalidate();
    struct Building {
        bool& flag;
        explicit Building(bool& f) : flag(f) { flag = true; }
        ~Building() { flag = false; }
    } building(buildingSheet_);

    platform::FontDescription description = font_.Description();
    description.Color = 0xFFFFFF;
    platform::FontRasterizer rasterizer(description);

    int32_t charWidth = std::max({rasterizer.TextWidth("M"), rasterizer.TextWidth("W"), rasterizer.TextWidth("_")}) + 2;
    SetCharHeight(rasterizer.TextHeight("\"_pI|,") + 2);
    if (description.Italic) {
        if (!italicFixApplied_) fixBeforeItalic_ = HorizontalSpacingFix();
        SetSpacingFix(-(charWidth / 3));
        italicFixApplied_ = true;
        charWidth += charWidth / 3;
    } else if (italicFixApplied_) {
        // A font that was italic before gets back the fix it had then, and keeps no italic one.
        SetSpacingFix(fixBeforeItalic_);
        italicFixApplied_ = false;
    }
    SetCharWidth(charWidth);

    std::array<int32_t, 256>& widths = Widths();
    widths.fill(0);
    for (int r = 0; r < Ranges().Count(); ++r) {
        const TBitmapFontRange& range = Ranges().Items(r);
        for (int code = range.StartASCII(); code <= range.StopASCII(); ++code) {
            const char c = static_cast<char>(code);
            widths[size_t(code)] = rasterizer.TextWidth(std::string_view(&c, 1)) - HorizontalSpacingFix();
        }
    }

    const TSheetSize size =
        ChooseSheetSize([this](int width, int height) { return LayoutGlyphs(width, height, nullptr, nullptr); });
    if (size.width == 0) {
        buildingSheet_ = false;
        font_.SetSize(6);
        throw Exception(FontTooLargeMessage);
    }
    auto* sheet = dynamic_cast<TGlyphSheet*>(Glyphs().Graphic());
    if (!sheet) {
        Glyphs().SetGraphic(std::make_unique<TGlyphSheet>());
        sheet = static_cast<TGlyphSheet*>(Glyphs().Graphic());
    }
    platform::GreyImage image = sheet->Reset(size.width, size.height);
    LayoutGlyphs(size.width, size.height, &rasterizer, &image);
}

void TWindowsBitmapFont::BuildTexture()
{
    platform::StartupPhase phase("fonts: glyph textures, sheets included");
    BuildSheet();
    TCustomBitmapFont::BuildTexture();
}

}  // namespace sauno
