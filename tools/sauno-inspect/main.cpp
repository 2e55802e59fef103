// sauno-inspect KIND FILE: reads FILE with the engine's reader for KIND and prints what it found;
// "sound FILE --render OUT.wav" also writes what the sound device plays of it.
#include <cstdio>
#include <string_view>

#include "tools/sauno-inspect/inspect.h"

namespace {

int Usage()
{
    std::fputs("usage: sauno-inspect model FILE\n"
               "       sauno-inspect sound FILE [--render OUT.wav]\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string_view(argv[1]) == "sound" && std::string_view(argv[3]) == "--render")
        return sauno::inspect::Sound(argv[2], argv[4]);
    if (argc != 3) return Usage();
    std::string_view kind = argv[1];
    if (kind == "model") return sauno::inspect::Model(argv[2]);
    if (kind == "sound") return sauno::inspect::Sound(argv[2]);
    return Usage();
}
