#pragma once
// One function per kind of file; each prints its report to standard output and returns the
// process status (0, or 1 after printing the error's message to standard error).
#include <optional>
#include <string_view>

namespace sauno::inspect {

int Model(std::string_view fileName);
// With `renderTo`, also plays the sound through the game's sound device and writes the mix there.
int Sound(std::string_view fileName, std::optional<std::string_view> renderTo = std::nullopt);

}  // namespace sauno::inspect
