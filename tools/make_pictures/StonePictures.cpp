// The stove stones: a heap of rounded grey stones, some blackened by heat.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Painters.h"
#include "Painting.h"

namespace pictures {
namespace {

struct Stone {
  float x, y;
  float radiusX, radiusY;
  float cosAngle, sinAngle;
  float lift;  // stones higher in the heap cover their neighbours
  Colour colour;
  float speckle;
  uint32_t seed;
};

constexpr float kCell = 64.0f;

}  // namespace

Canvas paintStones(int width, int height, uint32_t seed) {
  // Two stones per grid cell, jittered, so the heap has no holes and no rows.
  const int columns = static_cast<int>(std::ceil(static_cast<float>(width) / kCell)) + 2;
  const int rows = static_cast<int>(std::ceil(static_cast<float>(height) / kCell)) + 2;
  std::vector<std::vector<Stone>> cells(static_cast<size_t>(columns * rows));
  Sequence random(seed);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      for (int k = 0; k < 2; ++k) {
        Stone stone;
        stone.x = (static_cast<float>(column - 1) + random.unit()) * kCell;
        stone.y = (static_cast<float>(row - 1) + random.unit()) * kCell;
        const float size = random.range(30.0f, 52.0f);
        const float elongation = random.range(1.0f, 1.35f);
        stone.radiusX = size * elongation;
        stone.radiusY = size / elongation;
        const float angle = random.range(0.0f, 3.14159265f);
        stone.cosAngle = std::cos(angle);
        stone.sinAngle = std::sin(angle);
        stone.lift = random.unit();
        // Mostly grey, some brownish, some nearly black from the heat.
        const float kind = random.unit();
        const float tone = random.range(0.38f, 0.62f);
        if (kind < 0.22f) {
          const float dark = random.range(0.13f, 0.22f);
          stone.colour = {dark, dark * 0.97f, dark * 0.95f};
        } else if (kind < 0.38f) {
          stone.colour = {tone * 1.02f, tone * 0.97f, tone * 0.91f};
        } else {
          stone.colour = {tone, tone * 1.0f, tone * 1.02f};
        }
        stone.speckle = random.range(0.1f, 0.35f);
        stone.seed = random.next();
        cells[static_cast<size_t>(row * columns + column)].push_back(stone);
      }
    }
  }

  return paintCanvas(width, height, [&](float x, float y) {
    const int column = static_cast<int>(x / kCell) + 1;
    const int row = static_cast<int>(y / kCell) + 1;
    const Stone* top = nullptr;
    float topDistance = 1.0f;
    float localX = 0.0f, localY = 0.0f;
    float castShadow = 0.0f;  // from stones lying above the one seen here
    // Stones reach at most 1.35 cells from a centre inside their cell, so two
    // neighbouring cells each way cover every stone that can touch this pixel.
    // The stone with the greatest lift that covers the pixel is the one seen.
    struct Candidate {
      const Stone* stone;
      float distance, lx, ly;
    };
    Candidate found[50];
    int foundCount = 0;
    for (int r = std::max(0, row - 2); r <= std::min(rows - 1, row + 2); ++r) {
      for (int c = std::max(0, column - 2); c <= std::min(columns - 1, column + 2); ++c) {
        for (const Stone& stone : cells[static_cast<size_t>(r * columns + c)]) {
          const float dx = x - stone.x;
          const float dy = y - stone.y;
          const float lx = (dx * stone.cosAngle + dy * stone.sinAngle) / stone.radiusX;
          const float ly = (-dx * stone.sinAngle + dy * stone.cosAngle) / stone.radiusY;
          const float plain = std::sqrt(lx * lx + ly * ly);
          if (plain > 1.55f) continue;  // beyond any outline and its shadow
          // A wobbly outline, so no stone is a perfect ellipse.
          const float wobble = 1.0f + 0.22f * (fbm(lx * 1.3f + 5.0f, ly * 1.3f, stone.seed, 3) - 0.5f);
          if (foundCount < 50) found[foundCount++] = {&stone, plain * wobble, lx, ly};
        }
      }
    }
    for (int i = 0; i < foundCount; ++i) {
      const Candidate& candidate = found[i];
      if (candidate.distance < 1.0f && (top == nullptr || candidate.stone->lift > top->lift)) {
        top = candidate.stone;
        topDistance = candidate.distance;
        localX = candidate.lx;
        localY = candidate.ly;
      }
    }
    for (int i = 0; i < foundCount && top != nullptr; ++i) {
      const Candidate& candidate = found[i];
      if (candidate.stone->lift <= top->lift) continue;
      castShadow = std::max(castShadow, 1.0f - smoothstep(1.0f, 1.35f, candidate.distance));
    }
    if (top == nullptr) {
      // Deep between the stones: dark grit.
      const float grit = valueNoise(x * 0.4f, y * 0.4f, seed + 1u);
      return Colour{0.05f + 0.03f * grit, 0.045f + 0.03f * grit, 0.04f + 0.03f * grit};
    }
    // Normal of the ellipsoid in image space, rotated back from the stone's frame.
    const float nz = std::sqrt(std::max(0.02f, 1.0f - topDistance * topDistance));
    const float nlx = localX / top->radiusX * 40.0f;
    const float nly = localY / top->radiusY * 40.0f;
    const Vec3 normal = normalize({nlx * top->cosAngle - nly * top->sinAngle, nlx * top->sinAngle + nly * top->cosAngle, nz});
    const float diffuse = std::max(0.0f, dot(normal, kLight));
    const float specular = std::pow(std::max(0.0f, dot(normal, normalize({kLight.x, kLight.y, kLight.z + 1.0f}))), 18.0f);

    // Granite-like speckle and soft mottling on the stone's own surface.
    const float mottle = fbm(x * 0.03f, y * 0.03f, top->seed, 4);
    const float fine = fbm(x * 0.25f, y * 0.25f, top->seed + 1u, 2);
    const float fleck = smoothstep(0.74f, 0.8f, fbm(x * 0.18f, y * 0.18f, top->seed + 2u, 2));
    Colour colour = scale(top->colour, (0.8f + 0.4f * mottle) * (1.0f - top->speckle * 0.5f + top->speckle * fine));
    colour = mix(colour, Colour{0.85f, 0.84f, 0.82f}, 0.35f * fleck);
    colour = scale(colour, 0.25f + 1.05f * diffuse);
    colour = add(colour, scale(Colour{0.9f, 0.88f, 0.85f}, 0.18f * specular));
    // Occlusion: stones sit in each other's shade near their rims and lower in the heap.
    colour = scale(colour, 1.0f - 0.6f * castShadow);
    colour = scale(colour, 0.65f + 0.35f * top->lift);
    return colour;
  });
}

}  // namespace pictures
