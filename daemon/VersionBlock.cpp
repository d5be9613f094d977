// The version block of the service program TavoServerDaemon; its ProductVersion is the
// server's version text.
#include "JapaneseTexts.h"
#include "platform/VersionInfo.h"

namespace {

constexpr platform::VersionString kDaemonStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", Texts::DaemonFileDescription},
    {"FileVersion", "0.6.5.2"},
    {"InternalName", "TavoServerDaemon"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "TavoServerDaemon.exe"},
    {"ProductName", ""},
    {"ProductVersion", "0.652"},
    {"Comments", Texts::DaemonComments},
};

constexpr platform::VersionBlockSource kDaemonVersion{
    .FileVersion = {0, 6, 5, 2},
    .ProductVersion = {0, 6, 5, 2},
    .Strings = kDaemonStrings,
};

TAVO_VERSION_BLOCK(kDaemonVersion);

}  // namespace
