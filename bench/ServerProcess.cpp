// /proc/<pid>/stat gives the CPU times in clock ticks (fields 14 and 15, counted after
// the command name, which may itself hold blanks and parentheses).
#include "bench/ServerProcess.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

std::optional<std::string> ReadProcFile(int pid, const char* name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

std::optional<double> ProcessCpuMicroseconds(int pid) {
    const auto stat = ReadProcFile(pid, "stat");
    if (!stat)
        return std::nullopt;
    const auto nameEnd = stat->rfind(')');
    if (nameEnd == std::string::npos)
        return std::nullopt;
    // After the name come field 3 (state) onwards; utime is field 14, stime field 15.
    std::istringstream fields(stat->substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number < 14 && fields >> field; ++number) {
    }
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    if (!(fields >> userTicks >> systemTicks))
        return std::nullopt;
    return static_cast<double>(userTicks + systemTicks) * 1e6 /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::optional<long> ProcessResidentKiB(int pid) {
    const auto status = ReadProcFile(pid, "status");
    if (!status)
        return std::nullopt;
    const auto key = status->find("\nVmRSS:");
    if (key == std::string::npos)
        return std::nullopt;
    return std::stol(status->substr(key + 7));
}
