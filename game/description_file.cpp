#include <fstream>
#include <string>
#include <string_view>

#include "game/peli.h"
#include "platform/exception.h"
#include "platform/process.h"

namespace sauno {

namespace {
std::string& Text()
{
    static std::string text;
    return text;
}
}  // namespace

// The installed game reads its description from the file the installation wrote beside it,
// with the machine's high-score directory filled in: in one read, into one buffer.
std::string_view SceneDescription()
{
    std::string& text = Text();
    if (!text.empty()) return text;
    const std::string path = platform::ExecutableDirectory() + "sauno.scene";
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size >= 0) {
        text.resize(static_cast<size_t>(size));
        in.seekg(0);
        in.read(text.data(), static_cast<std::streamsize>(size));
    }
    if (size < 0 || !in) {
        text.clear();
        throw Exception("Cannot read the scene description \"" + path + "\". Install the game again to restore it.");
    }
    return text;
}

void ReleaseSceneDescription() { std::string().swap(Text()); }

}  // namespace sauno
