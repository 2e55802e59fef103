#include "Pictures.h"

#include <stdexcept>
#include <string>

#include "Painters.h"

namespace pictures {

Canvas paintPicture(std::string_view name) {
  // Spruce for the first wall, a warmer, more golden wood for the second.
  const WoodTone spruce{{0.87f, 0.68f, 0.45f}, {0.68f, 0.45f, 0.25f}, {0.38f, 0.21f, 0.10f}, 7.5f};
  const WoodTone golden{{0.85f, 0.61f, 0.36f}, {0.63f, 0.39f, 0.19f}, {0.35f, 0.18f, 0.08f}, 9.0f};
  for (const PictureSize& size : kPictureSizes) {
    if (size.name != name) continue;
    if (name == "kiuas") return paintStoveFront(size.width, size.height, 101u);
    if (name == "kiuas2") return paintStoveSide(size.width, size.height, 202u);
    if (name == "ovi") return paintDoor(size.width, size.height, 303u);
    if (name == "seina1") return paintPanelWall(size.width, size.height, 404u, 7, spruce);
    if (name == "seina2") return paintPanelWall(size.width, size.height, 505u, 8, golden);
    if (name == "lattia") return paintFloor(size.width, size.height, 606u);
    if (name == "kivet") return paintStones(size.width, size.height, 707u);
  }
  throw std::invalid_argument("no picture named \"" + std::string(name) + "\"");
}

}  // namespace pictures
