// The wooden pictures: two wall panellings, the floor and the door.
#include "Painters.h"

#include <algorithm>
#include <cmath>

#include "Painting.h"

namespace pictures {
namespace {

constexpr Colour kGroove{0.09f, 0.055f, 0.03f};

// Light across one tongue-and-groove board: a dark joint, a lit chamfer on the
// edge facing the light, a shaded one on the other, a slight cupping between.
float boardProfileLight(float fromLitEdge, float fromShadedEdge, float boardWidth, float chamfer) {
  float light = 1.0f;
  light *= 1.0f + 0.22f * (1.0f - smoothstep(1.5f, chamfer, fromLitEdge));
  light *= 1.0f - 0.38f * (1.0f - smoothstep(1.5f, chamfer, fromShadedEdge));
  const float centred = (fromLitEdge / boardWidth - 0.5f) * 2.0f;
  return light * (1.0f - 0.07f * centred * centred);
}

float jointDarkness(float distanceToJoint, float halfWidth) {
  return 1.0f - smoothstep(halfWidth - 0.8f, halfWidth + 0.8f, distanceToJoint);
}

}  // namespace

Canvas paintPanelWall(int width, int height, uint32_t seed, int boardCount, const WoodTone& tone) {
  const float boardWidth = static_cast<float>(width) / static_cast<float>(boardCount);
  std::vector<Board> boards;
  for (int i = 0; i < boardCount; ++i) {
    boards.push_back(makeBoard(seed * 131u + static_cast<uint32_t>(i), boardWidth, static_cast<float>(height), 0.45f,
                               5.0f, 11.0f));
  }
  return paintCanvas(width, height, [&](float x, float y) {
    const int index = std::min(static_cast<int>(x / boardWidth), boardCount - 1);
    const float v = x - static_cast<float>(index) * boardWidth;
    Colour colour = woodColour(tone, boards[static_cast<size_t>(index)], y, v);
    const float fromLeft = v;
    const float fromRight = boardWidth - v;
    colour = scale(colour, boardProfileLight(fromLeft, fromRight, boardWidth, 6.0f));
    colour = mix(colour, kGroove, 0.85f * jointDarkness(std::min(fromLeft, fromRight), 1.3f));
    // Years of heat: a slow patina, a little darker towards the ceiling.
    const float patina = fbm(x * 0.0035f, y * 0.0035f, seed + 99u, 4);
    colour = scale(colour, (0.88f + 0.22f * patina) * (0.92f + 0.08f * y / static_cast<float>(height)));
    return colour;
  });
}

Canvas paintFloor(int width, int height, uint32_t seed) {
  const WoodTone tone{{0.50f, 0.37f, 0.25f}, {0.31f, 0.21f, 0.13f}, {0.20f, 0.12f, 0.07f}, 7.0f};
  constexpr int kRows = 6;
  const float boardWidth = static_cast<float>(height) / kRows;
  struct Row {
    float offset;
    float length;
    std::vector<Board> boards;
  };
  std::vector<Row> rows;
  Sequence random(seed);
  for (int r = 0; r < kRows; ++r) {
    Row row;
    row.length = random.range(520.0f, 820.0f);
    row.offset = random.range(0.0f, row.length);
    const int count = static_cast<int>((static_cast<float>(width) + row.offset) / row.length) + 1;
    for (int b = 0; b < count; ++b) {
      row.boards.push_back(makeBoard(random.next(), boardWidth, row.length, 0.4f, 4.0f, 9.0f));
    }
    rows.push_back(std::move(row));
  }
  return paintCanvas(width, height, [&](float x, float y) {
    const int r = std::min(static_cast<int>(y / boardWidth), kRows - 1);
    const Row& row = rows[static_cast<size_t>(r)];
    const float v = y - static_cast<float>(r) * boardWidth;
    const float along = x + row.offset;
    const int b = std::min(static_cast<int>(along / row.length), static_cast<int>(row.boards.size()) - 1);
    const float u = along - static_cast<float>(b) * row.length;
    Colour colour = woodColour(tone, row.boards[static_cast<size_t>(b)], u, v);
    colour = grey(colour, 0.15f);

    // Worn where feet go: lighter, greyer, grain softened; dark water stains.
    const float wear = smoothstep(0.42f, 0.72f, fbm(x * 0.003f, y * 0.004f, seed + 7u, 4));
    colour = mix(colour, mix(colour, Colour{0.60f, 0.52f, 0.42f}, 0.6f), wear);
    const float stain = smoothstep(0.58f, 0.8f, fbm(x * 0.008f + 40.0f, y * 0.008f, seed + 8u, 4));
    colour = scale(colour, 1.0f - 0.18f * stain);
    const float scratches = smoothstep(0.82f, 0.95f, valueNoise(x * 0.02f, y * 0.6f, seed + 9u));
    colour = scale(colour, 1.0f + 0.12f * scratches * wear);

    // Rounded, worn board edges; wide dark gaps between the rows.
    const float fromTop = v;
    const float fromBottom = boardWidth - v;
    colour = scale(colour, boardProfileLight(fromTop, fromBottom, boardWidth, 9.0f));
    const float gap = jointDarkness(std::min(fromTop, fromBottom), 2.6f);
    colour = mix(colour, Colour{0.035f, 0.025f, 0.018f}, 0.95f * gap);

    // Butt joints with two nails on each side.
    const float toJoint = std::min(u, row.length - u);
    colour = mix(colour, Colour{0.05f, 0.035f, 0.02f}, 0.9f * jointDarkness(toJoint, 1.2f));
    colour = scale(colour, 1.0f - 0.15f * (1.0f - smoothstep(1.0f, 8.0f, toJoint)));
    for (const float side : {14.0f, row.length - 14.0f}) {
      for (const float across : {0.27f * boardWidth, 0.73f * boardWidth}) {
        const float dx = u - side;
        const float dy = v - across;
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance > 10.0f) continue;
        const float rust = 1.0f - smoothstep(3.0f, 9.0f, distance);
        colour = mix(colour, Colour{0.22f, 0.12f, 0.06f}, 0.5f * rust);
        if (distance < 4.0f) {
          const float lit = 1.0f - clamp01((dx + dy) / 6.0f + 0.5f);
          colour = mix(Colour{0.14f, 0.13f, 0.12f}, Colour{0.42f, 0.40f, 0.38f}, lit * lit);
        }
      }
    }
    const float shade = 0.85f + 0.2f * fbm(x * 0.002f, y * 0.002f, seed + 10u, 3);
    return scale(colour, shade);
  });
}

Canvas paintDoor(int width, int height, uint32_t seed) {
  const WoodTone tone{{0.80f, 0.55f, 0.32f}, {0.57f, 0.33f, 0.16f}, {0.32f, 0.17f, 0.08f}, 8.0f};
  const WoodTone casingTone{{0.70f, 0.47f, 0.27f}, {0.48f, 0.28f, 0.14f}, {0.28f, 0.15f, 0.07f}, 7.0f};
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  constexpr float kCasing = 34.0f;
  constexpr float kStile = 78.0f;
  constexpr float kTopRail = 80.0f;
  constexpr float kBottomRail = 130.0f;
  const RoundRect leaf{kCasing + 3.0f, kCasing + 3.0f, w - kCasing - 3.0f, h - kCasing - 3.0f, 2.0f};
  const RoundRect panel{leaf.left + kStile, leaf.top + kTopRail, leaf.right - kStile, leaf.bottom - kBottomRail, 1.0f};
  const float windowWidth = 230.0f;
  const float windowTop = panel.top + 60.0f;
  const RoundRect trim{w * 0.5f - windowWidth * 0.5f - 22.0f, windowTop - 22.0f, w * 0.5f + windowWidth * 0.5f + 22.0f,
                       windowTop + 300.0f + 22.0f, 3.0f};
  const RoundRect glass{trim.left + 22.0f, trim.top + 22.0f, trim.right - 22.0f, trim.bottom - 22.0f, 1.0f};
  const float handleX = leaf.right - kStile * 0.5f;
  const RoundRect handle{handleX - 14.0f, h * 0.47f, handleX + 14.0f, h * 0.47f + 230.0f, 14.0f};
  const RoundRect handleShadow{handle.left + 9.0f, handle.top + 12.0f, handle.right + 9.0f, handle.bottom + 12.0f, 14.0f};

  const int panelBoards = 5;
  const float panelBoardWidth = (panel.right - panel.left) / panelBoards;
  std::vector<Board> boards;
  Sequence random(seed);
  for (int i = 0; i < panelBoards + 8; ++i) {
    boards.push_back(makeBoard(random.next(), panelBoardWidth, h, 0.3f, 4.0f, 9.0f));
  }
  // Frame pieces: 0 left stile, 1 right stile, 2 top rail, 3 bottom rail, 4 casing
  // top, 5 casing left, 6 casing right, 7 window trim.
  auto piece = [&](int index) -> const Board& { return boards[static_cast<size_t>(panelBoards + index)]; };

  return paintCanvas(width, height, [&](float x, float y) {
    Colour colour;
    const float leafDistance = leaf.distance(x, y);
    if (leafDistance > 0.0f) {
      // The casing around the door, mitred at the top corners.
      const bool top = y < kCasing + 3.0f && y < x && y < w - x;
      if (top) {
        colour = woodColour(casingTone, piece(4), x, y);
      } else if (x < w * 0.5f) {
        colour = woodColour(casingTone, piece(5), y, x);
      } else {
        colour = woodColour(casingTone, piece(6), y, w - x);
      }
      const RoundRect outer{0.0f, 0.0f, w, h + 40.0f, 0.0f};
      colour = scale(colour, bevelLight(outer, x, y, 10.0f, 0.7f));
      const float mitre = std::min(std::abs(y - x), std::abs(y - (w - x)));
      if (y < kCasing + 3.0f) colour = scale(colour, 1.0f - 0.5f * jointDarkness(mitre, 0.7f));
      colour = mix(colour, Colour{0.03f, 0.02f, 0.01f}, 0.9f * jointDarkness(leafDistance, 3.0f));
      return colour;
    }

    if (panel.distance(x, y) < 0.0f) {
      const int index = std::min(static_cast<int>((x - panel.left) / panelBoardWidth), panelBoards - 1);
      const float v = x - panel.left - static_cast<float>(index) * panelBoardWidth;
      colour = woodColour(tone, boards[static_cast<size_t>(index)], y, v);
      colour = scale(colour, boardProfileLight(v, panelBoardWidth - v, panelBoardWidth, 5.0f));
      colour = mix(colour, kGroove, 0.85f * jointDarkness(std::min(v, panelBoardWidth - v), 1.2f));
      // The frame stands proud of the panel and shades its upper and left rim.
      const float inside = -panel.distance(x, y);
      const float shadow = std::min(x - panel.left + 4.0f, y - panel.top + 2.0f);
      colour = scale(colour, 0.62f + 0.38f * smoothstep(0.0f, 14.0f, std::min(shadow, inside + 10.0f)));
    } else {
      // Stiles run the full height, rails sit between them.
      const bool leftStile = x < panel.left;
      const bool rightStile = x > panel.right;
      if (leftStile) {
        colour = woodColour(tone, piece(0), y, x - leaf.left);
      } else if (rightStile) {
        colour = woodColour(tone, piece(1), y, leaf.right - x);
      } else if (y < panel.top) {
        colour = woodColour(tone, piece(2), x, y - leaf.top);
      } else {
        colour = woodColour(tone, piece(3), x, y - panel.bottom);
      }
      colour = scale(colour, bevelLight(leaf, x, y, 6.0f, 0.6f));
      const float railJoint = std::min(std::abs(x - panel.left), std::abs(x - panel.right));
      if (!leftStile && !rightStile) colour = scale(colour, 1.0f - 0.6f * jointDarkness(railJoint, 0.8f));
      // Raised frame edge around the panel.
      const float outside = panel.distance(x, y);
      if (outside < 5.0f) {
        const float gx = panel.distance(x + 0.5f, y) - panel.distance(x - 0.5f, y);
        const float gy = panel.distance(x, y + 0.5f) - panel.distance(x, y - 0.5f);
        const float facing = -(gx * kLight.x + gy * kLight.y);
        colour = scale(colour, 1.0f + 0.3f * facing * (1.0f - outside / 5.0f));
      }
    }

    // Hinges on the left stile.
    for (const float hingeY : {leaf.top + 110.0f, leaf.bottom - 150.0f}) {
      const RoundRect hinge{leaf.left - 2.0f, hingeY, leaf.left + 34.0f, hingeY + 64.0f, 4.0f};
      const float d = hinge.distance(x, y);
      if (d < 0.0f) {
        const float metal = 0.22f + 0.08f * fbm(x * 0.2f, y * 0.2f, seed + 3u, 2);
        colour = scale(Colour{metal, metal * 0.97f, metal * 0.93f}, bevelLight(hinge, x, y, 4.0f, 0.8f));
        const float screw = std::min(std::hypot(x - (leaf.left + 18.0f), y - (hingeY + 16.0f)),
                                     std::hypot(x - (leaf.left + 18.0f), y - (hingeY + 48.0f)));
        if (screw < 4.0f) colour = scale(colour, 0.6f);
      } else if (d < 4.0f && x > leaf.left) {
        colour = scale(colour, 0.7f + 0.3f * d / 4.0f);
      }
    }

    // The small window: smoky glass in a mitred trim.
    const float trimDistance = trim.distance(x, y);
    const float glassDistance = glass.distance(x, y);
    if (trimDistance < 0.0f && glassDistance >= 0.0f) {
      const float toLeft = x - trim.left, toRight = trim.right - x, toTop = y - trim.top, toBottom = trim.bottom - y;
      const float nearest = std::min(std::min(toLeft, toRight), std::min(toTop, toBottom));
      if (nearest == toTop || nearest == toBottom) {
        colour = woodColour(tone, piece(7), x, nearest);
      } else {
        colour = woodColour(tone, piece(7), y + 400.0f, nearest);
      }
      colour = scale(colour, bevelLight(trim, x, y, 20.0f, 0.45f));
      const float diagonal = std::min(std::min(std::abs(toLeft - toTop), std::abs(toRight - toTop)),
                                      std::min(std::abs(toLeft - toBottom), std::abs(toRight - toBottom)));
      if (nearest < 22.0f) colour = scale(colour, 1.0f - 0.45f * jointDarkness(diagonal, 0.6f));
    } else if (glassDistance < 0.0f) {
      const float fy = (y - glass.top) / (glass.bottom - glass.top);
      const float fx = (x - glass.left) / (glass.right - glass.left);
      colour = mix(Colour{0.30f, 0.24f, 0.18f}, Colour{0.12f, 0.09f, 0.07f}, fy);
      // Faint warm room behind, two slanted reflections, soft shadow under the trim.
      colour = add(colour, scale(Colour{0.25f, 0.14f, 0.05f}, 0.25f * fbm(fx * 3.0f, fy * 3.0f, seed + 4u, 3)));
      const float slant = fx + fy * 0.55f;
      const float reflection = std::exp(-std::pow((slant - 0.42f) / 0.07f, 2.0f)) +
                               0.55f * std::exp(-std::pow((slant - 0.62f) / 0.03f, 2.0f));
      colour = add(colour, scale(Colour{0.55f, 0.50f, 0.45f}, 0.35f * reflection));
      const float shadow = std::min(x - glass.left, y - glass.top);
      colour = scale(colour, 0.55f + 0.45f * smoothstep(0.0f, 16.0f, shadow));
    }

    // A wooden pull handle on two blocks, with its shadow on the stile.
    if (handleShadow.distance(x, y) < 0.0f && handle.distance(x, y) >= 0.0f) {
      colour = scale(colour, 0.55f + 0.45f * smoothstep(-8.0f, 0.0f, handleShadow.distance(x, y)));
    }
    if (handle.distance(x, y) < 0.0f) {
      const float across = (x - handleX) / 14.0f;
      const Vec3 normal = normalize({across, 0.0f, std::sqrt(std::max(0.0f, 1.0f - across * across))});
      const float light = std::max(0.0f, dot(normal, kLight));
      Colour wood = woodColour(casingTone, piece(7), y, x - handle.left + 100.0f);
      wood = scale(wood, 0.45f + 0.75f * light);
      const float highlight = std::pow(std::max(0.0f, dot(normal, normalize({kLight.x, kLight.y, kLight.z + 1.0f}))), 30.0f);
      colour = add(wood, scale(Colour{1.0f, 0.9f, 0.8f}, 0.25f * highlight));
      colour = scale(colour, 0.75f + 0.25f * smoothstep(0.0f, 6.0f, std::min(y - handle.top, handle.bottom - y)));
    }
    const float patina = fbm(x * 0.004f, y * 0.004f, seed + 11u, 4);
    return scale(colour, 0.9f + 0.18f * patina);
  });
}

}  // namespace pictures
