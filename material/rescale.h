#pragma once
// Rescaling of 8-bit pixel rows to another size, the way textures are brought to powers of two.
//
// The filter is a box over the source: each target pixel averages the source area it covers
// (when enlarging, a box one source pixel wide centred on it), weighted by how much of each
// source pixel lies inside; the box wraps around the edges, as a repeating texture does, and
// an exact halving in both directions averages 2 x 2 blocks. It runs separably: each source
// row is filtered once across, and the rows are then combined down.
#include <cstdint>
#include <span>

namespace sauno {

// Rescales `source` (`width` x `height` pixels of `components` bytes, 1 to 4, rows packed) into
// `target` (`targetWidth` x `targetHeight`, same layout). Both spans must hold their whole
// image; anything else, or a size of 0 or less, raises an Exception and writes nothing.
// `threads` above 1 splits the target rows among that many threads.
void RescaleImage(std::span<const uint8_t> source, int width, int height, int components,
                  std::span<uint8_t> target, int targetWidth, int targetHeight, int threads = 1);

// How many threads a rescale of that many target pixels is worth on this machine.
int RescaleThreads(int64_t targetPixels);

}  // namespace sauno
