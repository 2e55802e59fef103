// The stove stones: one tile per stone, each the unwrapped surface of a
// rounded stone with its light painted in (lit from above, darker below and
// in its own shade), grey granite mostly, some brownish, a few blackened by
// the heat.
#include <algorithm>
#include <cmath>

#include "Painters.h"
#include "Painting.h"
#include "StoneTiles.h"

namespace pictures {
namespace {

struct StoneLook {
  Colour colour;
  float speckle;  // how much fine grain shows
  float flecks;   // light mineral flecks
  uint32_t seed;
};

StoneLook pickLook(Sequence& random) {
  StoneLook look;
  const float kind = random.unit();
  const float tone = random.range(0.44f, 0.66f);
  if (kind < 0.15f) {
    const float dark = random.range(0.22f, 0.30f);
    look.colour = {dark, dark * 0.97f, dark * 0.94f};
  } else if (kind < 0.40f) {
    look.colour = {tone * 1.04f, tone * 0.96f, tone * 0.86f};
  } else {
    look.colour = {tone, tone * 0.99f, tone * 1.01f};
  }
  look.speckle = random.range(0.15f, 0.35f);
  look.flecks = random.range(0.1f, 0.35f);
  look.seed = random.next();
  return look;
}

}  // namespace

Canvas paintStones(int width, int height, uint32_t seed) {
  using namespace stone_tiles;
  Sequence random(seed);
  StoneLook looks[kColumns * kRows];
  for (StoneLook& look : looks) look = pickLook(random);
  const float tileWidth = static_cast<float>(width) / kColumns;
  const float tileHeight = static_cast<float>(height) / kRows;
  constexpr float pi = 3.14159265f;

  return paintCanvas(width, height, [&](float x, float y) {
    const int column = std::min(kColumns - 1, static_cast<int>(x / tileWidth));
    const int row = std::min(kRows - 1, static_cast<int>(y / tileHeight));
    const StoneLook& look = looks[row * kColumns + column];
    // Where on the stone: `around` 0 and 1 are its two sides, `up` 1 its top.
    const float inner = 1.0f - 2.0f * kInset;
    const float around = clamp01((x / tileWidth - static_cast<float>(column) - kInset) / inner);
    const float up = 1.0f - clamp01((y / tileHeight - static_cast<float>(row) - kInset) / inner);
    const float elevation = pi * (up - 0.5f);

    // Light from above and a little from one side; soft, since the stones
    // light each other too.
    const float fromAbove = std::sin(elevation);
    const float side = std::cos(elevation) * (around - 0.5f);
    const float light = std::max(0.0f, 0.75f * fromAbove + 0.35f * side + 0.3f);
    const float shade = 0.30f + 0.85f * std::pow(light, 0.9f);
    // The underside sits on other stones: darker still.
    const float contact = 1.0f - 0.45f * smoothstep(0.35f, 0.0f, up);
    const float sheen = 0.10f * std::pow(std::max(0.0f, fromAbove * 0.9f + 0.2f * side), 12.0f);

    // Granite: a soft mottle, fine grain and a few light flecks.
    const float px = x * 0.9f, py = y * 0.9f;
    const float mottle = fbm(px * 0.035f, py * 0.035f, look.seed, 4);
    const float grain = fbm(px * 0.3f, py * 0.3f, look.seed + 1u, 2);
    const float fleck = smoothstep(0.72f, 0.80f, fbm(px * 0.2f, py * 0.2f, look.seed + 2u, 2));
    Colour colour = scale(look.colour, (0.82f + 0.36f * mottle) * (1.0f - look.speckle * 0.5f + look.speckle * grain));
    colour = mix(colour, Colour{0.80f, 0.79f, 0.76f}, look.flecks * fleck);
    colour = scale(colour, shade * contact);
    return add(colour, Colour{sheen, sheen * 0.97f, sheen * 0.92f});
  });
}

}  // namespace pictures
