// Not built yet: the sound reader arrives with its subsystem.
#include <cstdio>

#include "tools/sauno-inspect/inspect.h"

namespace sauno::inspect {

int Sound(std::string_view)
{
    std::fputs("sauno-inspect: the sound reader is not built yet\n", stderr);
    return 1;
}

}  // namespace sauno::inspect
