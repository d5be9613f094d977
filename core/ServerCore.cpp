#include "core/ServerCore.h"

#include "core/GetVerInfoUnit.h"
#include "platform/DateTime.h"

TServerCore::TServerCore(const TSettings& settings, IServerHost& host,
                         const std::filesystem::path& programPath, TConnectionTimings timings,
                         TDialect dialect)
    : Settings(settings),
      Dialect(dialect),
      Registry(dialect.KeyRule()),
      Host(host),
      ProgramFileName(programPath.filename().string()),
      ProductVersion(ReadVersionString(programPath, "ProductVersion")),
      StartedAt(platform::FormatDayMonthYearTime(platform::Now())),
      Timings(timings) {}
