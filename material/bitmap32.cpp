#include "material/bitmap32.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "platform/exception.h"

namespace sauno {

namespace {

constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 28;

void CheckRows(const TPixelRows& rows)
{
    if (rows.Width < 0 || rows.Height < 0 || (rows.BytesPerPixel != 3 && rows.BytesPerPixel != 4) ||
        rows.Data.size() != size_t(rows.Width) * size_t(rows.Height) * size_t(rows.BytesPerPixel))
        throw Exception("Invalid pixel rows: " + std::to_string(rows.Width) + " x " +
                        std::to_string(rows.Height) + " at " + std::to_string(rows.BytesPerPixel) +
                        " bytes per pixel in " + std::to_string(rows.Data.size()) + " bytes");
}

int Luminance(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }

uint8_t RoundToByte(double value)
{
    if (!(value > 0)) return 0;  // also NaN
    if (value >= 255) return 255;
    return static_cast<uint8_t>(std::lround(value));
}

// Applies a 256-entry table to R, G and B of every pixel.
void MapColours(TBitmap32& bitmap, const std::array<uint8_t, 256>& table)
{
    for (size_t i = 0; i + 3 < bitmap.Data.size(); i += 4)
        for (size_t c = 0; c < 3; ++c) bitmap.Data[i + c] = table[bitmap.Data[i + c]];
}

}  // namespace

void TBitmap32::Assign(const TBitmap32& other)
{
    if (&other == this) return;
    Data = other.Data;
    Width = other.Width;
    Height = other.Height;
    VerticalReverse = other.VerticalReverse;
}

void TBitmap32::Assign(const TPicture* picture)
{
    Assign(picture ? picture->Graphic() : nullptr);
}

void TBitmap32::Assign(TGraphic* graphic)
{
    if (!graphic || graphic->Empty()) {
        Data.clear();
        Width = Height = 0;
        return;
    }
    Assign(graphic->Pixels());
}

void TBitmap32::Assign(const TPixelRows& rows)
{
    CheckRows(rows);
    if (rows.Width == 0 || rows.Height == 0) {
        Data.clear();
        Width = Height = 0;
        return;
    }
    // Widening is a nearest-neighbour stretch: it adds at most 3 columns, each a copy of a
    // neighbour, so no colour is blended and the picture stays sharp.
    const int width = rows.Width % 4 == 0 ? rows.Width : rows.Width / 4 * 4 + 4;
    const int height = rows.Height;
    std::vector<size_t> sourceColumn(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        sourceColumn[size_t(x)] = size_t(int64_t{x} * rows.Width / width) * size_t(rows.BytesPerPixel);

    const bool bgr = rows.Order == TChannelOrder::coBGR;
    const size_t sourceRowBytes = size_t(rows.Width) * size_t(rows.BytesPerPixel);
    std::vector<uint8_t> data(size_t(width) * size_t(height) * 4);
    for (int k = 0; k < height; ++k) {
        const uint8_t* source = rows.Data.data() + size_t(k) * sourceRowBytes;
        const int dataRow = VerticalReverse ? k : height - 1 - k;
        uint8_t* target = data.data() + size_t(dataRow) * size_t(width) * 4;
        for (int x = 0; x < width; ++x, target += 4) {
            const uint8_t* p = source + sourceColumn[size_t(x)];
            target[0] = bgr ? p[2] : p[0];
            target[1] = p[1];
            target[2] = bgr ? p[0] : p[2];
            target[3] = rows.BytesPerPixel == 4 ? p[3] : 255;
        }
    }
    Data = std::move(data);
    Width = width;
    Height = height;
}

TBitmap32 BlankBitmap32(int width, int height)
{
    TBitmap32 bitmap;
    if (width <= 0 || height <= 0) return bitmap;
    const int64_t rounded = (int64_t{width} + 3) / 4 * 4;
    if (uint64_t(rounded) * uint64_t(height) > kMaxBitmapPixels)
        throw Exception("Blank image size " + std::to_string(width) + " x " + std::to_string(height) +
                        " is too large");
    bitmap.Width = static_cast<int>(rounded);
    bitmap.Height = height;
    bitmap.Data.assign(size_t(bitmap.Width) * size_t(height) * 4, 0);
    return bitmap;
}

void ApplyImageAlpha(TBitmap32& bitmap, TTextureImageAlpha alpha)
{
    if (alpha == TTextureImageAlpha::tiaDefault || bitmap.Data.size() < 4) return;
    std::array<uint8_t, 256> sqrtTable;  // (R + G + B) div 3 -> its square root on 0 ... 255
    for (int i = 0; i < 256; ++i) sqrtTable[size_t(i)] = RoundToByte(std::sqrt(i / 255.0) * 255.0);
    const std::array<uint8_t, 3> first = {bitmap.Data[0], bitmap.Data[1], bitmap.Data[2]};

    for (size_t i = 0; i + 3 < bitmap.Data.size(); i += 4) {
        uint8_t* p = &bitmap.Data[i];
        const int luminance = Luminance(p);
        switch (alpha) {
        case TTextureImageAlpha::tiaDefault: break;
        case TTextureImageAlpha::tiaAlphaFromIntensity:
        case TTextureImageAlpha::tiaLuminance: p[3] = uint8_t(luminance); break;
        case TTextureImageAlpha::tiaSuperBlackTransparent:
            p[3] = p[0] == 0 && p[1] == 0 && p[2] == 0 ? 0 : 255;
            break;
        case TTextureImageAlpha::tiaLuminanceSqrt: p[3] = sqrtTable[size_t(luminance)]; break;
        case TTextureImageAlpha::tiaOpaque: p[3] = 255; break;
        case TTextureImageAlpha::tiaTopLeftPointColorTransparent:
            p[3] = p[0] == first[0] && p[1] == first[1] && p[2] == first[2] ? 0 : 255;
            break;
        case TTextureImageAlpha::tiaInverseLuminance: p[3] = uint8_t(255 - luminance); break;
        case TTextureImageAlpha::tiaInverseLuminanceSqrt:
            p[3] = uint8_t(255 - sqrtTable[size_t(luminance)]);
            break;
        }
    }
}

void ImageBrightness(TBitmap32& bitmap, float brightness)
{
    if (brightness == 1.0f) return;
    std::array<uint8_t, 256> table;
    for (int i = 0; i < 256; ++i) table[size_t(i)] = RoundToByte(double(i) * double(brightness));
    MapColours(bitmap, table);
}

void ImageGamma(TBitmap32& bitmap, float gamma)
{
    if (gamma == 1.0f) return;
    const double exponent = gamma >= 0.1f ? 1.0 / double(gamma) : 10.0;
    std::array<uint8_t, 256> table;
    for (int i = 0; i < 256; ++i) table[size_t(i)] = RoundToByte(255.0 * std::pow(i / 255.0, exponent));
    MapColours(bitmap, table);
}

}  // namespace sauno
