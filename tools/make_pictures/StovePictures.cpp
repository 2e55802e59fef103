// The stove: its front with the fire door, its sides and top.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Painters.h"
#include "Painting.h"

namespace pictures {
namespace {

// Cast iron: mottled dark grey, a fine casting grain, brown rust and blue-grey
// heat tint in places.
Colour ironColour(float x, float y, uint32_t seed) {
  const float mottle = fbm(x * 0.012f, y * 0.012f, seed, 5);
  const float grain = valueNoise(x * 0.55f, y * 0.55f, seed + 1u);
  const float rust = smoothstep(0.60f, 0.78f, fbm(x * 0.007f, y * 0.007f, seed + 2u, 4));
  const float tint = smoothstep(0.55f, 0.8f, fbm(x * 0.004f + 9.0f, y * 0.004f, seed + 3u, 3));
  Colour colour = scale(Colour{0.165f, 0.158f, 0.150f}, (0.72f + 0.55f * mottle) * (0.88f + 0.24f * grain));
  colour = mix(colour, Colour{0.20f, 0.11f, 0.06f}, 0.55f * rust);
  return mix(colour, Colour{0.10f, 0.11f, 0.15f}, 0.5f * tint);
}

// Colour of fire by heat in [0, 1]: black, deep red, orange, yellow, near white.
Colour heatColour(float heat) {
  const float t = clamp01(heat);
  if (t < 0.25f) return mix(Colour{0.0f, 0.0f, 0.0f}, Colour{0.50f, 0.05f, 0.01f}, t / 0.25f);
  if (t < 0.5f) return mix(Colour{0.50f, 0.05f, 0.01f}, Colour{0.98f, 0.36f, 0.04f}, (t - 0.25f) / 0.25f);
  if (t < 0.75f) return mix(Colour{0.98f, 0.36f, 0.04f}, Colour{1.0f, 0.76f, 0.24f}, (t - 0.5f) / 0.25f);
  return mix(Colour{1.0f, 0.76f, 0.24f}, Colour{1.0f, 0.96f, 0.78f}, (t - 0.75f) / 0.25f);
}

struct Rivet {
  float x, y, radius;
};

// A domed rivet head with a highlight, and its shadow just outside it.
bool paintRivet(const Rivet& rivet, float x, float y, Colour& colour, uint32_t seed) {
  const float dx = (x - rivet.x) / rivet.radius;
  const float dy = (y - rivet.y) / rivet.radius;
  const float r2 = dx * dx + dy * dy;
  if (r2 >= 1.0f) {
    const float sx = (x - rivet.x - rivet.radius * 0.35f) / (rivet.radius * 1.5f);
    const float sy = (y - rivet.y - rivet.radius * 0.45f) / (rivet.radius * 1.5f);
    const float shadow = sx * sx + sy * sy;
    if (shadow < 1.0f) colour = scale(colour, 0.55f + 0.45f * shadow);
    return shadow < 1.0f;
  }
  const Vec3 normal{dx * 0.8f, dy * 0.8f, std::sqrt(1.0f - r2 * 0.64f)};
  const float diffuse = std::max(0.0f, dot(normalize(normal), kLight));
  const float specular = std::pow(std::max(0.0f, dot(normalize(normal), normalize({kLight.x, kLight.y, kLight.z + 1.0f}))), 24.0f);
  Colour base = ironColour(x * 3.0f, y * 3.0f, seed);
  colour = add(scale(base, 0.35f + 1.3f * diffuse), scale(Colour{0.6f, 0.58f, 0.55f}, 0.6f * specular));
  colour = scale(colour, 1.0f - 0.3f * smoothstep(0.8f, 1.0f, r2));
  return true;
}

void addRivetRow(std::vector<Rivet>& rivets, float x0, float y0, float x1, float y1, int count, float radius) {
  for (int i = 0; i < count; ++i) {
    const float t = count == 1 ? 0.5f : static_cast<float>(i) / static_cast<float>(count - 1);
    rivets.push_back({mix(x0, x1, t), mix(y0, y1, t), radius});
  }
}

// A slot through the plate: dark inside with the fire's glow at its lower side.
Colour slotInterior(float depthTowardsBottom, float glow) {
  return add(Colour{0.02f, 0.015f, 0.012f}, scale(Colour{0.9f, 0.30f, 0.05f}, glow * depthTowardsBottom * depthTowardsBottom));
}

// Glowing slots cut into iron: the glow inside, a bevelled rim around each.
template <class Slots>
Colour paintSlots(const Slots& slots, float x, float y, Colour colour, float glow) {
  for (const RoundRect& slot : slots) {
    const float d = slot.distance(x, y);
    if (d < 0.0f) {
      colour = slotInterior((y - slot.top) / (slot.bottom - slot.top), glow);
    } else if (d < 5.0f) {
      const RoundRect rim{slot.left - 5.0f, slot.top - 5.0f, slot.right + 5.0f, slot.bottom + 5.0f, slot.corner + 5.0f};
      colour = scale(colour, bevelLight(rim, x, y, 5.0f, -1.2f));
    }
  }
  return colour;
}

}  // namespace

Canvas paintStoveFront(int width, int height, uint32_t seed) {
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const RoundRect body{0.0f, 0.0f, w, h, 0.0f};
  const RoundRect lip{0.0f, 0.0f, w, 64.0f, 0.0f};
  const RoundRect doorFrame{150.0f, 400.0f, w - 150.0f, 790.0f, 20.0f};
  const RoundRect opening{202.0f, 452.0f, w - 202.0f, 738.0f, 34.0f};
  const RoundRect handle{w - 190.0f, 540.0f, w - 166.0f, 660.0f, 12.0f};
  const RoundRect ashDoor{200.0f, 828.0f, w - 200.0f, 900.0f, 8.0f};
  std::vector<RoundRect> slots;
  for (int i = 0; i < 6; ++i) {
    const float top = 132.0f + static_cast<float>(i) * 38.0f;
    slots.push_back({132.0f, top, w - 132.0f, top + 18.0f, 9.0f});
  }
  std::vector<Rivet> rivets;
  addRivetRow(rivets, 36.0f, 100.0f, 36.0f, h - 40.0f, 13, 8.0f);
  addRivetRow(rivets, w - 36.0f, 100.0f, w - 36.0f, h - 40.0f, 13, 8.0f);
  addRivetRow(rivets, 70.0f, 32.0f, w - 70.0f, 32.0f, 9, 7.5f);
  addRivetRow(rivets, 180.0f, 426.0f, w - 180.0f, 426.0f, 7, 6.5f);
  addRivetRow(rivets, 180.0f, 764.0f, w - 180.0f, 764.0f, 7, 6.5f);
  addRivetRow(rivets, 176.0f, 470.0f, 176.0f, 720.0f, 5, 6.5f);

  return paintCanvas(width, height, [&](float x, float y) {
    Colour colour = ironColour(x, y, seed);
    // The front's rounded vertical corners, the lip along the top.
    colour = scale(colour, bevelLight(body, x, y, 26.0f, 0.9f));
    colour = scale(colour, bevelLight(lip, x, y, 10.0f, 0.8f));
    if (std::abs(y - 64.0f) < 2.0f) colour = scale(colour, 0.4f);

    // Louvres above the fire door.
    colour = paintSlots(slots, x, y, colour, 0.7f);

    // Fire door: raised frame, glass with the fire behind it, a handle.
    const float frameDistance = doorFrame.distance(x, y);
    const float openingDistance = opening.distance(x, y);
    if (frameDistance < 0.0f && openingDistance >= 0.0f) {
      colour = scale(colour, 1.1f * bevelLight(doorFrame, x, y, 12.0f, 0.9f));
      // Inner rim facing the fire.
      const RoundRect rim{opening.left - 8.0f, opening.top - 8.0f, opening.right + 8.0f, opening.bottom + 8.0f, opening.corner + 8.0f};
      colour = scale(colour, bevelLight(rim, x, y, 8.0f, -1.0f));
    } else if (frameDistance >= 0.0f && frameDistance < 7.0f) {
      colour = scale(colour, 0.45f + 0.55f * frameDistance / 7.0f);  // its shadow on the body
    }
    if (openingDistance < 0.0f) {
      const float fx = (x - opening.left) / (opening.right - opening.left);
      const float fy = (y - opening.top) / (opening.bottom - opening.top);
      const float tongues = fbm(fx * 9.0f, fy * 2.2f, seed + 10u, 5);
      float heat = std::pow(fy, 1.2f) * 1.15f + (tongues - 0.5f) * 1.1f - 0.05f;
      heat *= 1.0f - 0.55f * (2.0f * fx - 1.0f) * (2.0f * fx - 1.0f);
      colour = heatColour(heat);
      // Two charred logs with glowing cracks, a bed of embers under them.
      const auto logDistance = [&](float ax, float ay, float bx, float by, float radius) {
        const float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
        const float t = clamp01((px * dx + py * dy) / (dx * dx + dy * dy));
        return std::hypot(px - dx * t, py - dy * t) - radius;
      };
      const float log1 = logDistance(opening.left + 10.0f, opening.bottom - 50.0f, opening.right - 20.0f, opening.bottom - 72.0f, 20.0f);
      const float log2 = logDistance(opening.left + 40.0f, opening.bottom - 95.0f, opening.right - 10.0f, opening.bottom - 60.0f, 17.0f);
      const float log = std::min(log1, log2);
      if (log < 0.0f) {
        // Thin glowing cracks, stretched along the wood, brightest towards the log's edge.
        const float ridge = std::abs(fbm(x * 0.045f, y * 0.12f, seed + 11u, 3) - 0.5f);
        const float crack = 1.0f - smoothstep(0.015f, 0.045f, ridge);
        const float glowing = crack * 0.9f + 0.7f * smoothstep(-7.0f, 0.0f, log);
        colour = mix(Colour{0.06f, 0.035f, 0.025f}, heatColour(0.38f + 0.17f * crack), clamp01(glowing));
      }
      if (fy > 0.86f) {
        const float ember = fbm(x * 0.09f, y * 0.09f, seed + 12u, 3);
        colour = mix(colour, heatColour(0.3f + 0.55f * ember), smoothstep(0.86f, 0.93f, fy));
      }
      // Soot at the glass edges and a faint reflection across it.
      colour = scale(colour, 0.35f + 0.65f * smoothstep(0.0f, 26.0f, -openingDistance));
      const float slant = fx + 0.5f * fy;
      colour = add(colour, scale(Colour{0.5f, 0.45f, 0.4f}, 0.12f * std::exp(-std::pow((slant - 0.35f) / 0.05f, 2.0f))));
    } else {
      // Firelight spilling onto the iron around the door.
      const float glow = std::exp(-std::max(0.0f, openingDistance) / 85.0f);
      colour = add(colour, scale(Colour{0.55f, 0.20f, 0.04f}, 0.35f * glow));
    }

    const float handleDistance = handle.distance(x, y);
    if (handleDistance < 0.0f) {
      const float across = (x - (handle.left + handle.right) * 0.5f) / 12.0f;
      const Vec3 normal{across, 0.0f, std::sqrt(std::max(0.0f, 1.0f - across * across))};
      const float light = std::max(0.0f, dot(normal, kLight));
      colour = scale(Colour{0.16f, 0.15f, 0.14f}, 0.4f + 1.5f * light);
      colour = add(colour, scale(Colour{0.5f, 0.2f, 0.05f}, 0.25f * std::max(0.0f, -across)));
    } else if (handleDistance < 10.0f && x > handle.left + 4.0f && y > handle.top + 6.0f) {
      colour = scale(colour, 0.6f + 0.04f * handleDistance);
    }

    // Ash drawer: a thin dark gap with a little red from below, a small pull.
    const float ash = ashDoor.distance(x, y);
    if (std::abs(ash) < 2.0f) colour = mix(Colour{0.10f, 0.02f, 0.0f}, Colour{0.02f, 0.01f, 0.01f}, (y - 828.0f) / 72.0f);
    if (ash < -2.0f) colour = scale(colour, bevelLight(ashDoor, x, y, 8.0f, 0.6f));
    const RoundRect pull{w * 0.5f - 40.0f, 856.0f, w * 0.5f + 40.0f, 870.0f, 7.0f};
    if (pull.distance(x, y) < 0.0f) colour = scale(Colour{0.2f, 0.19f, 0.18f}, bevelLight(pull, x, y, 7.0f, 1.4f));

    for (const Rivet& rivet : rivets) {
      if (std::abs(x - rivet.x) > rivet.radius * 2.0f || std::abs(y - rivet.y) > rivet.radius * 2.0f) continue;
      if (paintRivet(rivet, x, y, colour, seed + 20u)) break;
    }
    return colour;
  });
}

Canvas paintStoveSide(int width, int height, uint32_t seed) {
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const RoundRect plate{0.0f, 0.0f, w, h, 0.0f};
  const RoundRect inner{46.0f, 46.0f, w - 46.0f, h - 46.0f, 6.0f};
  std::vector<RoundRect> slots;
  for (int i = 0; i < 7; ++i) {
    const float left = 108.0f + static_cast<float>(i) * 44.0f;
    slots.push_back({left, 118.0f, left + 16.0f, h - 118.0f, 8.0f});
  }
  std::vector<Rivet> rivets;
  for (const float edge : {23.0f, w - 23.0f}) {
    addRivetRow(rivets, edge, 23.0f, edge, h - 23.0f, 9, 7.0f);
    addRivetRow(rivets, 23.0f, edge, w - 23.0f, edge, 9, 7.0f);
  }
  return paintCanvas(width, height, [&](float x, float y) {
    Colour colour = ironColour(x + 1000.0f, y, seed);
    colour = scale(colour, bevelLight(plate, x, y, 12.0f, 0.9f));
    // The panel inside the riveted border is cast a step lower.
    const float innerDistance = inner.distance(x, y);
    if (innerDistance < 0.0f) {
      colour = scale(colour, 0.9f);
      const RoundRect rim{inner.left + 6.0f, inner.top + 6.0f, inner.right - 6.0f, inner.bottom - 6.0f, 1.0f};
      if (rim.distance(x, y) >= 0.0f) colour = scale(colour, bevelLight(inner, x, y, 6.0f, -1.0f));
    } else if (innerDistance < 3.0f) {
      colour = scale(colour, 1.25f);
    }
    colour = paintSlots(slots, x, y, colour, 0.6f);
    // Heat rising out of the slots stains the iron above them.
    const float heatStain = smoothstep(h * 0.55f, h * 0.1f, y) * (0.5f + 0.5f * fbm(x * 0.02f, y * 0.01f, seed + 5u, 3));
    colour = mix(colour, multiply(colour, Colour{0.85f, 0.9f, 1.15f}), heatStain * 0.6f);
    for (const Rivet& rivet : rivets) {
      if (std::abs(x - rivet.x) > rivet.radius * 2.0f || std::abs(y - rivet.y) > rivet.radius * 2.0f) continue;
      if (paintRivet(rivet, x, y, colour, seed + 20u)) break;
    }
    return colour;
  });
}

}  // namespace pictures
