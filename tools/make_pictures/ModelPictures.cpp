#include "ModelPictures.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>

#include "Painting.h"

namespace pictures {
namespace {

// Four bench slats lying along the picture's width: darker than the walls, the grain soft and
// the surface rubbed smooth by years of sitting, the edges rounded, a dark gap between slats.
Canvas paintBenchWood(int width, int height, uint32_t seed) {
  const WoodTone tone{{0.50f, 0.36f, 0.24f}, {0.38f, 0.26f, 0.16f}, {0.24f, 0.15f, 0.08f}, 11.0f};
  constexpr int kSlats = 4;
  const float slat = static_cast<float>(height) / kSlats;
  std::vector<Board> boards;
  for (int i = 0; i < kSlats; ++i)
    boards.push_back(makeBoard(seed * 977u + static_cast<uint32_t>(i), slat, static_cast<float>(width), 0.15f, 3.0f, 5.0f));
  return paintCanvas(width, height, [&](float x, float y) {
    const int index = std::min(static_cast<int>(y / slat), kSlats - 1);
    const float v = y - static_cast<float>(index) * slat;
    Colour colour = woodColour(tone, boards[static_cast<size_t>(index)], x, v);
    colour = mix(colour, tone.earlywood, 0.35f);  // sanded: the rings only just show
    // Rounded edges: lit along the top edge, shaded along the bottom one.
    const float across = (v / slat - 0.5f) * 2.0f;
    colour = scale(colour, 1.0f + 0.10f * (1.0f - smoothstep(0.0f, 7.0f, v)) -
                               0.30f * (1.0f - smoothstep(0.0f, 7.0f, slat - v)) - 0.05f * across * across);
    // Where people sit the wood is darker and has a sheen.
    const float worn = fbm(x * 0.01f, y * 0.004f, seed + 3u, 3);
    colour = scale(colour, 0.86f + 0.18f * worn);
    const float gap = 1.0f - smoothstep(1.5f, 3.0f, std::min(v, slat - v));
    return mix(colour, Colour{0.05f, 0.03f, 0.02f}, 0.9f * gap);
  });
}

// The bucket round: eight upright staves of pale wood and two dark iron hoops.
Canvas paintBucket(int width, int height, uint32_t seed) {
  const WoodTone tone{{0.80f, 0.58f, 0.34f}, {0.62f, 0.40f, 0.20f}, {0.35f, 0.20f, 0.09f}, 6.0f};
  constexpr int kStaves = 8;
  const float stave = static_cast<float>(width) / kStaves;
  std::vector<Board> boards;
  for (int i = 0; i < kStaves; ++i)
    boards.push_back(makeBoard(seed * 31u + static_cast<uint32_t>(i), stave, static_cast<float>(height), 0.1f, 2.0f, 3.0f));
  const float h = static_cast<float>(height);
  return paintCanvas(width, height, [&](float x, float y) {
    const int index = std::min(static_cast<int>(x / stave), kStaves - 1);
    const float v = x - static_cast<float>(index) * stave;
    Colour colour = woodColour(tone, boards[static_cast<size_t>(index)], y, v);
    const float joint = 1.0f - smoothstep(0.5f, 1.8f, std::min(v, stave - v));
    colour = mix(colour, Colour{0.12f, 0.07f, 0.03f}, 0.8f * joint);
    // Hoops at a fifth and four fifths of the height, a lit upper edge on each.
    for (const float centre : {0.2f * h, 0.8f * h}) {
      const float d = std::abs(y - centre);
      if (d < 7.0f) {
        const float lit = y < centre - 4.0f ? 1.6f : 1.0f;
        colour = scale(Colour{0.16f, 0.15f, 0.15f}, lit * (0.9f + 0.2f * valueNoise(x * 0.3f, y * 0.3f, seed)));
      }
    }
    return colour;
  });
}

// A wooden thermometer: a pale scale with ticks every ten degrees and a red column.
Canvas paintThermometer(int width, int height, uint32_t seed) {
  const WoodTone tone{{0.72f, 0.48f, 0.26f}, {0.52f, 0.31f, 0.15f}, {0.30f, 0.16f, 0.07f}, 5.0f};
  const Board board = makeBoard(seed, static_cast<float>(width), static_cast<float>(height), 0.0f, 1.0f, 2.0f);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const RoundRect face{w * 0.18f, h * 0.06f, w * 0.82f, h * 0.94f, 6.0f};
  const float tubeLeft = w * 0.45f, tubeRight = w * 0.55f;
  const float scaleTop = h * 0.12f, scaleBottom = h * 0.82f;
  return paintCanvas(width, height, [&](float x, float y) {
    Colour colour = woodColour(tone, board, y, x);
    colour = scale(colour, bevelLight(RoundRect{1.0f, 1.0f, w - 1.0f, h - 1.0f, 8.0f}, x, y, 5.0f, 1.5f));
    if (face.distance(x, y) < 0.0f) {
      colour = Colour{0.86f, 0.82f, 0.70f};
      // Ticks from 0 at the bottom to 120 at the top.
      for (int t = 0; t <= 12; ++t) {
        const float ty = scaleBottom - (scaleBottom - scaleTop) * static_cast<float>(t) / 12.0f;
        const float length = t % 2 == 0 ? w * 0.22f : w * 0.12f;
        if (std::abs(y - ty) < 1.2f && x > tubeRight + 2.0f && x < tubeRight + 2.0f + length)
          colour = Colour{0.08f, 0.06f, 0.05f};
      }
      if (x > tubeLeft && x < tubeRight && y > scaleTop && y < scaleBottom + 14.0f) colour = Colour{0.95f, 0.95f, 0.93f};
      const float level = scaleBottom - (scaleBottom - scaleTop) * 0.72f;  // about 85 degrees
      if (x > tubeLeft + 1.5f && x < tubeRight - 1.5f && y > level && y < scaleBottom + 12.0f) colour = Colour{0.78f, 0.06f, 0.04f};
      const float bulbX = x - (tubeLeft + tubeRight) * 0.5f, bulbY = y - (scaleBottom + 14.0f);
      if (bulbX * bulbX + bulbY * bulbY < 49.0f) colour = Colour{0.78f, 0.06f, 0.04f};
    }
    return colour;
  });
}

}  // namespace

Canvas paintModelPicture(std::string_view name) {
  for (const PictureSize& size : kModelPictureSizes) {
    if (size.name != name) continue;
    if (name == "lauteet") return paintBenchWood(size.width, size.height, 808u);
    if (name == "kiulu") return paintBucket(size.width, size.height, 909u);
    if (name == "mittari") return paintThermometer(size.width, size.height, 1010u);
  }
  throw std::invalid_argument("no model picture named \"" + std::string(name) + "\"");
}

void writeModelPictures(const std::filesystem::path& outputDirectory) {
  for (const PictureSize& size : kModelPictureSizes) {
    const std::filesystem::path path = outputDirectory / (std::string(size.name) + ".jpg");
    const std::vector<uint8_t> bytes = encodeJpeg(paintModelPicture(size.name), kJpegQuality);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace pictures
