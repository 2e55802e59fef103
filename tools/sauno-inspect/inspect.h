#pragma once
// One function per kind of file; each prints its report to standard output and returns the
// process status (0, or 1 after printing the error's message to standard error).
#include <string_view>

namespace sauno::inspect {

int Model(std::string_view fileName);
int Sound(std::string_view fileName);

}  // namespace sauno::inspect
