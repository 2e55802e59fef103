#pragma once
// A minimal PNG writer: 8-bit RGBA, one uncompressed deflate stream. Icons are small, so size
// does not matter and the file stays byte-for-byte reproducible.
#include <cstdint>
#include <span>
#include <vector>

namespace sauno::icon {

// rgba holds width * height * 4 bytes, rows top to bottom.
std::vector<uint8_t> EncodePng(int width, int height, std::span<const uint8_t> rgba);

}  // namespace sauno::icon
