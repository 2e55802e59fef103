// Seeded value noise, fractal sums and a small hash-driven random sequence.
// Everything is integer hashing plus float arithmetic, so one build always
// paints the same pixels.
#pragma once

#include <cmath>
#include <cstdint>

namespace pictures {

inline uint32_t hash32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

inline uint32_t hashCell(int32_t x, int32_t y, uint32_t seed) {
  return hash32(static_cast<uint32_t>(x) * 0x9e3779b1u ^ hash32(static_cast<uint32_t>(y) + seed * 0x85ebca77u));
}

// A hash mapped to [0, 1).
inline float unitFromHash(uint32_t h) { return static_cast<float>(h >> 8) * (1.0f / 16777216.0f); }

inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
inline float mix(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float edge0, float edge1, float v) {
  const float t = clamp01((v - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}
inline float fract(float v) { return v - std::floor(v); }

// Value noise in [0, 1] with quintic fade, so its gradient is continuous.
inline float valueNoise(float x, float y, uint32_t seed) {
  const float fx = std::floor(x);
  const float fy = std::floor(y);
  const auto ix = static_cast<int32_t>(fx);
  const auto iy = static_cast<int32_t>(fy);
  const float tx = x - fx;
  const float ty = y - fy;
  const float sx = tx * tx * tx * (tx * (tx * 6.0f - 15.0f) + 10.0f);
  const float sy = ty * ty * ty * (ty * (ty * 6.0f - 15.0f) + 10.0f);
  const float a = unitFromHash(hashCell(ix, iy, seed));
  const float b = unitFromHash(hashCell(ix + 1, iy, seed));
  const float c = unitFromHash(hashCell(ix, iy + 1, seed));
  const float d = unitFromHash(hashCell(ix + 1, iy + 1, seed));
  return mix(mix(a, b, sx), mix(c, d, sx), sy);
}

// Fractal sum of value noise in [0, 1]; each octave is rotated a little so the
// lattice does not show as horizontal and vertical streaks.
inline float fbm(float x, float y, uint32_t seed, int octaves = 4) {
  float sum = 0.0f;
  float amplitude = 0.5f;
  float total = 0.0f;
  for (int octave = 0; octave < octaves; ++octave) {
    sum += amplitude * valueNoise(x, y, seed + static_cast<uint32_t>(octave) * 1013u);
    total += amplitude;
    const float rx = 1.6f * x - 1.2f * y + 17.3f;
    const float ry = 1.2f * x + 1.6f * y - 9.1f;
    x = rx;
    y = ry;
    amplitude *= 0.5f;
  }
  return sum / total;
}

// A reproducible sequence of numbers for placing planks, knots, stones, rivets.
class Sequence {
 public:
  explicit Sequence(uint32_t seed) : state_(hash32(seed ^ 0xa511e9b3u)) {}
  float unit() {
    state_ = hash32(state_ + 0x9e3779b9u);
    return unitFromHash(state_);
  }
  float range(float low, float high) { return low + (high - low) * unit(); }
  uint32_t next() {
    state_ = hash32(state_ + 0x9e3779b9u);
    return state_;
  }

 private:
  uint32_t state_;
};

}  // namespace pictures
