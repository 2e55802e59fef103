// Softwood boards: annual rings cut at a slant (arches where the board passes
// near the pith), fine streaks along the grain, knots that bend the rings.
#pragma once

#include <vector>

#include "Noise.h"
#include "Pictures.h"

namespace pictures {

struct WoodTone {
  Colour earlywood;
  Colour latewood;
  Colour knot;
  float ringSpacing;  // pixels between annual rings where they run straight
};

struct Knot {
  float u;        // along the grain
  float v;        // across the grain, from the board's edge
  float radius;   // of the dark core
  float stretch;  // >1 elongates the knot along the grain
};

// One board; u runs along the grain and v across it, both in pixels.
struct Board {
  uint32_t seed = 0;
  float pithV = 0.0f;      // across-grain position of the log's centre line
  float pithDepth = 0.0f;  // how far below the surface the centre line lies
  float depthSlope = 0.0f; // the board is cut at a slant to the log
  float shade = 1.0f;      // per-board brightness
  Colour tint{1.0f, 1.0f, 1.0f};
  std::vector<Knot> knots;
};

Board makeBoard(uint32_t seed, float width, float length, float knotChance, float minKnot, float maxKnot);
Colour woodColour(const WoodTone& tone, const Board& board, float u, float v);

inline Colour scale(Colour c, float s) { return {c.r * s, c.g * s, c.b * s}; }
inline Colour mix(Colour a, Colour b, float t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
inline Colour multiply(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour grey(Colour c, float amount) {
  const float luma = 0.3f * c.r + 0.59f * c.g + 0.11f * c.b;
  return mix(c, Colour{luma, luma, luma}, amount);
}

}  // namespace pictures
