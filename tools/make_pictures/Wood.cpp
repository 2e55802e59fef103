#include "Wood.h"

#include <algorithm>
#include <cmath>

namespace pictures {

Board makeBoard(uint32_t seed, float width, float length, float knotChance, float minKnot, float maxKnot) {
  Sequence random(seed);
  Board board;
  board.seed = random.next();
  board.pithV = random.range(-0.3f, 1.3f) * width;
  board.pithDepth = random.range(35.0f, 170.0f);
  board.depthSlope = random.range(-0.09f, 0.09f);
  board.shade = random.range(0.88f, 1.08f);
  board.tint = {random.range(0.96f, 1.04f), random.range(0.95f, 1.03f), random.range(0.90f, 1.04f)};
  // Knots come one at a time while a coin keeps landing; long boards get more tries.
  const int tries = 1 + static_cast<int>(length / 400.0f);
  for (int t = 0; t < tries; ++t) {
    if (random.unit() >= knotChance) continue;
    Knot knot;
    knot.u = random.range(0.08f, 0.92f) * length;
    knot.v = random.range(0.2f, 0.8f) * width;
    knot.radius = random.range(minKnot, maxKnot);
    knot.stretch = random.range(1.0f, 1.6f);
    board.knots.push_back(knot);
  }
  return board;
}

Colour woodColour(const WoodTone& tone, const Board& board, float u, float v) {
  const uint32_t seed = board.seed;
  // Distance from the log's centre line, seen on the slanted board surface.
  const float depth = board.pithDepth + board.depthSlope * u + 30.0f * (fbm(u * 0.002f, 3.7f, seed, 3) - 0.5f);
  const float across = v - board.pithV + 9.0f * (fbm(u * 0.006f, v * 0.02f, seed + 1, 3) - 0.5f);
  float radius = std::sqrt(across * across + depth * depth);

  // A knot lifts the ring field locally, so rings close into loops around it.
  float knotCore = 0.0f;
  float knotRing = 0.0f;
  float knotHalo = 0.0f;
  for (const Knot& knot : board.knots) {
    const float du = (u - knot.u) / knot.stretch;
    const float dv = v - knot.v;
    const float distance = std::sqrt(du * du + dv * dv);
    const float reach = knot.radius * 2.0f;
    radius += reach * 2.4f * std::exp(-(distance * distance) / (reach * reach));
    const float core = 1.0f - smoothstep(knot.radius * 0.85f, knot.radius * 1.05f, distance);
    if (core > knotCore) {
      knotCore = core;
      knotRing = fract(distance / (knot.radius * 0.28f) + 0.2f * valueNoise(du * 0.3f, dv * 0.3f, seed + 5));
    }
    knotHalo = std::max(knotHalo, std::exp(-std::max(0.0f, distance - knot.radius) / (knot.radius * 0.9f)));
  }

  // Earlywood lightens gradually to a sharp dark latewood line.
  // Rings are never evenly spaced: wet and dry years.
  const float ring = fract(radius / tone.ringSpacing + 0.8f * fbm(radius * 0.04f, u * 0.002f, seed + 6, 2));
  const float late = smoothstep(0.6f, 0.93f, ring) * (1.0f - smoothstep(0.93f, 1.0f, ring));
  Colour colour = mix(tone.earlywood, tone.latewood, late * 0.9f);

  // Streaks along the grain and a little pore speckle.
  const float streak = fbm(u * 0.008f, v * 0.45f, seed + 2, 3);
  const float speckle = valueNoise(u * 0.9f, v * 0.9f, seed + 3);
  const float fibre = valueNoise(u * 0.04f, v * 1.3f, seed + 7);
  const float blotch = fbm(u * 0.004f, v * 0.01f, seed + 4, 3);
  colour = scale(colour, (0.90f + 0.18f * streak) * (0.97f + 0.06f * speckle) * (0.95f + 0.1f * fibre) * (0.93f + 0.14f * blotch));

  if (knotHalo > 0.0f) colour = mix(colour, multiply(colour, Colour{0.78f, 0.68f, 0.58f}), knotHalo * 0.6f);
  if (knotCore > 0.0f) {
    const Colour inner = scale(tone.knot, 0.75f + 0.35f * smoothstep(0.3f, 0.9f, knotRing));
    // A dark crack where the knot meets the board.
    const float rim = smoothstep(0.0f, 0.35f, knotCore) * (1.0f - smoothstep(0.35f, 0.9f, knotCore));
    colour = mix(colour, scale(inner, 1.0f - 0.5f * rim), knotCore);
  }
  return multiply(scale(colour, board.shade), board.tint);
}

}  // namespace pictures
