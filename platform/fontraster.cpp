#include "platform/fontraster.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "platform/exception.h"
#include "platform/process.h"

namespace sauno::platform {

namespace {

constexpr const char* RuleFileName = "sauno-fonts.conf";
// How many folders above the executable's own the rule file is looked for.
constexpr int RuleSearchDepth = 4;

std::string FindRuleFile()
{
    std::filesystem::path dir = std::filesystem::path(ExecutableDirectory()).parent_path();  // drops the '/'
    for (int level = 0; level <= RuleSearchDepth; ++level) {
        std::error_code error;
        const std::filesystem::path candidate = dir / RuleFileName;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
        if (dir == dir.parent_path()) break;
        dir = dir.parent_path();
    }
    return {};
}

// The process's FreeType library and fontconfig configuration, made on first use.
struct FontSystem {
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    std::mutex lock;

    FontSystem()
    {
        if (FT_Init_FreeType(&library) != 0) throw Exception("Cannot initialise the font rasteriser");
        const std::string rules = FindRuleFile();
        if (!rules.empty()) {
            config = FcConfigCreate();
            if (config && (!FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(rules.c_str()), FcTrue) ||
                           !FcConfigBuildFonts(config))) {
                FcConfigDestroy(config);
                config = nullptr;
            }
        }
        if (!config) config = FcInitLoadConfigAndFonts();
    }
    ~FontSystem()
    {
        if (config) FcConfigDestroy(config);
        FT_Done_FreeType(library);
    }
};

FontSystem& Fonts()
{
    static FontSystem system;
    return system;
}

int RoundPixels(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

int HeightFromPoints(int points) { return -RoundPixels(points * double(ScreenDPI) / 72.0); }

char32_t AnsiToUnicode(uint8_t code)
{
    // The codes 0x80 ... 0x9F of the Western ANSI code page; the rest are Latin-1.
    static constexpr std::array<char16_t, 32> high = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (code >= 0x80 && code <= 0x9F) return high[code - 0x80];
    return code;
}

struct FontRasterizer::Face {
    FT_Face face = nullptr;
    std::string file;
    std::string family;
    bool embolden = false;
    bool oblique = false;
    int ascent = 0, descent = 0;
    std::array<int, 256> advances;

    ~Face()
    {
        if (face) FT_Done_Face(face);
    }

    // Loads the glyph of `code` into the face's slot, with any synthetic style applied.
    FT_GlyphSlot Load(uint8_t code, bool render)
    {
        const FT_UInt index = FT_Get_Char_Index(face, AnsiToUnicode(code));
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return nullptr;
        FT_GlyphSlot slot = face->glyph;
        if (oblique) FT_GlyphSlot_Oblique(slot);
        if (embolden) FT_GlyphSlot_Embolden(slot);
        if (render && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return nullptr;
        return slot;
    }

    int Advance(uint8_t code)
    {
        int& advance = advances[code];
        if (advance < 0) {
            FT_GlyphSlot slot = Load(code, false);
            advance = slot ? static_cast<int>((slot->advance.x + 32) >> 6) : 0;
        }
        return advance;
    }
};

FontRasterizer::FontRasterizer(const FontDescription& description)
    : description_(description), face_(std::make_unique<Face>())
{
    FontSystem& system = Fonts();
    std::lock_guard guard(system.lock);

    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(description.Name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, description.Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, description.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(system.config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(system.config, pattern, &result);
    FcPatternDestroy(pattern);

    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcMatrix* matrix = nullptr;
    FT_Matrix transform{0x10000, 0, 0, 0x10000};
    if (match) {
        // A rule may narrow or slant a face to stand in for one the system lacks.
        if (FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix)
            transform = {FT_Fixed(matrix->xx * 0x10000), FT_Fixed(matrix->xy * 0x10000),
                         FT_Fixed(matrix->yx * 0x10000), FT_Fixed(matrix->yy * 0x10000)};
        FcChar8* value = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch) face_->file = reinterpret_cast<char*>(value);
        if (FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch)
            face_->family = reinterpret_cast<char*>(value);
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        FcPatternDestroy(match);
    }
    if (face_->file.empty() || FT_New_Face(system.library, face_->file.c_str(), index, &face_->face) != 0)
        throw Exception("No font file for \"" + description.Name + "\"");
    FT_Set_Transform(face_->face, &transform, nullptr);
    face_->embolden = description.Bold && weight < FC_WEIGHT_DEMIBOLD;
    face_->oblique = description.Italic && slant == FC_SLANT_ROMAN;

    FT_Face face = face_->face;
    const double unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    double ascentUnits = face->ascender, descentUnits = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    int pixelsPerEm = 16;
    if (description.Height < 0) pixelsPerEm = -description.Height;
    else if (description.Height > 0)
        pixelsPerEm = std::max(1, RoundPixels(description.Height * unitsPerEm / (ascentUnits + descentUnits)));
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::min(pixelsPerEm, 4096))) != 0)
        throw Exception("Cannot size the font \"" + description.Name + "\"");
    face_->ascent = RoundPixels(ascentUnits * pixelsPerEm / unitsPerEm);
    face_->descent = RoundPixels(descentUnits * pixelsPerEm / unitsPerEm);
    face_->advances.fill(-1);
}

FontRasterizer::~FontRasterizer() = default;

const std::string& FontRasterizer::FontFile() const { return face_->file; }
const std::string& FontRasterizer::FamilyName() const { return face_->family; }
int FontRasterizer::Ascent() const { return face_->ascent; }

int FontRasterizer::TextWidth(std::string_view text)
{
    int width = 0;
    for (char c : text) width += face_->Advance(static_cast<uint8_t>(c));
    return width;
}

int FontRasterizer::TextHeight(std::string_view) { return face_->ascent + face_->descent; }

void FontRasterizer::DrawText(GreyImage image, const PixelRect& clip, int x, int y, std::string_view text)
{
    const int left = std::max(0, clip.Left), top = std::max(0, clip.Top);
    const int right = std::min(image.Width, clip.Left + clip.Width);
    const int bottom = std::min(image.Height, clip.Top + clip.Height);
    if (left >= right || top >= bottom || image.Pixels.size() < size_t(image.Width) * size_t(image.Height)) return;
    auto plot = [&](int px, int py, uint8_t value) {
        if (px < left || px >= right || py < top || py >= bottom) return;
        uint8_t& pixel = image.Pixels[size_t(py) * size_t(image.Width) + size_t(px)];
        pixel = std::max(pixel, value);
    };

    const int baseline = y + face_->ascent;
    int pen = x;
    for (char c : text) {
        const auto code = static_cast<uint8_t>(c);
        if (FT_GlyphSlot slot = face_->Load(code, true)) {
            const FT_Bitmap& bitmap = slot->bitmap;
            const int originX = pen + slot->bitmap_left, originY = baseline - slot->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row)
                for (unsigned column = 0; column < bitmap.width; ++column)
                    plot(originX + int(column), originY + int(row),
                         bitmap.buffer[ptrdiff_t(row) * bitmap.pitch + ptrdiff_t(column)]);
        }
        pen += face_->Advance(code);
    }

    // Underline and strike-out run under the whole text.
    FT_Face face = face_->face;
    const double scale = double(face->size->metrics.y_ppem) / (face->units_per_EM > 0 ? face->units_per_EM : 2048);
    auto line = [&](int lineTop, int thickness) {
        for (int row = lineTop; row < lineTop + std::max(1, thickness); ++row)
            for (int column = x; column < pen; ++column) plot(column, row, 255);
    };
    if (description_.Underline)
        line(baseline - RoundPixels(face->underline_position * scale), RoundPixels(face->underline_thickness * scale));
    if (description_.StrikeOut) {
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const double position = os2 ? os2->yStrikeoutPosition : face->units_per_EM * 0.25;
        const double size = os2 ? os2->yStrikeoutSize : face->underline_thickness;
        line(baseline - RoundPixels(position * scale), RoundPixels(size * scale));
    }
}

}  // namespace sauno::platform
