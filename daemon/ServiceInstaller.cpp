#include "daemon/ServiceInstaller.h"

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "JapaneseTexts.h"
#include "daemon/MainDaemon.h"
#include "daemon/ServiceTexts.h"
#include "platform/ExecutablePath.h"
#include "platform/ServiceManager.h"
#include "platform/TextEncoding.h"

namespace {

// Runs `step`; shows `success` unless silent, or `failure` with the display name
// and the error's text whatever silent says.
int RunRegistrationStep(const std::function<void()>& step, std::string_view success,
                        std::string_view failure, bool silent) {
    try {
        step();
    } catch (const std::exception& error) {
        const std::string text =
            FillArguments(platform::Cp932ToUtf8(failure), {TService1::kDisplayName, error.what()});
        std::fprintf(stderr, "%s\n", text.c_str());
        return 1;
    }
    if (!silent)
        std::printf("%s\n", platform::Cp932ToUtf8(success).c_str());
    return 0;
}

}  // namespace

int InstallService1(bool silent) {
    return RunRegistrationStep(
        [] { platform::InstallService(TService1::Definition(platform::RunningExecutablePath())); },
        Texts::ServiceInstalled, Texts::ServiceInstallFailed, silent);
}

int UninstallService1(bool silent) {
    return RunRegistrationStep([] { platform::UninstallService(TService1::kServiceName); },
                               Texts::ServiceUninstalled, Texts::ServiceUninstallFailed, silent);
}
