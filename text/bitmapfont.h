#pragma once
// Bitmap fonts: a glyph sheet (one picture holding every glyph in cells), the width and the
// texture rectangle of every 8-bit character code, and one GL texture made from the sheet.
// DrawText turns a string into one textured quad per visible character at the current GL
// transform. TBitmapFont draws from a picture the user supplies; TWindowsBitmapFont rasterises
// a system font into the smallest power-of-two sheet that holds its characters.
#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/export.h"
#include "engine/context.h"
#include "engine/rendercontextinfo.h"
#include "engine/updatable.h"
#include "engine/vectors.h"
#include "material/bitmap32.h"
#include "material/picture.h"
#include "material/texture.h"
#include "platform/fontraster.h"

namespace sauno {

class TBaseSceneObject;

// Names and order are part of the scene-description format.
enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };

// Character codes StartASCII ... StopASCII, drawn from the sheet cells from StartGlyphIdx on.
class SAUNO_TEXT_EXPORT TBitmapFontRange : public TPersistent {
public:
    uint8_t StartASCII() const { return startASCII_; }
    uint8_t StopASCII() const { return stopASCII_; }
    int32_t StartGlyphIdx() const { return startGlyphIdx_; }
    int32_t StopGlyphIdx() const { return startGlyphIdx_ + stopASCII_ - startASCII_; }
    // A start above the stop raises the stop to it; a stop below the start lowers the start.
    void SetStartASCII(uint8_t value);
    void SetStopASCII(uint8_t value);
    // Negative becomes 0.
    void SetStartGlyphIdx(int32_t value);
    // "ASCII [#start, #stop] -> Glyphs [first, last]".
    std::string DisplayName() const;

private:
    uint8_t startASCII_ = 0, stopASCII_ = 0;
    int32_t startGlyphIdx_ = 0;
};

// The ranges of a font; it owns them. Changing one range does not tell the font.
class SAUNO_TEXT_EXPORT TBitmapFontRanges : public TPersistent {
public:
    TBitmapFontRange& Add();
    TBitmapFontRange& Add(uint8_t start, uint8_t stop);
    int Count() const { return static_cast<int>(items_.size()); }
    TBitmapFontRange& Items(int i) { return *items_[static_cast<size_t>(i)]; }
    const TBitmapFontRange& Items(int i) const { return *items_[static_cast<size_t>(i)]; }
    void Clear() { items_.clear(); }
    void Assign(const TBitmapFontRanges& other);
    // Sum over the ranges of stop - start + 1.
    int CharacterCount() const;

private:
    std::vector<std::unique_ptr<TBitmapFontRange>> items_;
};

// A glyph's texture rectangle: left s, top t, right s, bottom t.
struct SAUNO_TEXT_EXPORT TGlyphRect {
    float left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const TGlyphRect&, const TGlyphRect&) = default;
};

class SAUNO_TEXT_EXPORT TCustomBitmapFont : public TUpdateAbleComponent {
public:
    explicit TCustomBitmapFont(TComponent* owner);
    // Users still registered at this point are programming errors; they are let go.
    ~TCustomBitmapFont() override;

    // ---- Fields; every setter invalidates the font ----
    TBitmapFontRanges& Ranges() { return ranges_; }
    const TBitmapFontRanges& Ranges() const { return ranges_; }
    void SetRanges(const TBitmapFontRanges& value);
    TPicture& Glyphs() { return glyphs_; }
    // Tells the font that the sheet picture changed: the texture is rebuilt.
    void GlyphsChanged();
    int32_t CharWidth() const { return charWidth_; }
    int32_t CharHeight() const { return charHeight_; }
    // Below 2 stores 1.
    void SetCharWidth(int32_t value);
    void SetCharHeight(int32_t value);
    int32_t GlyphsIntervalX() const { return glyphsIntervalX_; }
    int32_t GlyphsIntervalY() const { return glyphsIntervalY_; }
    int32_t HSpace() const { return hSpace_; }
    int32_t VSpace() const { return vSpace_; }
    // Negative stores 0.
    void SetGlyphsIntervalX(int32_t value);
    void SetGlyphsIntervalY(int32_t value);
    void SetHSpace(int32_t value);
    void SetVSpace(int32_t value);
    // Added to the advance of a space and to every character of a measured line.
    int32_t HorizontalSpacingFix() const { return spacingFix_; }
    TMinFilter MinFilter() const { return minFilter_; }
    TMagFilter MagFilter() const { return magFilter_; }
    // Also mark the texture for rebuilding.
    void SetMinFilter(TMinFilter value);
    void SetMagFilter(TMagFilter value);
    TTextureImageAlpha GlyphsAlpha() const { return glyphsAlpha_; }
    void SetGlyphsAlpha(TTextureImageAlpha value);
    int TextureWidth() const { return textureWidth_; }
    int TextureHeight() const { return textureHeight_; }
    bool TextureDirty() const { return textureDirty_; }
    GLuint TextureName() const { return textureHandle_.Handle(); }

    // ---- Operations ----
    // Draws `text` at the current GL transform: lines split at carriage returns, aligned and laid
    // out on the origin (plus `position` when given), y upward (downward with `reverseY`). The
    // caller has a context active and restores the enable bits afterwards.
    void DrawText(TRenderContextInfo& rci, std::string_view text, TAlignment alignment, TTextLayout layout,
                  const TVector4& color, const std::array<float, 2>* position = nullptr, bool reverseY = false);
    // Width in pixels of one line.
    int32_t MeasureLine(std::string_view text);
    int32_t CharacterWidth(uint8_t code);
    // Every code gets `width`; -1 means CharWidth.
    void FillCharacterWidths(int32_t width = -1);
    void SetCharacterWidth(uint8_t code, int32_t width);
    void SetGlyphRect(uint8_t code, const TGlyphRect& rect);
    TGlyphRect GlyphRect(uint8_t code);
    int32_t CellsPerRow() const;
    // The offsets DrawText uses: of the line starting at `start`, and of the whole block.
    int32_t LineOffset(std::string_view text, size_t start, TAlignment alignment);
    int32_t LayoutOffset(std::string_view text, TTextLayout layout) const;

    // Text objects that draw with this font; registering one twice is "Assertion failure".
    virtual void AddUser(TBaseSceneObject* user);
    virtual void RemoveUser(TBaseSceneObject* user);
    const std::vector<TBaseSceneObject*>& Users() const { return users_; }
    // Widths back to CharWidth, rectangles dropped, every user (last first) told to redraw.
    virtual void Invalidate();

    // Builds the texture image from the sheet and uploads it to the bound texture.
    virtual void BuildTexture();
    // Deletes the GL texture; the next string builds it again.
    virtual void ReleaseTexture();
    // The GL internal format of the texture.
    virtual GLenum SheetFormat() const { return GL_RGBA; }

protected:
    void SetSpacingFix(int32_t value) { spacingFix_ = value; }
    std::array<int32_t, 256>& Widths();
    void SetTextureDirty() { textureDirty_ = true; }

private:
    void SetTextureParameters();

    TBitmapFontRanges ranges_;
    TPicture glyphs_;
    int32_t charWidth_ = 16, charHeight_ = 16;
    int32_t glyphsIntervalX_ = 0, glyphsIntervalY_ = 0;
    int32_t hSpace_ = 1, vSpace_ = 1;
    int32_t spacingFix_ = 0;
    std::vector<TBaseSceneObject*> users_;
    TTextureHandle textureHandle_;
    bool textureDirty_ = true;
    TMinFilter minFilter_ = TMinFilter::miLinear;
    TMagFilter magFilter_ = TMagFilter::maLinear;
    int textureWidth_ = 0, textureHeight_ = 0;
    TTextureImageAlpha glyphsAlpha_ = TTextureImageAlpha::tiaDefault;
    std::unique_ptr<std::array<int32_t, 256>> widths_;     // built on first use
    std::unique_ptr<std::array<TGlyphRect, 256>> rects_;   // built on first use
};

// A font drawn from a picture the user supplies.
class SAUNO_TEXT_EXPORT TBitmapFont : public TCustomBitmapFont {
public:
    using TCustomBitmapFont::TCustomBitmapFont;
};

// The platform's font description; every change of a property is reported once.
class SAUNO_TEXT_EXPORT TFont : public TPersistent {
public:
    explicit TFont(std::function<void()> onChange) : onChange_(std::move(onChange)) {}

    const platform::FontDescription& Description() const { return description_; }
    const std::string& Name() const { return description_.Name; }
    int Height() const { return description_.Height; }
    // Points at 96 pixels per inch: a height of -(points * 96 / 72).
    int Size() const;
    bool Bold() const { return description_.Bold; }
    bool Italic() const { return description_.Italic; }
    uint8_t Charset() const { return description_.Charset; }
    uint32_t Color() const { return description_.Color; }
    void SetName(const std::string& value);
    void SetHeight(int value);
    void SetSize(int points);
    void SetStyle(bool bold, bool italic, bool underline, bool strikeOut);
    void SetCharset(uint8_t value);
    void SetColor(uint32_t value);
    void Assign(const platform::FontDescription& value);

private:
    template <class F>
    void Change(F change)
    {
        platform::FontDescription d = description_;
        change(d);
        Assign(d);
    }
    platform::FontDescription description_;
    std::function<void()> onChange_;
};

inline constexpr const char* FontTooLargeMessage =
    "Characters are too large or too many. Unable to create font texture.";

// A font rasterised from a system typeface into an alpha texture.
class SAUNO_TEXT_EXPORT TWindowsBitmapFont : public TCustomBitmapFont {
public:
    explicit TWindowsBitmapFont(TComponent* owner);

    TFont& Font() { return font_; }
    // Rebuilds the glyph sheet from Font. When no sheet up to 512 x 512 holds the characters the
    // font is set to 6 points and Exception FontTooLargeMessage is raised.
    void BuildSheet();
    void BuildTexture() override;
    GLenum SheetFormat() const override { return GL_ALPHA; }
    // Also marks the texture for rebuilding, so that the sheet follows the change.
    void Invalidate() override;

private:
    // Lays the glyphs out on a sheet of width x height; draws them when `rasterizer` is given.
    bool LayoutGlyphs(int width, int height, platform::FontRasterizer* rasterizer, platform::GreyImage* sheet);
    void FontChanged();

    TFont font_;
    bool buildingSheet_ = false;
    // The fix an italic sheet replaced, given back when the font is upright again; an upright
    // font's fix is otherwise left as it is.
    bool italicFixApplied_ = false;
    int32_t fixBeforeItalic_ = 0;
};

// The sheet sizes tried, smallest first.
inline constexpr std::array<int, 4> SheetSizes = {64, 128, 256, 512};
struct SAUNO_TEXT_EXPORT TSheetSize {
    int width = 0, height = 0;
    friend bool operator==(const TSheetSize&, const TSheetSize&) = default;
};
// The size a system font's sheet takes: of the sizes that `fits` (heights outer, widths inner,
// both from SheetSizes) the smallest area, then the squarer, then the first found; 0 x 0 if none.
SAUNO_TEXT_EXPORT TSheetSize ChooseSheetSize(const std::function<bool(int width, int height)>& fits);

}  // namespace sauno
