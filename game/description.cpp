#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
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

void ReleaseSceneDescription()
{
    // The pages go back to the executable's file: read again from there should anything
    // still want the text, and no longer resident meanwhile.
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(sauno_scene_begin) + page - 1) / page * page;
    const uintptr_t end = reinterpret_cast<uintptr_t>(sauno_scene_end) / page * page;
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

}  // namespace sauno
