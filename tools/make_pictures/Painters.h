// Painters of the pictures, one function each.
#pragma once

#include <cstdint>

#include "Pictures.h"
#include "Wood.h"

namespace pictures {

Canvas paintPanelWall(int width, int height, uint32_t seed, int boardCount, const WoodTone& tone);
Canvas paintFloor(int width, int height, uint32_t seed);
Canvas paintDoor(int width, int height, uint32_t seed);
Canvas paintStoveFront(int width, int height, uint32_t seed);
Canvas paintStoveSide(int width, int height, uint32_t seed);
Canvas paintStones(int width, int height, uint32_t seed);

}  // namespace pictures
