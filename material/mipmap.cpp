#include "material/mipmap.h"

#include <string>

#include "platform/exception.h"

namespace sauno {

std::span<uint8_t> TMipmapChain::Level(size_t index)
{
    const TMipmapLevel& level = Levels.at(index);
    return std::span(Data).subspan(level.Offset, size_t(level.Width) * size_t(level.Height) * 4);
}

std::span<const uint8_t> TMipmapChain::Level(size_t index) const
{
    const TMipmapLevel& level = Levels.at(index);
    return std::span(Data).subspan(level.Offset, size_t(level.Width) * size_t(level.Height) * 4);
}

namespace {

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// One level from the one above it: each pair across is averaged, rounding halves up, and then
// the two pairs down, the same way; the driver's own levels come out so. Where a side is
// already 1 it does not halve: the pixel is paired with itself along it, which keeps it.
void Reduce(const TMipmapChain& chain, size_t index, uint8_t* out)
{
    const TMipmapLevel& above = chain.Levels[index - 1];
    const TMipmapLevel& level = chain.Levels[index];
    const uint8_t* source = chain.Data.data() + above.Offset;
    const size_t rowBytes = size_t(above.Width) * 4;
    const size_t besideStep = above.Width > level.Width ? 4 : 0;
    const size_t belowStep = above.Height > level.Height ? rowBytes : 0;
    const size_t pixelStep = above.Width > level.Width ? 8 : 4;
    const size_t rowStep = above.Height > level.Height ? 2 * rowBytes : rowBytes;
    for (int y = 0; y < level.Height; ++y) {
        const uint8_t* p = source + size_t(y) * rowStep;
        for (int x = 0; x < level.Width; ++x, p += pixelStep)
            for (size_t k = 0; k < 4; ++k) {
                const unsigned top = (unsigned{p[k]} + p[k + besideStep] + 1) >> 1;
                const unsigned bottom = (unsigned{p[k + belowStep]} + p[k + besideStep + belowStep] + 1) >> 1;
                *out++ = static_cast<uint8_t>((top + bottom + 1) >> 1);
            }
    }
}

}  // namespace

TMipmapChain MipmapChainFor(int width, int height, bool mipmaps)
{
    if (!PowerOfTwo(width) || !PowerOfTwo(height))
        throw Exception("Cannot make mipmaps of " + std::to_string(width) + " x " + std::to_string(height) +
                        ": the sides must be powers of two");
    TMipmapChain chain;
    size_t offset = 0;
    for (;;) {
        chain.Levels.push_back({width, height, offset});
        offset += size_t(width) * size_t(height) * 4;
        if (!mipmaps || (width == 1 && height == 1)) break;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    chain.Data.resize(offset);
    return chain;
}

void BuildMipmaps(TMipmapChain& chain)
{
    for (size_t i = 1; i < chain.Levels.size(); ++i)
        Reduce(chain, i, chain.Data.data() + chain.Levels[i].Offset);
}

}  // namespace sauno
