// Where the running program's executable file is.
#pragma once

#include <filesystem>

namespace platform {

// The full path of the running executable (from /proc/self/exe). Throws
// std::filesystem::filesystem_error when it cannot be found.
std::filesystem::path RunningExecutablePath();

}  // namespace platform
