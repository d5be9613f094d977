// The version block of the desktop program TavoServer; its ProductVersion is the
// server's version text and part of the notification-area tip.
#include "JapaneseTexts.h"
#include "platform/VersionInfo.h"

namespace {

constexpr platform::VersionString kDesktopStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", Texts::DesktopFileDescription},
    {"FileVersion", "0.6.5.1"},
    {"InternalName", "TavoServer"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "TavoServer.exe"},
    {"ProductName", "TavoServer"},
    {"ProductVersion", "0.65"},
    {"Comments", ""},
};

constexpr platform::VersionBlockSource kDesktopVersion{
    .FileVersion = {0, 6, 5, 1},
    .ProductVersion = {0, 6, 5, 1},
    .Strings = kDesktopStrings,
};

TAVO_VERSION_BLOCK(kDesktopVersion);

}  // namespace
