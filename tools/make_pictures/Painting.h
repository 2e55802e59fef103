// Small shared pieces of the painters: canvases, shapes, light.
#pragma once

#include <algorithm>
#include <cmath>

#include "Noise.h"
#include "Pictures.h"
#include "Wood.h"

namespace pictures {

// Calls paint(x, y) at every pixel centre and stores its colour.
template <class Paint>
Canvas paintCanvas(int width, int height, Paint paint) {
  Canvas canvas{width, height, std::vector<Colour>(static_cast<size_t>(width) * static_cast<size_t>(height))};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      canvas.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          paint(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
    }
  }
  return canvas;
}

// Light comes from the upper left and towards the viewer (image y grows down).
struct Vec3 {
  float x, y, z;
};
inline Vec3 normalize(Vec3 v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / length, v.y / length, v.z / length};
}
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline const Vec3 kLight = normalize({-0.45f, -0.55f, 0.70f});

// Signed distance to a rounded rectangle; negative inside.
struct RoundRect {
  float left, top, right, bottom, corner;
  float distance(float x, float y) const {
    const float cx = (left + right) * 0.5f;
    const float cy = (top + bottom) * 0.5f;
    const float qx = std::abs(x - cx) - ((right - left) * 0.5f - corner);
    const float qy = std::abs(y - cy) - ((bottom - top) * 0.5f - corner);
    const float ox = std::max(qx, 0.0f);
    const float oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - corner;
  }
};

// Brightness of a raised (or, with a negative height, sunken) edge of the
// given width along a shape's border: its slope faces outward from the shape.
template <class Shape>
float bevelLight(const Shape& shape, float x, float y, float width, float height) {
  const float d = shape.distance(x, y);
  if (d > 0.0f || d < -width) return 1.0f;
  const float gx = shape.distance(x + 0.5f, y) - shape.distance(x - 0.5f, y);
  const float gy = shape.distance(x, y + 0.5f) - shape.distance(x, y - 0.5f);
  const float slope = height * std::sin((1.0f + d / width) * 1.5707963f);
  const Vec3 normal = normalize({gx * slope, gy * slope, 1.0f});
  const Vec3 flat{0.0f, 0.0f, 1.0f};
  return std::max(0.15f, dot(normal, kLight) / dot(flat, kLight));
}

// 0 outside, 1 inside, with a one-pixel soft edge.
inline float coverage(float distance) { return clamp01(0.5f - distance); }

}  // namespace pictures
