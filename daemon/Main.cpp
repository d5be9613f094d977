// Entry of the service program TavoServerDaemon. With the switch INSTALL or
// UNINSTALL (and SILENT) it registers or removes the service; otherwise it runs
// the service: starts the server, tells the service manager it is ready, and
// serves the control signals until SIGTERM or SIGINT stops it.
#include <signal.h>

#include <string>
#include <string_view>
#include <vector>

#include "daemon/MainDaemon.h"
#include "daemon/ServiceInstaller.h"
#include "platform/CommandLine.h"
#include "platform/ExecutablePath.h"
#include "platform/ServiceManager.h"
#include "platform/ServiceStatus.h"

namespace {

// Stop (SIGTERM, SIGINT), pause (SIGUSR1) and continue (SIGUSR2).
sigset_t ControlSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        sigaddset(&signals, signal);
    return signals;
}

// Starts the service, then serves the control signals until a stop. Answers the
// program's exit status.
int ServeControlRequests(TService1& service, const sigset_t& controlSignals) {
    if (!service.ServiceStart())
        return 1;
    const std::string serving = "Serving IRC on port " + std::to_string(service.Port());
    platform::NotifyServiceReady(serving);
    for (;;) {
        int signal = 0;
        sigwait(&controlSignals, &signal);
        if (signal == SIGUSR1) {
            service.ServicePause();
            platform::NotifyServiceStatus("Paused (still serving IRC on port " +
                                          std::to_string(service.Port()) + ")");
        } else if (signal == SIGUSR2) {
            service.ServiceContinue();
            platform::NotifyServiceStatus(serving);
        } else {
            break;
        }
    }
    platform::NotifyServiceStopping();
    service.ServiceStop();
    return 0;
}

int RunService() {
    // Every thread inherits the blocked control signals; only this one takes them.
    const sigset_t controlSignals = ControlSignals();
    pthread_sigmask(SIG_BLOCK, &controlSignals, nullptr);
    TService1 service(platform::RunningExecutablePath());
    return ServeControlRequests(service, controlSignals);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const bool silent = platform::HasSwitch(arguments, "SILENT");
    if (platform::HasSwitch(arguments, "INSTALL"))
        return InstallService1(silent);
    if (platform::HasSwitch(arguments, "UNINSTALL"))
        return UninstallService1(silent);
    return RunService();
}
