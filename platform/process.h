#pragma once
// The process: where its executable lives and its current directory.
#include <string>

namespace sauno::platform {

// The directory of the running executable, ending with '/'.
std::string ExecutableDirectory();
// Changes the current directory; false when that fails.
bool ChangeDirectory(const std::string& path);

}  // namespace sauno::platform
