// The layout of the stones' picture, shared by its painter and the model:
// a grid of tiles, each the whole surface of one stone unwrapped, its
// columns going round the stone (mirrored, so the stone has no seam) and its
// rows from the top of the stone (the tile's top row) to the bottom.
#pragma once

namespace stone_tiles {

inline constexpr int kColumns = 8;
inline constexpr int kRows = 6;
// The part of a tile the model maps a stone onto; the rest is a margin of
// the same surface, so that filtering never blends in the neighbour.
inline constexpr float kInset = 0.08f;

}  // namespace stone_tiles
