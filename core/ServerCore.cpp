#include "core/ServerCore.h"

#include "core/GetVerInfoUnit.h"

TServerCore::TServerCore(const TSettings& settings, IServerHost& host,
                         const std::filesystem::path& programPath, TConnectionTimings timings)
    : Settings(settings),
      Host(host),
      ProgramFileName(programPath.filename().string()),
      ProductVersion(ReadVersionString(programPath, "ProductVersion")),
      Timings(timings) {}
