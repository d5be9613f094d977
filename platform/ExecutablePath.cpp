// The running executable's path, read from the proc file system.
#include "platform/ExecutablePath.h"

namespace platform {

std::filesystem::path RunningExecutablePath() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace platform
