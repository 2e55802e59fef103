#pragma once
// 32-bit images in memory, the conversion of pictures into them, and the pixel passes a
// texture applies before upload (alpha, brightness, gamma).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "material/export.h"
#include "material/picture.h"

namespace sauno {

enum class TTextureImageAlpha {
    tiaDefault,
    tiaAlphaFromIntensity,
    tiaSuperBlackTransparent,
    tiaLuminance,
    tiaLuminanceSqrt,
    tiaOpaque,
    tiaTopLeftPointColorTransparent,
    tiaInverseLuminance,
    tiaInverseLuminanceSqrt,
};

class SAUNO_MATERIAL_EXPORT TBitmap32 {
public:
    // 4 bytes per pixel: red, green, blue, alpha. With VerticalReverse off the first data row
    // is the bottom row of the picture.
    std::vector<uint8_t> Data;
    int Width = 0;
    int Height = 0;
    bool VerticalReverse = false;

    size_t DataSize() const { return Data.size(); }
    bool Empty() const { return Width <= 0 || Height <= 0; }
    // The 4 bytes of the pixel at column x of data row y.
    uint8_t* Pixel(int x, int y) { return &Data[(size_t(y) * size_t(Width) + size_t(x)) * 4]; }
    const uint8_t* Pixel(int x, int y) const { return &Data[(size_t(y) * size_t(Width) + size_t(x)) * 4]; }

    // Copies another bitmap whole, its vertical-reverse flag included.
    void Assign(const TBitmap32& other);
    // No picture or an empty one: size 0. Otherwise the picture's pixels, decoded if needed.
    // Throws Exception when the picture cannot be decoded; the bitmap then keeps what it had.
    void Assign(const TPicture* picture);
    void Assign(TGraphic* graphic);
    // Rows of 3 or 4 bytes per pixel. A width that is not a multiple of 4 is widened to
    // (width div 4) * 4 + 4 first; alpha is 255 for 3-byte rows and kept for 4-byte rows.
    void Assign(const TPixelRows& rows);
};

// A bitmap of the size of a blank image: width rounded up to a multiple of 4, pixels zeroed.
// A size of 0 or less gives an empty bitmap; an absurd size is an Exception.
SAUNO_MATERIAL_EXPORT TBitmap32 BlankBitmap32(int width, int height);

SAUNO_MATERIAL_EXPORT void ApplyImageAlpha(TBitmap32& bitmap, TTextureImageAlpha alpha);
// Each of R, G, B becomes value * brightness rounded, held within 0 ... 255. 1 changes nothing.
SAUNO_MATERIAL_EXPORT void ImageBrightness(TBitmap32& bitmap, float brightness);
// Each of R, G, B becomes 255 * (value / 255) ^ (1 / gamma) rounded; a gamma below 0.1
// (including 0, negative and NaN) uses the exponent 10. 1 changes nothing.
SAUNO_MATERIAL_EXPORT void ImageGamma(TBitmap32& bitmap, float gamma);

}  // namespace sauno
