#pragma once
// System fonts: a font description, the typeface it resolves to, measurement of 8-bit text and
// antialiased drawing of it, white on black, into a grey image clipped to a rectangle.
//
// Typefaces are found with fontconfig under the project's own rule file "sauno-fonts.conf",
// looked for beside the executable and then in the folders above it (a build directory holds
// it at its top, an installation beside the game). The rule maps the game's typefaces onto
// DejaVu faces and sends every other unknown name to DejaVu Sans, so that a name resolves to
// the same file on every machine with those fonts. Without the rule file the system's own
// fontconfig configuration chooses.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace sauno::platform {

// Character sets a description may name; text is 8-bit ANSI, which every set here reads alike.
enum TFontCharset : uint8_t { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, OEM_CHARSET = 255 };

struct SAUNO_PLATFORM_EXPORT FontDescription {
    std::string Name = "MS Sans Serif";
    // Pixels. Negative: the height of the characters without internal leading (the em size);
    // positive: the height of the whole cell, ascent plus descent; 0: a default of 16 pixels.
    int Height = -11;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    uint8_t Charset = DEFAULT_CHARSET;
    uint32_t Color = 0;  // 0x00BBGGRR; drawing is always white on black, the colour is for the caller

    bool operator==(const FontDescription&) const = default;
};

// Pixels per inch of the screen fonts are measured for: point sizes convert with it.
inline constexpr int ScreenDPI = 96;
// The height of a font of `points` points: the negative em size in pixels, rounded.
SAUNO_PLATFORM_EXPORT int HeightFromPoints(int points);

// Eight bits per pixel, 0 black to 255 white, rows top first, `Width` bytes a row.
struct SAUNO_PLATFORM_EXPORT GreyImage {
    std::span<uint8_t> Pixels;
    int Width = 0;
    int Height = 0;
};

struct SAUNO_PLATFORM_EXPORT PixelRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

class SAUNO_PLATFORM_EXPORT FontRasterizer {
public:
    // Resolves the typeface and opens it; Exception when no font file can be opened at all.
    explicit FontRasterizer(const FontDescription& description);
    ~FontRasterizer();
    FontRasterizer(const FontRasterizer&) = delete;
    FontRasterizer& operator=(const FontRasterizer&) = delete;

    const FontDescription& Description() const { return description_; }
    // The file and family the description resolved to.
    const std::string& FontFile() const;
    const std::string& FamilyName() const;

    // Sum of the characters' advances, in pixels.
    int TextWidth(std::string_view text);
    // The height of a line of text: ascent plus descent, whatever the characters.
    int TextHeight(std::string_view text);
    int Ascent() const;

    // Draws `text` with the top-left of its line at (x, y); pixels outside `clip` or the image
    // are left alone; overlapping glyphs keep the brighter coverage.
    void DrawText(GreyImage image, const PixelRect& clip, int x, int y, std::string_view text);

private:
    struct Face;
    FontDescription description_;
    std::unique_ptr<Face> face_;
};

// The Unicode character an 8-bit ANSI code stands for.
SAUNO_PLATFORM_EXPORT char32_t AnsiToUnicode(uint8_t code);

}  // namespace sauno::platform
