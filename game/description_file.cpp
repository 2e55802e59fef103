#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "game/peli.h"
#include "platform/exception.h"
#include "platform/process.h"

namespace sauno {

// The installed game reads its description from the file the installation wrote beside it,
// with the machine's high-score directory filled in.
std::string_view SceneDescription()
{
    static const std::string text = [] {
        const std::string path = platform::ExecutableDirectory() + "sauno.scene";
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        if (in) content << in.rdbuf();
        if (!in || in.bad())
            throw Exception("Cannot read the scene description \"" + path +
                            "\". Install the game again to restore it.");
        return content.str();
    }();
    return text;
}

}  // namespace sauno
