#include <string_view>

#include "game/peli.h"

// The description text, linked in by the build (scene_resource.S).
extern "C" const char sauno_scene_begin[];
extern "C" const char sauno_scene_end[];

namespace sauno {

std::string_view SceneDescription()
{
    return std::string_view(sauno_scene_begin, static_cast<size_t>(sauno_scene_end - sauno_scene_begin));
}

}  // namespace sauno
