// The pictures the room model brings with it, beside the model file in the data directory:
// the benches' wood, the bucket's staves and the thermometer. Small on purpose: every one is
// uploaded at start-up and sampled every frame.
#pragma once

#include <array>
#include <filesystem>

#include "Pictures.h"

namespace pictures {

inline constexpr std::array<PictureSize, 3> kModelPictureSizes{{
    {"lauteet", 256, 256},
    {"kiulu", 256, 128},
    {"mittari", 64, 256},
}};

// Paints one of them by name; throws std::invalid_argument for an unknown name.
Canvas paintModelPicture(std::string_view name);

// Writes OUTDIR/<name>.jpg for each; throws std::runtime_error with the failing path.
void writeModelPictures(const std::filesystem::path& outputDirectory);

}  // namespace pictures
