#pragma once
// The levels a mipmapped texture uploads, made here rather than by the driver: each level is
// the 2 x 2 box average of the one above (each pair rounded half up, across and then down),
// down to 1 x 1; once a side is 1 the level averages pairs along the other side. Sides are powers of two, as uploads are.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "material/export.h"

namespace sauno {

struct SAUNO_MATERIAL_EXPORT TMipmapLevel {
    int Width = 0;
    int Height = 0;
    size_t Offset = 0;  // of its first byte in the chain's data
};

// RGBA levels packed one after another, level 0 first.
class SAUNO_MATERIAL_EXPORT TMipmapChain {
public:
    std::vector<uint8_t> Data;
    std::vector<TMipmapLevel> Levels;

    bool Empty() const { return Levels.empty(); }
    std::span<uint8_t> Level(size_t index);
    std::span<const uint8_t> Level(size_t index) const;
};

// Room for a level 0 of that size and, with `mipmaps`, every smaller level; nothing is filled
// in. A side that is not a power of two is an Exception.
SAUNO_MATERIAL_EXPORT TMipmapChain MipmapChainFor(int width, int height, bool mipmaps);
// Makes every level after the first from the one above it.
SAUNO_MATERIAL_EXPORT void BuildMipmaps(TMipmapChain& chain);

}  // namespace sauno
