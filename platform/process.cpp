#include "platform/process.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace sauno::platform {

std::string ExecutableDirectory()
{
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "./";
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool ChangeDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

}  // namespace sauno::platform
