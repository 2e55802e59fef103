// The seven sauna pictures: painted procedurally, encoded as baseline JPEGs.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace pictures {

struct Colour {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
};

// Linear RGB in [0, 1], rows top to bottom; pixels.size() == width * height.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;
};

struct PictureSize {
  std::string_view name;
  int width;
  int height;
};

// The pictures in the order the material library lists them.
inline constexpr std::array<PictureSize, 7> kPictureSizes{{
    {"kiuas", 689, 933},
    {"kiuas2", 512, 512},
    {"ovi", 681, 907},
    {"seina1", 778, 583},
    {"seina2", 907, 680},
    {"lattia", 907, 680},
    {"kivet", 907, 680},
}};

inline constexpr int kJpegQuality = 90;

// Paints one picture by name; throws std::invalid_argument for an unknown name.
Canvas paintPicture(std::string_view name);

// Baseline, three-component JPEG file bytes; throws std::runtime_error when
// the encoder fails or the canvas is inconsistent.
std::vector<uint8_t> encodeJpeg(const Canvas& canvas, int quality);

// Paints, encodes and writes every picture as OUTDIR/<name>.jpg; throws
// std::runtime_error with the failing path when anything goes wrong.
void writeAllPictures(const std::filesystem::path& outputDirectory);

}  // namespace pictures
